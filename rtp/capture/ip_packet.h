// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_IP_PACKET_H
#define G723_RTP_CAPTURE_IP_PACKET_H

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "rtp/capture/link_layer.h"

namespace g723::rtp::capture {

// An IPv4 or IPv6 address; IPv4 in the first four bytes.
struct ip_address {
    bool ipv6 = false;
    std::array<std::uint8_t, 16> bytes{};

    // Written out rather than defaulted: some standard libraries (that of
    // emscripten, for the page) have no three-way comparison of arrays.
    std::strong_ordering operator<=>(const ip_address& other) const {
        if (ipv6 != other.ipv6) return ipv6 <=> other.ipv6;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != other.bytes[i]) return bytes[i] <=> other.bytes[i];
        }
        return std::strong_ordering::equal;
    }
    bool operator==(const ip_address&) const = default;
};

// "192.0.2.1", "2001:db8::1".
std::string to_string(const ip_address& address);
// The reverse: an IPv4 or IPv6 address in text, nothing when it is not one.
std::optional<ip_address> parse_ip_address(const std::string& text);

inline constexpr std::uint8_t protocol_udp = 17;

enum class ip_result {
    ok,
    truncated,   // shorter than its headers, or than its stated length
    bad_header,  // wrong version, header length below the minimum
    fragment,    // an IPv4 or IPv6 fragment: not reassembled
};

struct ip_payload {
    ip_address source;
    ip_address destination;
    std::uint8_t protocol = 0;            // after any IPv6 extension headers
    std::span<const std::uint8_t> bytes;  // the transport header on
};

// Reads an IPv4 header (options skipped) or an IPv6 header and its
// extension headers (hop-by-hop, routing, destination options) up to the
// transport protocol. The payload ends where the stated length says, so
// link-layer padding is dropped; a stated length beyond the bytes at hand
// is `truncated`.
ip_result parse_ip_packet(const network_packet& packet, ip_payload& payload);

}  // namespace g723::rtp::capture

#endif
