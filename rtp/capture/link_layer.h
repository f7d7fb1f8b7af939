// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_LINK_LAYER_H
#define G723_RTP_CAPTURE_LINK_LAYER_H

#include <cstdint>
#include <span>

namespace g723::rtp::capture {

// Link-layer header types as libpcap reports them (pcap_datalink).
namespace link_type {
inline constexpr int bsd_loopback = 0;        // 4-byte address family, host order
inline constexpr int ethernet = 1;            // also Linux loopback ("lo")
inline constexpr int raw_ip_dlt12 = 12;       // raw IP on most systems
inline constexpr int raw_ip_dlt14 = 14;       // raw IP on some BSDs
inline constexpr int raw_ip = 101;            // the file format's raw IP
inline constexpr int openbsd_loopback = 108;  // 4-byte address family, network order
inline constexpr int linux_cooked = 113;      // 16-byte header
inline constexpr int ipv4 = 228;
inline constexpr int ipv6 = 229;
inline constexpr int linux_cooked_v2 = 276;  // 20-byte header
}  // namespace link_type

bool is_supported_link_type(int type);

enum class network_protocol { ipv4, ipv6 };

enum class link_result {
    ok,
    unsupported_link_type,
    truncated,  // shorter than the link header (with its VLAN tags)
    not_ip,     // a link-layer protocol other than IPv4 or IPv6
};

struct network_packet {
    network_protocol protocol = network_protocol::ipv4;
    std::span<const std::uint8_t> bytes;  // from the IP header on
};

// Strips the link-layer header of one captured frame: Ethernet with any
// number of 802.1Q / 802.1ad tags, Linux cooked capture v1 and v2, raw IP,
// BSD loopback. What follows must be IPv4 or IPv6.
link_result strip_link_layer(int type, std::span<const std::uint8_t> frame, network_packet& packet);

}  // namespace g723::rtp::capture

#endif
