// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/live_receiver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "rtp/packet/g723_payload.h"
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

namespace {

// "HOST:PORT" or "[HOST]:PORT" split at the last colon.
std::pair<std::string, long> split_endpoint(const std::string& endpoint) {
    const std::size_t colon = endpoint.rfind(':');
    if (colon == std::string::npos) return {endpoint, -1};
    return {endpoint.substr(0, colon), std::strtol(endpoint.c_str() + colon + 1, nullptr, 10)};
}

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
    rtcp_.last_sender_report.reset();
    rtcp_.address.clear();
    rtcp_.expected_prior = rtcp_.received_prior = 0;
    if (rtcp_.early_report && rtcp_.early_report->ssrc == key.first) {
        const auto [host, port] = split_endpoint(rtcp_.early_report->source);
        const auto [rtp_host, rtp_port] = split_endpoint(key.second);
        if (host == rtp_host && (port == rtp_port || port == rtp_port + 1)) {
            ++rtcp_.sender_reports;
            rtcp_.last_sender_report = rtcp_.early_report->info;
            rtcp_.last_sender_report_arrival = rtcp_.early_report->arrival_seconds;
            rtcp_.address = rtcp_.early_report->source;
        }
    }
    rtcp_.early_report.reset();
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


rtcp_effect live_receiver::add_rtcp(std::span<const std::uint8_t> datagram, const std::string& source,
                                    double arrival_seconds) {
    rtcp_compound compound;
    if (parse_rtcp_compound(datagram, compound) != rtcp_parse_result::ok) {
        ++rtcp_.ignored;
        return rtcp_effect::none;
    }
    if (!current_) {
        // A sender's first report may come before its packets have passed
        // probation: the latest one waits for that.
        if (compound.sender && compound.bye.empty()) {
            rtcp_.early_report = {*compound.sender, arrival_seconds, source, compound.ssrc};
        }
        return rtcp_effect::none;
    }
    if (compound.ssrc != current_->first) {
        ++rtcp_.ignored;
        return rtcp_effect::none;
    }
    const auto [host, port] = split_endpoint(source);
    const auto [rtp_host, rtp_port] = split_endpoint(current_->second);
    if (host != rtp_host || (port != rtp_port && port != rtp_port + 1)) {
        ++rtcp_.ignored;
        return rtcp_effect::none;
    }
    rtcp_.address = source;
    if (compound.sender) {
        ++rtcp_.sender_reports;
        rtcp_.last_sender_report = compound.sender;
        rtcp_.last_sender_report_arrival = arrival_seconds;
    }
    const bool leaving = std::find(compound.bye.begin(), compound.bye.end(), current_->first) != compound.bye.end();
    return leaving ? rtcp_effect::goodbye : rtcp_effect::report;
}

std::optional<std::pair<std::vector<std::uint8_t>, std::string>> live_receiver::receiver_report(
    std::uint32_t own_ssrc, const std::string& cname, bool goodbye, double now_seconds) {
    const std::optional<source_reception> heard = reception();
    if (!heard) return std::nullopt;
    rtcp_compound report;
    report.ssrc = own_ssrc;
    report.cname = cname;
    if (goodbye) report.bye.push_back(own_ssrc);
    report_block block;
    block.ssrc = heard->ssrc;
    // RFC 3550, A.3: loss over all and since the last report.
    const auto expected = static_cast<std::uint64_t>(heard->highest_sequence - heard->first_sequence + 1);
    block.cumulative_lost = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(static_cast<std::int64_t>(expected) - static_cast<std::int64_t>(heard->received),
                                 -0x800000, 0x7fffff));
    const std::uint64_t expected_interval = expected - std::min(expected, rtcp_.expected_prior);
    const std::uint64_t received_interval = heard->received - std::min(heard->received, rtcp_.received_prior);
    rtcp_.expected_prior = expected;
    rtcp_.received_prior = heard->received;
    if (expected_interval > received_interval) {
        block.fraction_lost = static_cast<std::uint8_t>(
            std::min<std::uint64_t>(255, ((expected_interval - received_interval) << 8) / expected_interval));
    }
    // The extended sequence starts at 65536 + the first number.
    block.highest_sequence = static_cast<std::uint32_t>(heard->highest_sequence - 65536);
    block.jitter = static_cast<std::uint32_t>(heard->jitter_units);
    if (rtcp_.last_sender_report) {
        block.last_sr = ntp_middle(rtcp_.last_sender_report->ntp_timestamp);
        block.delay_since_last_sr = static_cast<std::uint32_t>(
            std::max(0.0, now_seconds - rtcp_.last_sender_report_arrival) * 65536.0);
    }
    report.blocks.push_back(block);
    ++rtcp_.receiver_reports;
    std::string destination = rtcp_.address;
    if (destination.empty()) {
        const auto [host, port] = split_endpoint(heard->address);
        destination = host + ":" + std::to_string(settings_.rtcp_mux ? port : port + 1);
    }
    return std::pair{write_rtcp_compound(report), destination};
}

