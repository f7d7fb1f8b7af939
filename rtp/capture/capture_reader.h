// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_CAPTURE_READER_H
#define G723_RTP_CAPTURE_CAPTURE_READER_H

#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>

struct pcap;

namespace g723::rtp::capture {

// A capture that libpcap cannot open; the message is libpcap's.
class capture_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One record of a capture.
struct capture_record {
    double seconds = 0.0;                 // capture time
    std::span<const std::uint8_t> bytes;  // valid until the next call to next()
    std::uint32_t original_length =
        0;  // on the wire; more than bytes.size() when cut by the snap length
};

// Reads a pcap or pcapng capture through libpcap, from a file or from bytes
// held in memory. Records come in file order.
class capture_reader {
public:
    // Throws capture_error when libpcap does not recognise the capture.
    static capture_reader open_file(const std::string& path);
    // `bytes` must outlive the reader.
    static capture_reader open_memory(std::span<const std::uint8_t> bytes);

    capture_reader(capture_reader&& other) noexcept;
    capture_reader& operator=(capture_reader&&) = delete;
    ~capture_reader();

    // The link type of the capture (of its first interface for pcapng).
    int link_type() const { return link_type_; }

    // The next record; false at the end of the capture or where it is
    // damaged (a record cut short, a length beyond reason): error() then
    // says why.
    bool next(capture_record& record);
    const std::string& error() const { return error_; }

private:
    explicit capture_reader(pcap* handle);

    pcap* handle_ = nullptr;
    int link_type_ = 0;
    std::string error_;
};

}  // namespace g723::rtp::capture

#endif
