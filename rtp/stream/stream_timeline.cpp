// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/stream_timeline.h"

#include <algorithm>

#include "rtp/packet/g723_payload.h"
#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {

namespace {

void append(std::vector<timeline_frame>& frames, frame_origin origin, std::size_t count) {
    timeline_frame frame;
    frame.origin = origin;
    if (origin == frame_origin::untransmitted) {
        frame.slot[0] = static_cast<std::uint8_t>(frame_kind::untransmitted);
    }
    frames.insert(frames.end(), count, frame);
}

}  // namespace

timeline_step stream_timeline::add(const timeline_packet& packet,
                                   std::vector<timeline_frame>& frames) {
    timeline_step step;
    const payload_frames carried = split_payload(packet.payload);
    step.malformed = carried.malformed;
    if (carried.frames.empty()) return step;

    // Where the packet's first frame falls relative to the next frame due.
    const auto gap = static_cast<std::int32_t>(packet.timestamp - next_timestamp_);
    step.new_segment = !started_ || packet.ssrc != ssrc_ || gap < 0 ||
                       static_cast<std::uint32_t>(gap) > max_gap_units;
    if (!step.new_segment && packet.arrival_seconds && last_arrival_) {
        const double waited = *packet.arrival_seconds - *last_arrival_;
        const double allowed = (std::max(waited, 0.0) + arrival_slack_seconds) * 8000.0;
        step.new_segment = static_cast<double>(gap) > allowed;
    }
    std::size_t gap_frames = 0;
    if (!step.new_segment) {
        // Timestamps off the 30 ms grid round to the nearest frame.
        gap_frames = (static_cast<std::size_t>(gap) + timestamp_units_per_frame / 2) /
                     timestamp_units_per_frame;
    }
    // The time the packets took to arrive bounds the whole timeline.
    if (packet.arrival_seconds) {
        if (!first_arrival_) {
            first_arrival_ = latest_arrival_ = *packet.arrival_seconds;
            placed_frames_ = 0;
        }
        latest_arrival_ = std::max(latest_arrival_, *packet.arrival_seconds);
        const double allowed = (latest_arrival_ - *first_arrival_ + time_slack_seconds_) / frame_seconds;
        const auto fits = [&](std::size_t more) {
            return static_cast<double>(placed_frames_ + more) <= allowed;
        };
        if (!fits(carried.frames.size())) {
            step.beyond_time = carried.frames.size();
            step.new_segment = false;
            last_sequence_ = packet.extended_sequence;
            return step;
        }
        if (!step.new_segment && !fits(gap_frames + carried.frames.size())) {
            step.new_segment = true;
            gap_frames = 0;
        }
    }
    if (!step.new_segment) {
        const std::int64_t missing = packet.extended_sequence - last_sequence_ - 1;
        if (missing > 0) {
            step.lost_packets = static_cast<std::uint64_t>(missing);
            const auto packets = static_cast<std::size_t>(
                std::min<std::int64_t>(missing, static_cast<std::int64_t>(gap_frames)));
            step.lost = std::min(gap_frames, packets * largest_packet_frames_);
        }
        step.untransmitted = gap_frames - step.lost;
        append(frames, frame_origin::lost, step.lost);
        append(frames, frame_origin::untransmitted, step.untransmitted);
    }

    const std::size_t first = frames.size();
    for (const frame_slot& slot : carried.frames) {
        timeline_frame& frame = frames.emplace_back();
        frame.slot = slot;
        if (kind_of(slot[0]) == frame_kind::sid) ++step.sid;
    }
    frames[first].starts_segment = step.new_segment;
    step.received = carried.frames.size();
    placed_frames_ += step.lost + step.untransmitted + step.received;

    started_ = true;
    ssrc_ = packet.ssrc;
    last_arrival_ = packet.arrival_seconds;
    last_sequence_ = packet.extended_sequence;
    next_timestamp_ =
        packet.timestamp + static_cast<std::uint32_t>(step.received) * timestamp_units_per_frame;
    largest_packet_frames_ = std::max(largest_packet_frames_, step.received);
    return step;
}

}  // namespace g723::rtp
