// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_JITTER_BUFFER_H
#define G723_RTP_STREAM_JITTER_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "rtp/stream/stream_statistics.h"

namespace g723::rtp {

// A packet waiting for its playout time, its payload copied.
struct held_packet {
    std::int64_t extended_sequence = 0;  // see sequence_extender
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::vector<std::uint8_t> payload;
    double arrival_seconds = 0.0;  // set by add()
};

enum class arrival_kind {
    in_order,
    reordered,  // after a later-numbered packet, put back in its place
    duplicate,  // a copy of a packet held or played out: dropped
    late,       // after its playout time or after later packets were played: dropped
};

struct jitter_buffer_limits {
    double min_delay_seconds = 0.03;
    double max_delay_seconds = 0.3;
};

// An adaptive jitter buffer: holds a live stream's packets from arrival
// until their playout time and hands them on in sequence order.
//
// A packet's transit is its arrival time less the media time at the end of
// its audio (timestamp over the 8000 Hz clock plus its frames): a sender
// sends a packet once its last frame has been spoken, so full packets and
// the short one that ends a talkspurt have the same transit. The least
// transit over the last packets is the path's floor. A packet plays out at
// floor + media time of its first frame + the longest packet's duration +
// delay: the packet time is part of the playout delay whichever frame the
// sender times its packets by. The delay follows the measured interarrival
// jitter (four times it) and rises at once to cover a packet that came
// later than its playout time would allow, then fades back; it is kept
// within the limits. A packet that arrives after its playout time, or after
// a later packet has been played out, is late: the gap it leaves is loss.
//
// A new SSRC, or a timestamp that goes backwards or jumps more than a
// minute while the sequence goes on, restarts the timing: everything held
// is played out at once and the new timing starts from the packet.
class jitter_buffer {
public:
    explicit jitter_buffer(const jitter_buffer_limits& limits);

    // Takes a packet that arrived at `arrival_seconds` (any steady clock).
    // Packets played out at once by a timing restart go to `played`.
    arrival_kind add(held_packet packet, double arrival_seconds, std::vector<held_packet>& played);

    // The playout time of the next packet held, if any.
    std::optional<double> next_playout() const;
    // Moves the packets due at `now_seconds` to `played`, in sequence order.
    void play_due(double now_seconds, std::vector<held_packet>& played);
    // Moves every packet held to `played`, in sequence order (the end).
    void play_all(std::vector<held_packet>& played);

    double delay_seconds() const { return delay_seconds_; }
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
    void play_front(std::vector<held_packet>& played);

    jitter_buffer_limits limits_;
    double delay_seconds_;
    std::map<std::int64_t, waiting> held_;
    std::optional<std::int64_t> last_played_;
    std::set<std::int64_t> recently_played_;  // to tell duplicates from late packets
    std::optional<std::int64_t> highest_sequence_;

    // Timing of the current run of packets.
    bool started_ = false;
    std::uint32_t ssrc_ = 0;
    std::uint32_t last_timestamp_ = 0;
    std::int64_t last_media_units_ = 0;  // timestamps unwrapped from the run's first
    std::uint64_t arrivals_ = 0;
    std::deque<std::pair<std::uint64_t, double>> transit_floor_;  // rising transits, windowed
    std::size_t longest_frames_ = 1;  // frames in the run's longest packet
    double peak_excess_ = 0.0;  // largest transit above the floor, fading
    arrival_statistics jitter_;
};

}  // namespace g723::rtp

#endif
