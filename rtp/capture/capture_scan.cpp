// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/capture_scan.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string_view>

#include "rtp/packet/rtp_packet.h"
#include "rtp/sdp/session_description.h"
#include "rtp/sdp/sip_message.h"

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

std::string to_string(const endpoint& point) {
    const std::string address = capture::to_string(point.address);
    return (point.address.ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(point.port);
}

capture_scan scan_capture(capture::capture_reader& reader,
                          std::span<const unsigned> forced_types) {
    capture_scan scan;
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
        scan.streams[key].push_back(
            {record.seconds, rtp.marker, rtp.payload_type, rtp.sequence, rtp.timestamp,
             std::vector<std::uint8_t>(rtp.payload.begin(), rtp.payload.end())});
    }
    scan.damage = reader.error();
    return scan;
}

}  // namespace g723::rtp
