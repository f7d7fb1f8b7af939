// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/ip_packet.h"

#include "rtp/packet/network_order.h"

#include <arpa/inet.h>

#include <algorithm>

namespace g723::rtp::capture {

namespace {

constexpr std::uint8_t ipv6_hop_by_hop = 0;
constexpr std::uint8_t ipv6_routing = 43;
constexpr std::uint8_t ipv6_fragment = 44;
constexpr std::uint8_t ipv6_destination_options = 60;

ip_result parse_ipv4(std::span<const std::uint8_t> bytes, ip_payload& payload) {
    if (bytes.size() < 20) return ip_result::truncated;
    if ((bytes[0] >> 4) != 4) return ip_result::bad_header;
    const std::size_t header = 4 * static_cast<std::size_t>(bytes[0] & 0x0f);
    const std::size_t total = read_be16(bytes, 2);
    if (header < 20 || total < header) return ip_result::bad_header;
    if (total > bytes.size()) return ip_result::truncated;
    // More fragments, or a nonzero fragment offset.
    if ((read_be16(bytes, 6) & 0x3fff) != 0) return ip_result::fragment;
    payload.source = {};
    payload.destination = {};
    std::copy_n(bytes.begin() + 12, 4, payload.source.bytes.begin());
    std::copy_n(bytes.begin() + 16, 4, payload.destination.bytes.begin());
    payload.protocol = bytes[9];
    payload.bytes = bytes.subspan(header, total - header);
    return ip_result::ok;
}

ip_result parse_ipv6(std::span<const std::uint8_t> bytes, ip_payload& payload) {
    if (bytes.size() < 40) return ip_result::truncated;
    if ((bytes[0] >> 4) != 6) return ip_result::bad_header;
    const std::size_t length = read_be16(bytes, 4);
    if (40 + length > bytes.size()) return ip_result::truncated;
    payload.source = {true, {}};
    payload.destination = {true, {}};
    std::copy_n(bytes.begin() + 8, 16, payload.source.bytes.begin());
    std::copy_n(bytes.begin() + 24, 16, payload.destination.bytes.begin());

    std::uint8_t next = bytes[6];
    std::span<const std::uint8_t> rest = bytes.subspan(40, length);
    // Each extension header is at least 8 bytes, so the walk ends.
    while (next == ipv6_hop_by_hop || next == ipv6_routing || next == ipv6_destination_options ||
           next == ipv6_fragment) {
        if (rest.size() < 8) return ip_result::truncated;
        if (next == ipv6_fragment) return ip_result::fragment;
        const std::size_t extension = 8 * (static_cast<std::size_t>(rest[1]) + 1);
        if (extension > rest.size()) return ip_result::truncated;
        next = rest[0];
        rest = rest.subspan(extension);
    }
    payload.protocol = next;
    payload.bytes = rest;
    return ip_result::ok;
}

}  // namespace

std::optional<ip_address> parse_ip_address(const std::string& text) {
    ip_address address;
    if (inet_pton(AF_INET, text.c_str(), address.bytes.data()) == 1) return address;
    address.ipv6 = true;
    if (inet_pton(AF_INET6, text.c_str(), address.bytes.data()) == 1) return address;
    return std::nullopt;
}

std::string to_string(const ip_address& address) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(address.ipv6 ? AF_INET6 : AF_INET, address.bytes.data(), text, sizeof text);
    return text;
}

ip_result parse_ip_packet(const network_packet& packet, ip_payload& payload) {
    return packet.protocol == network_protocol::ipv4 ? parse_ipv4(packet.bytes, payload)
                                                     : parse_ipv6(packet.bytes, payload);
}

}  // namespace g723::rtp::capture
