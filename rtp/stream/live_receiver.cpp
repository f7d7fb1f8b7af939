// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/live_receiver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {

namespace {

// Packets that make a source heard (the probation of RFC 3550's new
// sources): that many distinct sequence numbers within a window of them,
// in any order, with timestamps no further ahead of their arrivals than
// allowed.
constexpr std::size_t probation_packets = 3;
constexpr int probation_window = 16;
constexpr double probation_lead_seconds = 1.0;
// Packets of a candidate looked at for its probation.
constexpr std::size_t probation_kept = 8;
// Sources on probation at once, the packets each keeps for a handover, and
// the bytes all keep: a spray of random SSRCs costs bounded memory, and a
// genuine source survives some two hundred strangers between its first two
// packets.
constexpr std::size_t max_candidates = 256;
constexpr std::size_t max_pending_packets = 256;
constexpr std::size_t max_pending_bytes = 1 << 20;
// Larger datagrams from another source are counted but not kept: G.723.1
// packets are far smaller.
constexpr std::size_t max_kept_datagram = 4096;

}  // namespace

// The audio never runs ahead of the time the packets took to arrive by
// more than the greatest playout delay and the longest packet.
constexpr double longest_packet_seconds = 8 * frame_seconds;

live_receiver::live_receiver(live_receiver_settings settings, frame_sink sink)
    : settings_(std::move(settings)),
      sink_(std::move(sink)),
      buffer_(settings_.limits),
      timeline_(settings_.limits.max_delay_seconds + longest_packet_seconds) {}

void live_receiver::add(std::span<const std::uint8_t> datagram, const std::string& source,
                        double arrival_seconds) {
    ++datagrams_;
    now_ = std::max(now_, arrival_seconds);
    rtp_packet packet;
    if (parse_rtp_packet(datagram, packet) != rtp_parse_result::ok) {
        ++not_rtp_;
        return;
    }
    if (packet.payload_type != settings_.payload_type) {
        ++other_types_;
        return;
    }
    if (settings_.only_from && source != *settings_.only_from) {
        ++elsewhere_;
        return;
    }
    source_key key{packet.ssrc, source};
    if (current_ && key == *current_) {
        current_last_ = arrival_seconds;
        // What other sources sent until now overlapped this one's audio.
        if (candidate_bytes_ > 0) {
            for (auto& [other, waiting] : candidates_) {
                waiting.pending.clear();
                waiting.pending_bytes = 0;
            }
            candidate_bytes_ = 0;
        }
        accept(datagram, key, arrival_seconds);
        return;
    }
    hear_other(datagram, key, {packet.sequence, packet.timestamp, arrival_seconds});
}

bool live_receiver::passed(const candidate& waiting) {
    if (waiting.recent.size() < probation_packets) return false;
    const probation_packet& newest = waiting.recent.back();
    // The packets near the newest in sequence, in any order, each once.
    std::vector<std::int32_t> near;
    double first_arrival = newest.arrival_seconds;
    std::int32_t lowest_units = 0, highest_units = 0;
    for (const probation_packet& heard : waiting.recent) {
        const auto distance = static_cast<std::int16_t>(heard.sequence - newest.sequence);
        if (std::abs(distance) >= probation_window) continue;
        if (std::find(near.begin(), near.end(), distance) != near.end()) continue;
        near.push_back(distance);
        first_arrival = std::min(first_arrival, heard.arrival_seconds);
        const auto units = static_cast<std::int32_t>(heard.timestamp - newest.timestamp);
        lowest_units = std::min(lowest_units, units);
        highest_units = std::max(highest_units, units);
    }
    if (near.size() < probation_packets) return false;
    // Timestamps that run far ahead of the wall clock are a chain, not a call.
    const double media_seconds = static_cast<double>(highest_units - lowest_units) / 8000.0;
    return media_seconds <= newest.arrival_seconds - first_arrival + probation_lead_seconds;
}

