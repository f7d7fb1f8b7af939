// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/jitter_buffer.h"

#include <algorithm>

#include "rtp/packet/g723_payload.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

namespace {

// Arrivals over which the least transit is taken: about two seconds of
// 30 ms packets, so that a slowly drifting sender clock is followed.
constexpr std::uint64_t floor_window = 64;
// Packets held at most: minutes of audio at any packet size.
constexpr std::size_t max_held_packets = 4096;
// Played sequence numbers remembered to recognise duplicates.
constexpr std::size_t remembered_played = 512;
// The jitter estimate is the mean deviation; four of it cover nearly every
// packet of a path with that jitter.
constexpr double jitter_multiple = 4.0;
// A delay spike (a stalled sender, a busy path) raises the delay to cover it
// at once; the raise fades by half in about 70 packets.
constexpr double peak_decay = 0.99;

}  // namespace

jitter_buffer::jitter_buffer(const jitter_buffer_limits& limits)
    : limits_(limits), delay_seconds_(limits.min_delay_seconds) {}

bool jitter_buffer::breaks_timing(const held_packet& packet) const {
    if (!started_) return false;
    if (packet.ssrc != ssrc_) return true;
    const auto step = static_cast<std::int32_t>(packet.timestamp - last_timestamp_);
    const bool ahead = !highest_sequence_ || packet.extended_sequence > *highest_sequence_;
    return ahead && (step < 0 || step > static_cast<std::int32_t>(stream_timeline::max_gap_units));
}

void jitter_buffer::restart() {
    started_ = false;
    last_played_.reset();
    recently_played_.clear();
    highest_sequence_.reset();
    transit_floor_.clear();
    longest_frames_ = 1;
    peak_excess_ = 0.0;
    jitter_.restart();
}

arrival_kind jitter_buffer::add(held_packet packet, double arrival_seconds,
                                std::vector<held_packet>& played) {
    const std::int64_t sequence = packet.extended_sequence;
    packet.arrival_seconds = arrival_seconds;
    if (held_.contains(sequence) || recently_played_.contains(sequence)) {
        return arrival_kind::duplicate;
    }
    if (breaks_timing(packet)) {
        play_all(played);
        restart();
    }
    if (!started_) {
        started_ = true;
        ssrc_ = packet.ssrc;
        last_timestamp_ = packet.timestamp;
        last_media_units_ = 0;
    }
    const std::int64_t media_units =
        last_media_units_ + static_cast<std::int32_t>(packet.timestamp - last_timestamp_);
    last_timestamp_ = packet.timestamp;
    last_media_units_ = media_units;
    const double media_seconds = static_cast<double>(media_units) / 8000.0;
    const std::size_t frames = std::max<std::size_t>(1, split_payload(packet.payload).frames.size());
    longest_frames_ = std::max(longest_frames_, frames);

    // The path's floor and the jitter follow every arrival, late ones too.
    // A sender can send a packet only once its last frame has been spoken,
    // so transit is taken from the end of the packet's audio: the short
    // packet that ends a talkspurt has the same transit as the full ones.
    const double end_seconds = media_seconds + static_cast<double>(frames) * frame_seconds;
    const double transit = arrival_seconds - end_seconds;
    const std::uint64_t arrival = arrivals_++;
    while (!transit_floor_.empty() && transit_floor_.back().second >= transit) {
        transit_floor_.pop_back();
    }
    transit_floor_.emplace_back(arrival, transit);
    while (transit_floor_.front().first + floor_window <= arrival) transit_floor_.pop_front();
    // The packet's playout time was fixed by the delay in force before it
    // came; only then does it move the delay on.
    const double excess =
        arrival_seconds - media_seconds - longest_seconds() - transit_floor_.front().second;
    const bool late = (last_played_ && sequence <= *last_played_) || excess > delay_seconds_;
    jitter_.add(arrival_seconds,
                packet.timestamp + static_cast<std::uint32_t>(frames * timestamp_units_per_frame));
    peak_excess_ = std::max(peak_excess_ * peak_decay, excess);
    delay_seconds_ = std::clamp(std::max(jitter_multiple * jitter_.jitter_ms() / 1000.0, peak_excess_),
                                limits_.min_delay_seconds, limits_.max_delay_seconds);
    if (late) return arrival_kind::late;
    const bool reordered = highest_sequence_ && sequence < *highest_sequence_;
    if (!highest_sequence_ || sequence > *highest_sequence_) highest_sequence_ = sequence;
    held_.emplace(sequence, waiting{std::move(packet), media_seconds});
    // However the times lie, the buffer holds a bounded number of packets.
    while (held_.size() > max_held_packets) play_front(played);
    return reordered ? arrival_kind::reordered : arrival_kind::in_order;
}

double jitter_buffer::playout_time(const waiting& entry) const {
    const double floor = transit_floor_.empty() ? 0.0 : transit_floor_.front().second;
    return floor + entry.media_seconds + longest_seconds() + delay_seconds_;
}

double jitter_buffer::longest_seconds() const {
    return static_cast<double>(longest_frames_) * frame_seconds;
}

std::optional<double> jitter_buffer::next_playout() const {
    if (held_.empty()) return std::nullopt;
    return playout_time(held_.begin()->second);
}

void jitter_buffer::play_front(std::vector<held_packet>& played) {
    auto front = held_.begin();
    last_played_ = front->first;
    recently_played_.insert(front->first);
    if (recently_played_.size() > remembered_played) recently_played_.erase(recently_played_.begin());
    played.push_back(std::move(front->second.packet));
    held_.erase(front);
}

void jitter_buffer::play_due(double now_seconds, std::vector<held_packet>& played) {
    while (!held_.empty() && playout_time(held_.begin()->second) <= now_seconds) play_front(played);
}

void jitter_buffer::play_all(std::vector<held_packet>& played) {
    while (!held_.empty()) play_front(played);
}

}  // namespace g723::rtp
