// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/capture_reader.h"

#include <pcap/pcap.h>

#include <utility>

namespace g723::rtp::capture {

capture_reader::capture_reader(pcap* handle) : handle_(handle) {
    link_type_ = pcap_datalink(handle_);
}

capture_reader capture_reader::open_file(const std::string& path) {
    char message[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, message);
    if (handle == nullptr) throw capture_error(message);
    return capture_reader(handle);
}

capture_reader capture_reader::open_memory(std::span<const std::uint8_t> bytes) {
    // fmemopen refuses an empty buffer; an empty capture is simply not one.
    if (bytes.empty()) throw capture_error("empty capture");
    std::FILE* memory = fmemopen(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb");
    if (memory == nullptr) throw capture_error("cannot read the capture from memory");
    char message[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle =
        pcap_fopen_offline_with_tstamp_precision(memory, PCAP_TSTAMP_PRECISION_NANO, message);
    if (handle == nullptr) {
        std::fclose(memory);
        throw capture_error(message);
    }
    // libpcap owns the stream from here and closes it.
    return capture_reader(handle);
}

capture_reader::capture_reader(capture_reader&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      link_type_(other.link_type_),
      error_(std::move(other.error_)) {}

capture_reader::~capture_reader() {
    if (handle_ != nullptr) pcap_close(handle_);
}

bool capture_reader::next(capture_record& record) {
    if (handle_ == nullptr) return false;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int status = pcap_next_ex(handle_, &header, &data);
    if (status == 1) {
        record.seconds =
            static_cast<double>(header->ts.tv_sec) + static_cast<double>(header->ts.tv_usec) * 1e-9;
        record.bytes = std::span<const std::uint8_t>(data, header->caplen);
        record.original_length = header->len;
        return true;
    }
    if (status == PCAP_ERROR) error_ = pcap_geterr(handle_);
    return false;
}

}  // namespace g723::rtp::capture