void live_receiver::hear_other(std::span<const std::uint8_t> datagram, const source_key& key,
                               const probation_packet& heard) {
    ++others_;
    auto found = candidates_.find(key);
    if (found == candidates_.end()) {
        make_room_for_candidate();
        found = candidates_.emplace(key, candidate{}).first;
    }
    candidate& waiting = found->second;
    waiting.recent.push_back(heard);
    if (waiting.recent.size() > probation_kept) waiting.recent.pop_front();
    waiting.last_arrival = heard.arrival_seconds;
    if (datagram.size() <= max_kept_datagram) {
        waiting.pending.push_back({{datagram.begin(), datagram.end()}, heard.arrival_seconds});
        waiting.pending_bytes += datagram.size();
        candidate_bytes_ += datagram.size();
        while (waiting.pending.size() > max_pending_packets) {
            waiting.pending_bytes -= waiting.pending.front().datagram.size();
            candidate_bytes_ -= waiting.pending.front().datagram.size();
            waiting.pending.pop_front();
        }
    }
    const bool heard_enough = passed(waiting);
    while (candidate_bytes_ > max_pending_bytes && candidates_.size() > 1) make_room_for_candidate();
    found = candidates_.find(key);
    if (!current_ && heard_enough && found != candidates_.end()) take_over(found);
}

// Forgets one source on probation: the least promising (a lone packet
// before a run), the longest silent among those.
void live_receiver::make_room_for_candidate() {
    if (candidates_.size() < max_candidates && candidate_bytes_ <= max_pending_bytes) return;
    auto worst = candidates_.end();
    for (auto at = candidates_.begin(); at != candidates_.end(); ++at) {
        if (worst == candidates_.end()) {
            worst = at;
            continue;
        }
        const bool lone = !passed(at->second);
        const bool worst_lone = !passed(worst->second);
        if (lone != worst_lone ? lone : at->second.last_arrival < worst->second.last_arrival) {
            worst = at;
        }
    }
    if (worst == candidates_.end()) return;
    candidate_bytes_ -= worst->second.pending_bytes;
    candidates_.erase(worst);
}

std::optional<live_receiver::source_key> live_receiver::successor() const {
    std::optional<source_key> best;
    double latest = 0.0;
    for (const auto& [key, waiting] : candidates_) {
        if (waiting.pending.empty() || !passed(waiting)) continue;
        if (!best || waiting.last_arrival > latest) {
            best = key;
            latest = waiting.last_arrival;
        }
    }
    return best;
}

void live_receiver::take_over(std::map<source_key, candidate>::iterator chosen) {
    const source_key key = chosen->first;
    std::deque<pending_packet> pending = std::move(chosen->second.pending);
    current_ = key;
    current_last_ = chosen->second.last_arrival;
    current_played_ = 0.0;
    candidate_bytes_ -= chosen->second.pending_bytes;
    candidates_.erase(chosen);
    others_ -= pending.size();
    // Nothing of the source has been played yet: its packets go in in
    // sequence order, so that the first in sequence sets the timing and a
    // call that starts reordered loses nothing.
    const auto sequence_of = [](const pending_packet& packet) {
        return static_cast<std::uint16_t>(packet.datagram[2] << 8 | packet.datagram[3]);
    };
    const std::uint16_t first = pending.empty() ? 0 : sequence_of(pending.front());
    std::stable_sort(pending.begin(), pending.end(), [&](const auto& a, const auto& b) {
        return static_cast<std::int16_t>(sequence_of(a) - first) <
               static_cast<std::int16_t>(sequence_of(b) - first);
    });
    for (const pending_packet& packet : pending) accept(packet.datagram, key, packet.arrival_seconds);
}

