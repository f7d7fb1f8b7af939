// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_LIVE_RECEIVER_H
#define G723_RTP_STREAM_LIVE_RECEIVER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "rtp/stream/jitter_buffer.h"
#include "rtp/packet/sequence_extender.h"
#include "rtp/stream/stream_report.h"
#include "rtp/stream/stream_statistics.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

struct live_receiver_settings {
    unsigned payload_type = 4;
    std::string payload_type_source = "static";
    jitter_buffer_limits limits;
    std::string local_address;  // for the streams' names
    std::string output;         // the file the frames go to
};

// The receiving side of a live call, apart from sockets and clocks: takes
// datagrams in arrival order with their arrival times, holds them in the
// jitter buffer and hands the frames they play out, in timeline order, to
// a sink (the decoder). One sender at a time: a packet of another SSRC is
// held aside, and a second one following it in sequence makes that SSRC
// the new sender; the old one has ended and its stragglers are counted and
// dropped. A single stray packet never cuts a call.
class live_receiver {
public:
    // Called for each frame played out, with the statistics of the stream
    // it belongs to (the decoder counts the frames it conceals there).
    using frame_sink = std::function<void(const timeline_frame&, stream_statistics&)>;

    live_receiver(live_receiver_settings settings, frame_sink sink);

    void add(std::span<const std::uint8_t> datagram, const std::string& source, double arrival_seconds);
    std::optional<double> next_playout() const { return buffer_.next_playout(); }
    void play_due(double now_seconds);
    // Plays out everything held (the end of the call).
    void play_all();

    bool heard_anything() const { return current_.has_value(); }
    // The report: one row per sender, then counts about the datagrams.
    stream_report report() const;

private:
    struct sender {
        sequence_extender sequences;
        arrival_statistics arrivals;
        stream_report_row row;
    };
    struct set_aside {
        std::vector<std::uint8_t> datagram;
        std::string source;
        double arrival_seconds;
        std::uint32_t ssrc;
        std::uint16_t sequence;
    };

    void accept(std::span<const std::uint8_t> datagram, const std::string& source,
                double arrival_seconds);
    void play_out();

    live_receiver_settings settings_;
    frame_sink sink_;
    jitter_buffer buffer_;
    stream_timeline timeline_;
    std::map<std::uint32_t, sender> senders_;
    std::vector<std::uint32_t> order_;  // SSRCs as they were heard
    std::optional<std::uint32_t> current_;
    std::set<std::uint32_t> ended_;
    std::optional<set_aside> candidate_;
    std::vector<held_packet> played_;
    std::vector<timeline_frame> frames_;
    std::uint64_t datagrams_ = 0, not_rtp_ = 0, other_types_ = 0, late_ = 0, stray_ = 0;
};

}  // namespace g723::rtp

#endif
