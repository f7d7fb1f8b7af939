// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_JITTER_BUFFER_H
#define G723_RTP_STREAM_JITTER_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "rtp/stream/playout_delay.h"

namespace g723::rtp {

// A packet waiting for its playout time, its payload copied.
struct held_packet {
    std::int64_t extended_sequence = 0;  // see sequence_extender
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::vector<std::uint8_t> payload;
    double arrival_seconds = 0.0;  // set by add()
    double playout_seconds = 0.0;  // set when it is played out
};

enum class arrival_kind {
    in_order,
    reordered,  // after a later-numbered packet, put back in its place
    duplicate,  // a copy of a packet held or played out: dropped
    late,       // after its playout time or after later packets were played: dropped
    early,      // due further ahead than the buffer holds audio: dropped
};

using jitter_buffer_limits = playout_delay_limits;

// An adaptive jitter buffer: holds a live stream's packets from arrival
// until their playout time and hands them on in sequence order.
//
// A packet's transit is its arrival time less the media time at the end of
// its audio (timestamp over the 8000 Hz clock plus its frames): a sender
// sends a packet once its last frame has been spoken, so full packets and
// the short one that ends a talkspurt have the same transit. The first
// packet's transit is the reference; every packet's relative delay is its
// transit over that. A packet plays out at the reference + media time of
// its first frame + the longest packet's duration + the playout delay
// (see playout_delay, which learns it from the relative delays and falls
// only in the pauses between talkspurts).
//  - A packet that arrives before its playout time is held, in sequence,
//    wherever it falls: reordered packets are put back, and packets that
//    come early (a sender catching up after a stall) wait for their time,
//    up to `max_early_seconds` of audio ahead.
//  - A packet that arrives after its playout time while nothing after it
//    has played is waited for: the delay rises at once to cover it, if
//    that stays within the greatest delay and 200 ms over the quantile
//    aimed at. One that arrives after a later packet has played, or later
//    than that, is late: the gap it leaves is loss.
//
// A new SSRC, or a timestamp that goes backwards or jumps more than a
// minute while the sequence goes on, restarts the timing: everything held
// is played out at once and the new timing starts from the packet.
class jitter_buffer {
public:
    // Audio held ahead of its playout time at most: two minutes.
    static constexpr double max_early_seconds = 120.0;
    // Packets and payload bytes held at most, whatever the times say.
    static constexpr std::size_t max_held_packets = 8192;
    static constexpr std::size_t max_held_bytes = 8 << 20;

    explicit jitter_buffer(const jitter_buffer_limits& limits);

    // Takes a packet that arrived at `arrival_seconds` (any steady clock).
    // Packets played out at once by a timing restart go to `played`.
    arrival_kind add(held_packet packet, double arrival_seconds, std::vector<held_packet>& played);

    // The playout time of the next packet held, and of the last, if any.
    std::optional<double> next_playout() const;
    std::optional<double> last_playout() const;
    // Moves the packets due at `now_seconds` to `played`, in sequence order.
    void play_due(double now_seconds, std::vector<held_packet>& played);
    // Moves every packet held to `played`, in sequence order, as played
    // at `now_seconds` (the end).
    void play_all(double now_seconds, std::vector<held_packet>& played);

    // The playout delay in force, over the first packet's transit.
    double delay_seconds() const { return delay_.seconds(); }
    std::size_t held() const { return held_.size(); }

private:
    struct waiting {
        held_packet packet;
        double media_seconds;
    };

    bool breaks_timing(const held_packet& packet) const;
    void restart();
    double playout_time(const waiting& entry) const;
    double longest_seconds() const;
    void play_front(std::vector<held_packet>& played, double now_seconds);

    playout_delay delay_;
    std::map<std::int64_t, waiting> held_;
    std::size_t held_bytes_ = 0;
    std::optional<std::int64_t> last_played_;
    std::set<std::int64_t> recently_played_;  // to tell duplicates from late packets
    std::optional<std::int64_t> highest_sequence_;
    double highest_end_seconds_ = 0.0;  // media time at the end of the highest packet

    // Timing of the current run of packets.
    bool started_ = false;
    std::uint32_t ssrc_ = 0;
    std::uint32_t last_timestamp_ = 0;
    std::int64_t last_media_units_ = 0;  // timestamps unwrapped from the run's first
    double reference_transit_ = 0.0;
    double last_arrival_ = -1.0;
    std::size_t longest_frames_ = 1;  // frames in the run's longest packet
};

}  // namespace g723::rtp

#endif
