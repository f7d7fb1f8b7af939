// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/packet_decoding.h"

#include "rtp/capture/link_layer.h"

namespace g723::rtp::capture {

std::string_view describe(packet_verdict verdict) {
    switch (verdict) {
        case packet_verdict::udp: return "UDP";
        case packet_verdict::unsupported_link_type: return "unsupported link type";
        case packet_verdict::truncated: return "truncated";
        case packet_verdict::malformed: return "malformed header";
        case packet_verdict::not_ip: return "not IP";
        case packet_verdict::fragment: return "IP fragment";
        case packet_verdict::not_udp: return "not UDP";
    }
    return "unknown";
}

packet_verdict decode_packet(int type, std::span<const std::uint8_t> frame, udp_packet& packet) {
    network_packet network;
    switch (strip_link_layer(type, frame, network)) {
        case link_result::ok: break;
        case link_result::unsupported_link_type: return packet_verdict::unsupported_link_type;
        case link_result::truncated: return packet_verdict::truncated;
        case link_result::not_ip: return packet_verdict::not_ip;
    }
    ip_payload ip;
    switch (parse_ip_packet(network, ip)) {
        case ip_result::ok: break;
        case ip_result::truncated: return packet_verdict::truncated;
        case ip_result::bad_header: return packet_verdict::malformed;
        case ip_result::fragment: return packet_verdict::fragment;
    }
    if (ip.protocol != protocol_udp) return packet_verdict::not_udp;
    switch (parse_udp_datagram(ip.bytes, packet.datagram)) {
        case udp_result::ok: break;
        case udp_result::truncated: return packet_verdict::truncated;
        case udp_result::bad_length: return packet_verdict::malformed;
    }
    packet.source = ip.source;
    packet.destination = ip.destination;
    return packet_verdict::udp;
}

}  // namespace g723::rtp::capture