void live_receiver::note_playout_delay(const held_packet& packet) {
    if (!rtcp_.last_sender_report) return;
    const sender_info& report = *rtcp_.last_sender_report;
    const std::size_t frames = std::max<std::size_t>(1, split_payload(packet.payload).frames.size());
    const auto since_report =
        static_cast<std::int32_t>(packet.timestamp + frames * timestamp_units_per_frame - report.rtp_timestamp);
    const double sent_wall = static_cast<double>(report.ntp_timestamp >> 32) - 2208988800.0 +
                             static_cast<double>(report.ntp_timestamp & 0xffffffff) / 4294967296.0 +
                             static_cast<double>(since_report) / 8000.0;
    const double played_wall = packet.playout_seconds + settings_.wall_clock_offset_seconds;
    const double delay_ms = std::clamp((played_wall - sent_wall) * 1000.0, 0.0, 10000.0);
    if (delay_histogram_.empty()) delay_histogram_.assign(10001, 0);
    ++delay_histogram_[static_cast<std::size_t>(delay_ms + 0.5)];
    delay_sum_ms_ += delay_ms;
    ++delays_;
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
            note_playout_delay(packet);
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

std::uint64_t live_receiver::percentile_ms(double share) const {
    const auto rank = static_cast<std::uint64_t>(share * static_cast<double>(delays_));
    std::uint64_t below = 0;
    for (std::size_t ms = 0; ms < delay_histogram_.size(); ++ms) {
        below += delay_histogram_[ms];
        if (below > rank) return ms;
    }
    return 0;
}

stream_report live_receiver::report() const {
    stream_report report;
    for (const source_key& key : order_) {
        const sender& stream = senders_.at(key);
        stream_report_row row = stream.row;
        row.statistics.jitter_ms = stream.arrivals.jitter_ms();
        row.statistics.largest_gap_ms = stream.arrivals.largest_gap_ms();
        if (current_ && key == *current_ && rtcp_.last_sender_report) {
            row.statistics.sender_reports = rtcp_.sender_reports;
            row.statistics.sender_reported_packets = rtcp_.last_sender_report->packet_count;
            row.statistics.sender_reported_bytes = rtcp_.last_sender_report->octet_count;
        }
        report.streams.push_back(row);
    }
    report.counts = {{"datagrams received", datagrams_},
                     {"not RTP", not_rtp_},
                     {"other payload types", other_types_},
                     {"late packets dropped", late_},
                     {"early packets dropped", early_},
                     {"other sources' packets", others_},
                     {"packets from elsewhere (--from)", elsewhere_},
                     {"RTCP sender reports of the source", rtcp_.sender_reports},
                     {"packets the source reported sent",
                      rtcp_.last_sender_report ? rtcp_.last_sender_report->packet_count : 0},
                     {"RTCP receiver reports sent", rtcp_.receiver_reports},
                     {"RTCP packets ignored", rtcp_.ignored},
                     {"playout delay/ms mean", delays_ == 0 ? 0 : static_cast<std::uint64_t>(delay_sum_ms_ / static_cast<double>(delays_) + 0.5)},
                     {"playout delay/ms p95", percentile_ms(0.95)},
                     {"playout delay/ms at end",
                      static_cast<std::uint64_t>(std::max(0.0, buffer_.delay_seconds()) * 1000.0 + 0.5)}};
    return report;
}

}  // namespace g723::rtp
