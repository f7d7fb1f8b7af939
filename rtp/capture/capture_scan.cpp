// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/capture_scan.h"

#include <algorithm>
#include <string_view>

#include "rtp/capture/stream_decryption.h"
#include "rtp/packet/rtcp_packet.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/sdp/session_description.h"
#include "rtp/sdp/sip_message.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

namespace {

constexpr std::uint16_t sip_port = 5060;

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
        const auto address = capture::parse_ip_address(media.address);
        if (formats.empty() || !address || media.port == 0) continue;
        announced_media& announced = scan.announced[endpoint{*address, media.port}];
        announced.call_id = message->call_id;
        announced.payload_types.clear();
        for (const auto& format : formats) {
            announced.payload_types.push_back(format.payload_type);
            if (format.annex_a) announced.annex_a = format.annex_a;
        }
        announced.secure = sdp::secure_transport(media.transport);
        announced.crypto = media.crypto;
    }
    return true;
}

// RTCP (packet types 200 to 206) to or from an endpoint that SDP announced
// as SRTP, on its port (RTCP multiplexed) or the one above: SRTCP, whose
// reports and index are encrypted.
bool is_srtcp(const capture::udp_packet& packet, const capture_scan& scan) {
    const capture::udp_datagram& datagram = packet.datagram;
    if (datagram.payload.size() < 8 || (datagram.payload[0] >> 6) != 2 ||
        datagram.payload[1] < 200 || datagram.payload[1] > 206) {
        return false;
    }
    auto secure = [&](const capture::ip_address& address, std::uint16_t port) {
        for (const std::uint16_t media_port : {port, static_cast<std::uint16_t>(port - 1)}) {
            const auto found = scan.announced.find(endpoint{address, media_port});
            if (found != scan.announced.end() && found->second.secure) return true;
        }
        return false;
    };
    return secure(packet.destination, datagram.destination_port) ||
           secure(packet.source, datagram.source_port);
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
        if (is_srtcp(packet, scan)) {
            ++scan.srtcp_packets;
            continue;
        }
        if (rtp::rtcp_compound compound; rtp::is_rtcp(datagram.payload) &&
                                         rtp::parse_rtcp_compound(datagram.payload, compound) ==
                                             rtp::rtcp_parse_result::ok) {
            ++scan.rtcp_packets;
            if (compound.sender) {
                sender_report_tally& said = scan.sender_reports[{packet.source, compound.ssrc}];
                ++said.reports;
                said.packets = compound.sender->packet_count;
                said.bytes = compound.sender->octet_count;
            }
            continue;
        }
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
                          std::span<const unsigned> forced_types, bool keep_packets,
                          std::span<const given_srtp_key> keys) {
    // Probation (see read_capture_contents): the second of two packets of
    // a type, one right after the other among them, 1 to 16 sequence
    // numbers and up to a minute of timestamps ahead.
    constexpr std::uint16_t most_lost = 15;
    capture_scan scan;
    stream_decryption decryption(scan.announced, keys);
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
                     if (keep_packets) {
                         std::vector<captured_rtp_packet>& kept = scan.streams[key];
                         if (auto packet = decryption.keep(key, seconds, rtp)) kept.push_back(std::move(*packet));
                     }
                     return true;
                 });
    if (keep_packets) {
        for (const auto& [key, tally] : scan.tallies) {
            if (stream_encryption encryption = decryption.encryption(key); encryption.encrypted) {
                scan.encryption[key] = std::move(encryption);
            }
        }
    }
    return scan;
}

}  // namespace g723::rtp
