// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_CAPTURE_SESSION_H
#define G723_RTP_CAPTURE_CAPTURE_SESSION_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rtp/capture/capture_analysis.h"
#include "rtp/stream/stream_report.h"

namespace g723::rtp {

// How a capture is read: the payload types taken as G.723.1 besides 4 and
// those SDP announces (the tool's --pt), SRTP keys besides those of the
// capture's SDP, the decoder's postfilters, and whether the two directions
// of a call are handed over together.
struct capture_options {
    std::vector<unsigned> forced_types;
    std::vector<given_srtp_key> keys;
    bool postfilter = true;
    bool pair_calls = false;
};

// What the session hands over once its last packet is read: one stream,
// or with pair_calls both directions of one call, with their packets. It
// owns the packets, so it may be worked on by another thread while the
// capture is still being read.
class capture_piece {
public:
    // The streams it holds, as indices into the session's streams.
    const std::vector<std::size_t>& streams() const { return streams_; }
    // The call it is, or null for a stream outside any call.
    const call_directions* call() const { return call_; }
    std::span<const captured_rtp_packet> packets(std::size_t stream) const;

private:
    friend class capture_session;
    std::vector<std::size_t> streams_;
    const call_directions* call_ = nullptr;
    // Packets read a second time, each stream's own; or, for a capture
    // read once, those the session keeps.
    std::map<std::size_t, std::vector<captured_rtp_packet>> owned_;
    std::map<std::size_t, std::span<const captured_rtp_packet>> kept_;
};

// One reading of a capture, as every host reads it: finds its G.723.1
// streams, decodes each, and keeps the report's rows and counts, the
// damage message and the calls.
//
// A capture in a regular file or in memory is read twice: first to find
// its streams without keeping their packets, then to hand each stream (or
// call) over as soon as its last packet is read, so that memory holds the
// streams under way rather than the whole capture. Anything else, standard
// input ("-") for one, is read once and held.
class capture_session {
public:
    // Throws capture::capture_error when the capture cannot be read at all
    // (worded to follow the capture's name).
    static capture_session open_file(const std::string& path, capture_options options);
    // `bytes` must outlive the session.
    static capture_session open_memory(std::span<const std::uint8_t> bytes, capture_options options);

    capture_session(capture_session&&) = default;

    const std::vector<g723_stream>& streams() const { return contents_.streams; }
    // Empty unless options.pair_calls.
    const std::vector<call_directions>& calls() const { return calls_; }

    // Hands each stream outside a call, and each call, to `finished` once
    // all its packets are read; stops when `finished` returns false, and
    // then returns false. Call it once.
    bool run(const std::function<bool(std::shared_ptr<const capture_piece>)>& finished);

    // Decodes a stream of `piece`, keeping its statistics for the report.
    // Different streams may be decoded on different threads at once.
    decoded_stream decode(const capture_piece& piece, std::size_t stream);
    // Whether a stream has no audio: SRTP of which nothing authenticated
    // (no key, a wrong one). No file is written for it.
    bool silent(const capture_piece& piece, std::size_t stream) const;
    // Names what was written of a stream in its report row.
    void set_output(std::size_t stream, std::string output);

    // The report, once run() has returned: a row per stream, then the
    // counts about the capture.
    stream_report report() const;
    // Why the reading stopped early, worded to follow the capture's name;
    // empty when it was read to its end.
    std::string damage() const { return damage_message(contents_); }

private:
    capture_session(std::function<capture::capture_reader()> open, bool twice, capture_options options);

    std::function<capture::capture_reader()> open_;
    bool twice_;
    capture_options options_;
    capture_contents contents_;
    std::vector<call_directions> calls_;
    std::vector<stream_report_row> rows_;
    std::vector<char> cut_;
};

}  // namespace g723::rtp

#endif
