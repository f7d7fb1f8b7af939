// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/capture_scan.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string_view>

#include "rtp/packet/rtp_packet.h"
#include "rtp/sdp/session_description.h"
#include "rtp/sdp/sip_message.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

namespace {

constexpr std::uint16_t sip_port = 5060;

std::optional<capture::ip_address> parse_address(const std::string& text) {
    capture::ip_address address;
    if (inet_pton(AF_INET, text.c_str(), address.bytes.data()) == 1) return address;
    address.ipv6 = true;
    if (inet_pton(AF_INET6, text.c_str(), address.bytes.data()) == 1) return address;
    return std::nullopt;
}

// SIP starts with a method or "SIP/2.0"; RTP version 2 starts with a byte
// of 0x80 or above.
bool may_be_sip(const capture::udp_datagram& datagram) {
    if (datagram.source_port == sip_port || datagram.destination_port == sip_port) return true;
    return !datagram.payload.empty() && datagram.payload[0] >= 'A' && datagram.payload[0] <= 'Z';
}

bool read_sip(const capture::udp_datagram& datagram, capture_scan& scan) {
    const std::string_view text(reinterpret_cast<const char*>(datagram.payload.data()),
                                datagram.payload.size());
    const auto message = sdp::parse_sip_message(text);
    if (!message) return false;
    ++scan.sip_messages;
    if (message->content_type != "application/sdp") return true;
    for (const auto& media : sdp::parse_session_description(message->body).media) {
        const auto formats = sdp::g723_formats(media);
        const auto address = parse_address(media.address);
        if (formats.empty() || !address || media.port == 0) continue;
        announced_media& announced = scan.announced[endpoint{*address, media.port}];
        announced.call_id = message->call_id;
        announced.payload_types.clear();
        for (const auto& format : formats) {
            announced.payload_types.push_back(format.payload_type);
            if (format.annex_a) announced.annex_a = format.annex_a;
        }
    }
    return true;
}

}  // namespace

captured_rtp_packet captured(double seconds, const rtp::rtp_packet& packet) {
    return {seconds, packet.marker, packet.payload_type, packet.sequence, packet.timestamp,
            std::vector<std::uint8_t>(packet.payload.begin(), packet.payload.end())};
}

std::string to_string(const endpoint& point) {
    const std::string address = capture::to_string(point.address);
    return (point.address.ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(point.port);
}

void scan_records(capture::capture_reader& reader, std::span<const unsigned> forced_types,
                  capture_scan& scan, const rtp_packet_visitor& visit) {
    capture::capture_record record;
    while (reader.next(record)) {
        ++scan.records;
        capture::udp_packet packet;
        const capture::packet_verdict verdict =
            capture::decode_packet(reader.link_type(), record.bytes, packet);
        ++scan.verdicts[static_cast<std::size_t>(verdict)];
        if (verdict != capture::packet_verdict::udp) continue;

        const capture::udp_datagram& datagram = packet.datagram;
        if (may_be_sip(datagram) && read_sip(datagram, scan)) continue;
        rtp::rtp_packet rtp;
        if (rtp::parse_rtp_packet(datagram.payload, rtp) != rtp::rtp_parse_result::ok) {
            ++scan.not_rtp;
            continue;
        }
        const unsigned type = rtp.payload_type;
        if (type != rtp::g723_payload_type && std::count(forced_types.begin(), forced_types.end(), type) == 0 && (type < 96 || type > 127)) {
            ++scan.other_payload_types;
            continue;
        }
        const stream_key key{{packet.source, datagram.source_port},
                             {packet.destination, datagram.destination_port},
                             rtp.ssrc};
        if (!visit(key, scan.records, record.seconds, rtp)) break;
    }
    scan.damage = reader.error();
}

capture_scan scan_capture(capture::capture_reader& reader,
                          std::span<const unsigned> forced_types, bool keep_packets) {
    // Probation (see read_capture_contents): the second of two packets of
    // a type, one right after the other among them, 1 to 16 sequence
    // numbers and up to a minute of timestamps ahead.
    constexpr std::uint16_t most_lost = 15;
    capture_scan scan;
    scan_records(reader, forced_types, scan,
                 [&](const stream_key& key, std::uint64_t record, double seconds,
                     const rtp::rtp_packet& rtp) {
                     stream_tally& tally = scan.tallies[key];
                     if (tally.packets++ == 0) tally.first_arrival = seconds;
                     tally.last_record = record;
                     auto type = std::find_if(tally.types.begin(), tally.types.end(), [&](const auto& t) {
                         return t.payload_type == rtp.payload_type;
                     });
                     if (type == tally.types.end()) {
                         type = tally.types.insert(type, {rtp.payload_type});
                     } else {
                         const auto step = static_cast<std::uint16_t>(rtp.sequence - type->last_sequence);
                         const auto advance = static_cast<std::int32_t>(rtp.timestamp - type->last_timestamp);
                         if (step >= 1 && step <= most_lost + 1 && advance > 0 &&
                             advance <= static_cast<std::int32_t>(stream_timeline::max_gap_units)) {
                             type->followed_on = true;
                         }
                     }
                     ++type->packets;
                     type->last_sequence = rtp.sequence;
                     type->last_timestamp = rtp.timestamp;
                     if (keep_packets) scan.streams[key].push_back(captured(seconds, rtp));
                     return true;
                 });
    return scan;
}

}  // namespace g723::rtp
