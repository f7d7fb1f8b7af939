// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_STREAM_TIMELINE_H
#define G723_RTP_STREAM_STREAM_TIMELINE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "media/codec/frame_layout.h"

namespace g723::rtp {

// Frame layout and codec handles come from the media library.
using namespace g723::media;

// Where a frame of the timeline comes from.
enum class frame_origin {
    received,       // carried by a packet
    lost,           // carried by a packet that never arrived: concealed
    untransmitted,  // silence the sender did not send: comfort noise goes on
};

struct timeline_frame {
    frame_origin origin = frame_origin::received;
    // The first frame after an SSRC change or a timestamp jump beyond
    // reason: the decoder starts afresh.
    bool starts_segment = false;
    // A received frame zero-padded to its slot; an untransmitted frame's
    // header code (3); zeros for a lost frame.
    frame_slot slot{};
};

// One packet of a stream as the timeline needs it.
struct timeline_packet {
    std::int64_t extended_sequence = 0;  // see sequence_extender
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::span<const std::uint8_t> payload;  // refers to the caller's bytes
    // When the packet arrived, in seconds on any clock; when known for both
    // packets around a gap, it bounds how long the gap may be.
    std::optional<double> arrival_seconds;
};

// What one packet added to the timeline.
struct timeline_step {
    std::size_t received = 0;
    std::size_t lost = 0;           // frames of packets that never arrived
    std::size_t untransmitted = 0;  // frames of a silence gap
    std::uint64_t lost_packets = 0;
    std::size_t sid = 0;       // SID frames among the received
    // Frames the packet carried that were dropped: the timeline would have
    // run ahead of the time its packets took to arrive.
    std::size_t beyond_time = 0;
    bool new_segment = false;  // this packet starts a segment (also the first)
    bool malformed = false;    // payload not whole frames; its whole frames are kept
};

// Turns one stream's packets into its frame timeline, 30 ms per frame.
// Packets come in extended-sequence order with duplicates already dropped
// (the caller restores the order). Between two packets:
//  - consecutive sequence numbers and a timestamp gap are silence: the
//    gap's frames are untransmitted, so the decoder's comfort noise goes on;
//  - missing sequence numbers are lost packets: the timestamp gap says how
//    many frames they held. The lost packets are assumed to hold no more
//    frames each than the largest packet seen; a longer gap is silence
//    that followed them;
//  - an SSRC change, a timestamp going backwards, a gap of more than
//    `max_gap_units`, or a gap longer than the time between the packets'
//    arrivals allows (plus `arrival_slack_seconds`) starts a new segment
//    with no frames between: a sender that jumped its clock does not turn
//    into hours of comfort noise.
// When arrival times are known, the whole timeline is held to the time its
// packets took to arrive, from the first to the latest, plus
// `time_slack_seconds`: a gap that would run past that starts a new
// segment instead, and a packet whose own frames would run past it is
// dropped (counted in beyond_time). The slack is allowed once in total,
// not per gap, so that a chain of packets each a little ahead cannot add
// up to hours.
// Timestamps are compared with 32-bit serial arithmetic, so they wrap.
class stream_timeline {
public:
    static constexpr std::uint32_t max_gap_units = 60 * 8000;  // one minute
    // Covers network jitter and reordering between the two packets.
    static constexpr double arrival_slack_seconds = 2.0;

    explicit stream_timeline(double time_slack_seconds = arrival_slack_seconds)
        : time_slack_seconds_(time_slack_seconds) {}

    // Appends the frames before `packet` (lost or untransmitted) and its own
    // frames to `frames`. A packet with no whole frame adds nothing and
    // leaves the timeline as it was: the gap it leaves counts as loss.
    timeline_step add(const timeline_packet& packet, std::vector<timeline_frame>& frames);

    // A live receiver plays packets out after they arrived and gives their
    // playout times as arrival times: the time the timeline is held to
    // starts earlier, at the first packet's own arrival.
    void hold_from(double seconds) {
        if (!first_arrival_) first_arrival_ = latest_arrival_ = seconds;
    }

private:
    bool started_ = false;
    std::int64_t last_sequence_ = 0;
    std::uint32_t next_timestamp_ = 0;  // of the frame after the last one placed
    std::uint32_t ssrc_ = 0;
    std::size_t largest_packet_frames_ = 1;
    std::optional<double> last_arrival_;
    double time_slack_seconds_;
    std::optional<double> first_arrival_;
    double latest_arrival_ = 0.0;
    std::uint64_t placed_frames_ = 0;
};

// A stream's audio is held to two hours, whatever its packets say.
inline constexpr std::size_t max_stream_frames = 2 * 3600 * 1000 / 30;

}  // namespace g723::rtp

#endif
