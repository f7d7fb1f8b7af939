// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/link_layer.h"

#include "rtp/packet/network_order.h"

namespace g723::rtp::capture {

namespace {

constexpr std::uint16_t ethertype_ipv4 = 0x0800;
constexpr std::uint16_t ethertype_ipv6 = 0x86dd;
constexpr std::uint16_t ethertype_vlan = 0x8100;
constexpr std::uint16_t ethertype_qinq = 0x88a8;

link_result by_ethertype(std::uint16_t type, std::span<const std::uint8_t> rest,
                         network_packet& packet) {
    if (type == ethertype_ipv4) {
        packet = {network_protocol::ipv4, rest};
    } else if (type == ethertype_ipv6) {
        packet = {network_protocol::ipv6, rest};
    } else {
        return link_result::not_ip;
    }
    return link_result::ok;
}

// Raw IP and loopback: the version nibble tells IPv4 from IPv6.
link_result by_version(std::span<const std::uint8_t> rest, network_packet& packet) {
    if (rest.empty()) return link_result::truncated;
    switch (rest[0] >> 4) {
        case 4: packet = {network_protocol::ipv4, rest}; return link_result::ok;
        case 6: packet = {network_protocol::ipv6, rest}; return link_result::ok;
        default: return link_result::not_ip;
    }
}

}  // namespace

bool is_supported_link_type(int type) {
    switch (type) {
        case link_type::bsd_loopback:
        case link_type::ethernet:
        case link_type::raw_ip_dlt12:
        case link_type::raw_ip_dlt14:
        case link_type::raw_ip:
        case link_type::openbsd_loopback:
        case link_type::linux_cooked:
        case link_type::ipv4:
        case link_type::ipv6:
        case link_type::linux_cooked_v2: return true;
        default: return false;
    }
}

link_result strip_link_layer(int type, std::span<const std::uint8_t> frame,
                             network_packet& packet) {
    switch (type) {
        case link_type::ethernet: {
            // Destination and source addresses, then the type, after any tags.
            std::size_t at = 12;
            while (true) {
                if (frame.size() < at + 2) return link_result::truncated;
                const std::uint16_t ethertype = read_be16(frame, at);
                if (ethertype != ethertype_vlan && ethertype != ethertype_qinq) {
                    return by_ethertype(ethertype, frame.subspan(at + 2), packet);
                }
                at += 4;
            }
        }
        case link_type::linux_cooked:
            if (frame.size() < 16) return link_result::truncated;
            return by_ethertype(read_be16(frame, 14), frame.subspan(16), packet);
        case link_type::linux_cooked_v2:
            if (frame.size() < 20) return link_result::truncated;
            return by_ethertype(read_be16(frame, 0), frame.subspan(20), packet);
        case link_type::raw_ip_dlt12:
        case link_type::raw_ip_dlt14:
        case link_type::raw_ip:
        case link_type::ipv4:
        case link_type::ipv6: return by_version(frame, packet);
        case link_type::bsd_loopback:
        case link_type::openbsd_loopback:
            // The address family's value and byte order differ between
            // systems; the IP version that follows does not.
            if (frame.size() < 4) return link_result::truncated;
            return by_version(frame.subspan(4), packet);
        default: return link_result::unsupported_link_type;
    }
}

}  // namespace g723::rtp::capture
