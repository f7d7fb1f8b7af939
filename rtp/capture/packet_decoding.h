// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_PACKET_DECODING_H
#define G723_RTP_CAPTURE_PACKET_DECODING_H

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "rtp/capture/ip_packet.h"
#include "rtp/capture/udp_datagram.h"

namespace g723::rtp::capture {

// Why a captured frame holds no UDP datagram, or `udp` when it does.
enum class packet_verdict {
    udp,
    unsupported_link_type,
    truncated,  // shorter than a header or a stated length
    malformed,  // a header that cannot be right
    not_ip,
    fragment,  // IPv4 or IPv6 fragments are not reassembled
    not_udp,
};
inline constexpr std::size_t packet_verdict_count = 7;

// "not UDP", "IP fragment"... for reports.
std::string_view describe(packet_verdict verdict);

struct udp_packet {
    ip_address source;
    ip_address destination;
    udp_datagram datagram;  // refers into the frame's bytes
};

// Decodes one captured frame of link type `type` down to its UDP datagram:
// a pure function of the bytes, safe on any input.
packet_verdict decode_packet(int type, std::span<const std::uint8_t> frame, udp_packet& packet);

}  // namespace g723::rtp::capture

#endif
