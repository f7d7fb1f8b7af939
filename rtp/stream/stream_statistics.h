// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_STREAM_STATISTICS_H
#define G723_RTP_STREAM_STREAM_STATISTICS_H

#include <cstdint>
#include <optional>

#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

// Interarrival jitter (RFC 3550, 6.4.1) and the longest wait between
// packets, from arrival times in seconds (any clock: a capture's or the
// system's). Packets are given in arrival order, duplicates left out.
class arrival_statistics {
public:
    void add(double arrival_seconds, std::uint32_t timestamp);
    // Forgets the previous packet, so that a new sender's timestamps are
    // not compared with the old one's; the jitter estimate carries on.
    void restart() { previous_.reset(); }

    // The smoothed jitter estimate, in milliseconds at 8000 Hz.
    double jitter_ms() const { return jitter_units_ / 8.0; }
    double largest_gap_ms() const { return largest_gap_seconds_ * 1000.0; }

private:
    struct arrival {
        double seconds;
        std::uint32_t timestamp;
    };
    std::optional<arrival> previous_;
    double jitter_units_ = 0.0;
    double largest_gap_seconds_ = 0.0;
};

// What one stream delivered. Frame counts are 30 ms frames.
struct stream_statistics {
    std::uint64_t packets = 0;       // distinct packets, duplicates left out
    std::uint64_t duplicated = 0;    // copies of packets already received, dropped
    std::uint64_t reordered = 0;     // arrived after a later-numbered packet, put back
    std::uint64_t malformed = 0;     // payload not whole frames (whole frames kept)
    std::uint64_t lost_packets = 0;  // sequence numbers that brought no frame
    std::uint64_t frames = 0;        // received frames
    std::uint64_t sid_frames = 0;
    std::uint64_t lost_frames = 0;           // concealed
    std::uint64_t untransmitted_frames = 0;  // silence gaps, comfort noise
    std::uint64_t not_supported_frames = 0;  // 5.3 kbit/s, concealed by the decoder
    std::uint64_t invalid_frames = 0;        // refused by the decoder, concealed
    std::uint64_t segments = 0;              // runs split by SSRC changes or timestamp jumps
    // Frames dropped because the audio would have run ahead of the time the
    // packets took to arrive (or past two hours).
    std::uint64_t beyond_time_frames = 0;
    double jitter_ms = 0.0;
    double largest_gap_ms = 0.0;
    // What the sender said it had sent, in its last RTCP sender report
    // (packets and payload bytes), beside what arrived; no report, none.
    std::uint64_t sender_reports = 0;
    std::uint64_t sender_reported_packets = 0;
    std::uint64_t sender_reported_bytes = 0;

    // Counts one packet's contribution to the timeline.
    void add(const timeline_step& step);

    std::uint64_t timeline_frames() const { return frames + lost_frames + untransmitted_frames; }
    double duration_seconds() const;  // of the decoded audio
    double silence_seconds() const;   // untransmitted frames
};

}  // namespace g723::rtp

#endif
