// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_PACKET_NETWORK_ORDER_H
#define G723_RTP_PACKET_NETWORK_ORDER_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace g723::rtp {

// Big-endian fields of packet headers (link, IP, UDP, RTP). The caller has
// checked that the bytes are there.
inline std::uint16_t read_be16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

inline std::uint32_t read_be32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (static_cast<std::uint32_t>(read_be16(bytes, at)) << 16) | read_be16(bytes, at + 2);
}

inline void write_be16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

inline void write_be32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    write_be16(bytes, at, static_cast<std::uint16_t>(value >> 16));
    write_be16(bytes, at + 2, static_cast<std::uint16_t>(value));
}

}  // namespace g723::rtp

#endif
