// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/stream_statistics.h"

#include <cmath>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {

void arrival_statistics::add(double arrival_seconds, std::uint32_t timestamp) {
    if (previous_) {
        const double waited = arrival_seconds - previous_->seconds;
        if (waited > largest_gap_seconds_) largest_gap_seconds_ = waited;
        // Transit-time difference D in timestamp units; the RTP timestamps
        // are compared as a signed 32-bit difference so that they wrap.
        const auto sent = static_cast<std::int32_t>(timestamp - previous_->timestamp);
        const double difference = waited * 8000.0 - static_cast<double>(sent);
        jitter_units_ += (std::fabs(difference) - jitter_units_) / 16.0;
    }
    previous_ = arrival{arrival_seconds, timestamp};
}

void stream_statistics::add(const timeline_step& step) {
    ++packets;
    if (step.malformed) ++malformed;
    if (step.new_segment) ++segments;
    lost_packets += step.lost_packets;
    frames += step.received;
    sid_frames += step.sid;
    lost_frames += step.lost;
    untransmitted_frames += step.untransmitted;
    beyond_time_frames += step.beyond_time;
}

double stream_statistics::duration_seconds() const {
    return static_cast<double>(timeline_frames()) * frame_seconds;
}

double stream_statistics::silence_seconds() const {
    return static_cast<double>(untransmitted_frames) * frame_seconds;
}

}  // namespace g723::rtp
