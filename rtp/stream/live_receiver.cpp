// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/live_receiver.h"

#include <cstdio>
#include <utility>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {

live_receiver::live_receiver(live_receiver_settings settings, frame_sink sink)
    : settings_(std::move(settings)), sink_(std::move(sink)), buffer_(settings_.limits) {}

void live_receiver::add(std::span<const std::uint8_t> datagram, const std::string& source,
                        double arrival_seconds) {
    ++datagrams_;
    rtp_packet packet;
    if (parse_rtp_packet(datagram, packet) != rtp_parse_result::ok) {
        ++not_rtp_;
        return;
    }
    if (packet.payload_type != settings_.payload_type) {
        ++other_types_;
        return;
    }
    if (ended_.contains(packet.ssrc)) {
        ++stray_;
        return;
    }
    if (current_ && packet.ssrc != *current_) {
        // Another sender takes over only when its next packet follows on.
        const bool follows = candidate_ && candidate_->ssrc == packet.ssrc &&
                             static_cast<std::uint16_t>(candidate_->sequence + 1) == packet.sequence;
        if (!follows) {
            if (candidate_) ++stray_;
            candidate_ = set_aside{{datagram.begin(), datagram.end()}, source, arrival_seconds,
                                   packet.ssrc, packet.sequence};
            return;
        }
        ended_.insert(*current_);
        const set_aside first = std::move(*candidate_);
        candidate_.reset();
        current_ = packet.ssrc;
        accept(first.datagram, first.source, first.arrival_seconds);
    } else if (candidate_) {
        ++stray_;
        candidate_.reset();
    }
    current_ = packet.ssrc;
    accept(datagram, source, arrival_seconds);
}

void live_receiver::accept(std::span<const std::uint8_t> datagram, const std::string& source,
                           double arrival_seconds) {
    rtp_packet packet;
    parse_rtp_packet(datagram, packet);
    auto [entry, is_new] = senders_.try_emplace(packet.ssrc);
    sender& stream = entry->second;
    if (is_new) {
        char ssrc[16];
        std::snprintf(ssrc, sizeof ssrc, "0x%08x", packet.ssrc);
        stream.row.name = source + " > " + settings_.local_address + " ssrc " + ssrc;
        stream.row.payload_type = settings_.payload_type;
        stream.row.payload_type_source = settings_.payload_type_source;
        stream.row.output = settings_.output;
        order_.push_back(packet.ssrc);
    }
    held_packet held{stream.sequences.extend(packet.sequence), packet.timestamp, packet.ssrc,
                     {packet.payload.begin(), packet.payload.end()}};
    // A new sender plays out at once what the old one left.
    const arrival_kind kind = buffer_.add(std::move(held), arrival_seconds, played_);
    play_out();
    if (kind == arrival_kind::duplicate) {
        ++stream.row.statistics.duplicated;
        return;
    }
    stream.arrivals.add(arrival_seconds, packet.timestamp);
    if (kind == arrival_kind::reordered) ++stream.row.statistics.reordered;
    if (kind == arrival_kind::late) ++late_;
}

void live_receiver::play_due(double now_seconds) {
    buffer_.play_due(now_seconds, played_);
    play_out();
}

void live_receiver::play_all() {
    buffer_.play_all(played_);
    play_out();
}

void live_receiver::play_out() {
    for (const held_packet& packet : played_) {
        stream_statistics& statistics = senders_[packet.ssrc].row.statistics;
        frames_.clear();
        statistics.add(timeline_.add({packet.extended_sequence, packet.timestamp, packet.ssrc,
                                      packet.payload, packet.arrival_seconds},
                                     frames_));
        for (const timeline_frame& frame : frames_) sink_(frame, statistics);
    }
    played_.clear();
}

stream_report live_receiver::report() const {
    stream_report report;
    for (const std::uint32_t ssrc : order_) {
        const sender& stream = senders_.at(ssrc);
        stream_report_row row = stream.row;
        row.statistics.jitter_ms = stream.arrivals.jitter_ms();
        row.statistics.largest_gap_ms = stream.arrivals.largest_gap_ms();
        report.streams.push_back(row);
    }
    report.counts = {{"datagrams received", datagrams_},
                     {"not RTP", not_rtp_},
                     {"other payload types", other_types_},
                     {"late packets dropped", late_},
                     {"stray SSRC packets", stray_ + (candidate_ ? 1 : 0)},
                     {"playout delay/ms at end",
                      static_cast<std::uint64_t>(buffer_.delay_seconds() * 1000.0 + 0.5)}};
    return report;
}

}  // namespace g723::rtp