void live_receiver::accept(std::span<const std::uint8_t> datagram, const source_key& key,
                           double arrival_seconds) {
    rtp_packet packet;
    parse_rtp_packet(datagram, packet);
    auto [entry, is_new] = senders_.try_emplace(key);
    sender& stream = entry->second;
    if (is_new) {
        stream.number = static_cast<std::uint32_t>(order_.size());
        char ssrc[16];
        std::snprintf(ssrc, sizeof ssrc, "0x%08x", packet.ssrc);
        stream.row.name = key.second + " > " + settings_.local_address + " ssrc " + ssrc;
        stream.row.payload_type = settings_.payload_type;
        stream.row.payload_type_source = settings_.payload_type_source;
        stream.row.output = settings_.output;
        order_.push_back(key);
    }
    // The source's number stands for its SSRC in the buffer and the
    // timeline: the same SSRC from another address is another stream.
    held_packet held{stream.sequences.extend(packet.sequence), packet.timestamp, stream.number,
                     {packet.payload.begin(), packet.payload.end()}};
    const std::int64_t sequence = held.extended_sequence;
    // A new source plays out at once what the old one left.
    const arrival_kind kind = buffer_.add(std::move(held), arrival_seconds, played_);
    play_out();
    if (kind == arrival_kind::duplicate) {
        ++stream.row.statistics.duplicated;
        return;
    }
    if (stream.received++ == 0) stream.first_sequence = sequence;
    stream.first_sequence = std::min(stream.first_sequence, sequence);
    stream.highest_sequence = std::max(stream.highest_sequence, sequence);
    stream.arrivals.add(arrival_seconds, packet.timestamp);
    if (kind == arrival_kind::reordered) ++stream.row.statistics.reordered;
    if (kind == arrival_kind::late) ++late_;
    if (kind == arrival_kind::early) ++early_;
}

std::optional<source_reception> live_receiver::reception() const {
    if (!current_) return std::nullopt;
    const auto found = senders_.find(*current_);
    if (found == senders_.end() || found->second.received == 0) return std::nullopt;
    const sender& stream = found->second;
    return source_reception{current_->first,   current_->second,        stream.first_sequence,
                            stream.highest_sequence, stream.received, stream.arrivals.jitter_ms() * 8.0};
}

std::optional<double> live_receiver::next_event() const {
    std::optional<double> next = buffer_.next_playout();
    if (current_ && successor()) {
        const double handover = *last_heard() + settings_.hold_seconds;
        if (!next || handover < *next) next = handover;
    }
    return next;
}

std::optional<double> live_receiver::last_heard() const {
    if (!current_) return std::nullopt;
    return std::max({current_last_, current_played_, buffer_.last_playout().value_or(current_last_)});
}

void live_receiver::play_due(double now_seconds) {
    now_ = std::max(now_, now_seconds);
    if (current_ && now_seconds >= *last_heard() + settings_.hold_seconds) {
        if (const auto next = successor()) take_over(candidates_.find(*next));
    }
    buffer_.play_due(now_seconds, played_);
    play_out();
}

void live_receiver::play_all(double now_seconds) {
    now_ = std::max(now_, now_seconds);
    buffer_.play_all(now_, played_);
    play_out();
}

void live_receiver::play_out() {
    for (const held_packet& packet : played_) {
        stream_statistics& statistics = senders_.at(order_[packet.ssrc]).row.statistics;
        if (current_ && order_[packet.ssrc] == *current_) {
            current_played_ = std::max(current_played_, packet.playout_seconds);
        }
        frames_.clear();
        timeline_.hold_from(packet.arrival_seconds);
        statistics.add(timeline_.add({packet.extended_sequence, packet.timestamp, packet.ssrc,
                                      packet.payload, packet.playout_seconds},
                                     frames_));
        for (const timeline_frame& frame : frames_) {
            // Two hours at most, as a capture's streams.
            if (frames_written_ >= max_stream_frames) {
                ++statistics.beyond_time_frames;
                continue;
            }
            ++frames_written_;
            sink_(frame, statistics);
        }
    }
    played_.clear();
}

stream_report live_receiver::report() const {
    stream_report report;
    for (const source_key& key : order_) {
        const sender& stream = senders_.at(key);
        stream_report_row row = stream.row;
        row.statistics.jitter_ms = stream.arrivals.jitter_ms();
        row.statistics.largest_gap_ms = stream.arrivals.largest_gap_ms();
        report.streams.push_back(row);
    }
    report.counts = {{"datagrams received", datagrams_},
                     {"not RTP", not_rtp_},
                     {"other payload types", other_types_},
                     {"late packets dropped", late_},
                     {"early packets dropped", early_},
                     {"other sources' packets", others_},
                     {"packets from elsewhere (--from)", elsewhere_},
                     {"playout delay/ms at end",
                      static_cast<std::uint64_t>(std::max(0.0, buffer_.delay_seconds()) * 1000.0 + 0.5)}};
    return report;
}

}  // namespace g723::rtp
