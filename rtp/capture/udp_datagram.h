// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_UDP_DATAGRAM_H
#define G723_RTP_CAPTURE_UDP_DATAGRAM_H

#include <cstdint>
#include <span>

#include "rtp/capture/ip_packet.h"

namespace g723::rtp::capture {

enum class udp_result {
    ok,
    truncated,   // shorter than the header or the length it states
    bad_length,  // a stated length below the header's own 8 bytes
};

struct udp_datagram {
    std::uint16_t source_port = 0;
    std::uint16_t destination_port = 0;
    std::span<const std::uint8_t> payload;  // as long as the header states
};

// Reads the UDP header of an IP payload; the checksum is not verified
// (captures on the sending host often hold checksums left to the card).
udp_result parse_udp_datagram(std::span<const std::uint8_t> bytes, udp_datagram& datagram);

}  // namespace g723::rtp::capture

#endif
