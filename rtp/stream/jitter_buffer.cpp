// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/jitter_buffer.h"

#include <algorithm>

#include "rtp/packet/g723_payload.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

namespace {

// A packet after its playout time is waited for only when the delay it
// needs lies within this much of the quantile aimed at: a rare excursion
// far beyond the path's usual delays costs that packet, not the delay of
// all that follow.
constexpr double max_wait_over_aim = 0.2;
// Packets that arrive within this of the one before came in a bunch.
constexpr double bunch_seconds = 0.002;
// Played sequence numbers remembered to recognise duplicates.
constexpr std::size_t remembered_played = 512;

}  // namespace

jitter_buffer::jitter_buffer(const jitter_buffer_limits& limits) : delay_(limits) {}

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
    longest_frames_ = 1;
    delay_.restart();
}

arrival_kind jitter_buffer::add(held_packet packet, double arrival_seconds,
                                std::vector<held_packet>& played) {
    const std::int64_t sequence = packet.extended_sequence;
    packet.arrival_seconds = arrival_seconds;
    if (held_.contains(sequence) || recently_played_.contains(sequence)) {
        return arrival_kind::duplicate;
    }
    if (breaks_timing(packet)) {
        play_all(arrival_seconds, played);
        restart();
    }
    const std::size_t frames = std::max<std::size_t>(1, split_payload(packet.payload).frames.size());
    if (!started_) {
        started_ = true;
        ssrc_ = packet.ssrc;
        last_timestamp_ = packet.timestamp;
        last_media_units_ = 0;
        reference_transit_ = arrival_seconds - static_cast<double>(frames) * frame_seconds;
        highest_end_seconds_ = 0.0;
    }
    const std::int64_t media_units =
        last_media_units_ + static_cast<std::int32_t>(packet.timestamp - last_timestamp_);
    last_timestamp_ = packet.timestamp;
    last_media_units_ = media_units;
    const double media_seconds = static_cast<double>(media_units) / 8000.0;
    const double end_seconds = media_seconds + static_cast<double>(frames) * frame_seconds;

    // The next packet after frames the sender left untransmitted: a pause,
    // in which the delay may fall before this packet is scheduled.
    const bool next_in_sequence = highest_sequence_ && sequence == *highest_sequence_ + 1;
    if (next_in_sequence && media_seconds >= highest_end_seconds_ + frame_seconds - 1e-9) {
        delay_.pause(media_seconds - highest_end_seconds_);
    }
    longest_frames_ = std::max(longest_frames_, frames);

    const waiting entry{std::move(packet), media_seconds};
    const double playout = playout_time(entry);
    // After its playout time with nothing later played yet, the playout
    // waits for it: the delay rises at once to cover it, within the
    // greatest delay. Once a later packet has played, or beyond that, the
    // audio has gone on without it.
    const bool after_time = arrival_seconds > playout;
    const double wait = delay_.seconds() + (arrival_seconds - playout);
    const bool late = (last_played_ && sequence <= *last_played_) ||
                      (after_time && (wait > delay_.greatest() || wait > delay_.aim() + max_wait_over_aim));
    // The packet's playout time was fixed by the delay in force before it
    // came; only then does it move the delay on.
    const bool bunched = arrival_seconds - last_arrival_ < bunch_seconds;
    last_arrival_ = arrival_seconds;
    delay_.add(arrival_seconds - end_seconds - reference_transit_, !after_time || late, bunched);
    if (late) return arrival_kind::late;
    if (playout - arrival_seconds > max_early_seconds) return arrival_kind::early;

    const bool reordered = highest_sequence_ && sequence < *highest_sequence_;
    if (!highest_sequence_ || sequence > *highest_sequence_) {
        highest_sequence_ = sequence;
        highest_end_seconds_ = end_seconds;
    }
    held_bytes_ += entry.packet.payload.size();
    held_.emplace(sequence, entry);
    // However the times lie, the buffer holds bounded memory.
    while (held_.size() > max_held_packets || held_bytes_ > max_held_bytes) {
        play_front(played, arrival_seconds);
    }
    return reordered ? arrival_kind::reordered : arrival_kind::in_order;
}

double jitter_buffer::playout_time(const waiting& entry) const {
    return reference_transit_ + entry.media_seconds + longest_seconds() + delay_.seconds();
}

double jitter_buffer::longest_seconds() const {
    return static_cast<double>(longest_frames_) * frame_seconds;
}

std::optional<double> jitter_buffer::next_playout() const {
    if (held_.empty()) return std::nullopt;
    return playout_time(held_.begin()->second);
}

std::optional<double> jitter_buffer::last_playout() const {
    if (held_.empty()) return std::nullopt;
    return playout_time(held_.rbegin()->second);
}

void jitter_buffer::play_front(std::vector<held_packet>& played, double now_seconds) {
    auto front = held_.begin();
    last_played_ = front->first;
    recently_played_.insert(front->first);
    if (recently_played_.size() > remembered_played) recently_played_.erase(recently_played_.begin());
    held_bytes_ -= front->second.packet.payload.size();
    front->second.packet.playout_seconds = std::min(now_seconds, playout_time(front->second));
    played.push_back(std::move(front->second.packet));
    held_.erase(front);
}

void jitter_buffer::play_due(double now_seconds, std::vector<held_packet>& played) {
    while (!held_.empty() && playout_time(held_.begin()->second) <= now_seconds) {
        play_front(played, now_seconds);
    }
}

void jitter_buffer::play_all(double now_seconds, std::vector<held_packet>& played) {
    while (!held_.empty()) play_front(played, now_seconds);
}

}  // namespace g723::rtp
