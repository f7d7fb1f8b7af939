// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_PACKET_RTP_PACKET_H
#define G723_RTP_PACKET_RTP_PACKET_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace g723::rtp {

// The RTP fixed header's fields and the payload they frame.
struct rtp_packet {
    bool marker = false;
    std::uint8_t payload_type = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    // After the CSRC list and any header extension, before any padding.
    std::span<const std::uint8_t> payload;
    // The whole packet as parsed, header to padding (SRTP authenticates it
    // all).
    std::span<const std::uint8_t> bytes;
};

enum class rtp_parse_result {
    ok,
    too_short,       // fewer bytes than the fixed header, CSRCs or extension need
    not_version_2,
    bad_padding,     // padding count of zero or longer than what follows the header
};

inline constexpr std::size_t rtp_header_bytes = 12;
inline constexpr std::uint8_t g723_payload_type = 4;
// RTP clock units per 30 ms frame at 8000 Hz.
inline constexpr std::uint32_t timestamp_units_per_frame = 240;

// Parses a datagram as RTP. On anything but `ok`, `packet` is unchanged.
// The payload refers into `datagram`.
rtp_parse_result parse_rtp_packet(std::span<const std::uint8_t> datagram, rtp_packet& packet);

std::string_view describe(rtp_parse_result result);

// Writes a version-2 fixed header without CSRCs, extension or padding,
// then the payload. Returns the bytes written, 0 when `out` is too small.
std::size_t write_rtp_packet(const rtp_packet& packet, std::span<std::uint8_t> out);

}  // namespace g723::rtp

#endif
