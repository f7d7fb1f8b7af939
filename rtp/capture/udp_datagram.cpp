// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/udp_datagram.h"

#include "rtp/packet/network_order.h"

namespace g723::rtp::capture {

udp_result parse_udp_datagram(std::span<const std::uint8_t> bytes, udp_datagram& datagram) {
    if (bytes.size() < 8) return udp_result::truncated;
    const std::size_t length = read_be16(bytes, 4);
    if (length < 8) return udp_result::bad_length;
    if (length > bytes.size()) return udp_result::truncated;
    datagram.source_port = read_be16(bytes, 0);
    datagram.destination_port = read_be16(bytes, 2);
    datagram.payload = bytes.subspan(8, length - 8);
    return udp_result::ok;
}

}  // namespace g723::rtp::capture
