// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/packet/rtp_packet.h"

#include <algorithm>

#include "rtp/packet/network_order.h"

namespace g723::rtp {

rtp_parse_result parse_rtp_packet(std::span<const std::uint8_t> datagram, rtp_packet& packet) {
    const std::size_t size = datagram.size();
    if (size < rtp_header_bytes) return rtp_parse_result::too_short;
    const std::uint8_t* bytes = datagram.data();
    if ((bytes[0] >> 6) != 2) return rtp_parse_result::not_version_2;
    const bool padded = (bytes[0] & 0x20) != 0;
    const bool extended = (bytes[0] & 0x10) != 0;
    const std::size_t csrc_count = bytes[0] & 0x0f;

    std::size_t header = rtp_header_bytes + 4 * csrc_count;
    if (size < header) return rtp_parse_result::too_short;
    if (extended) {
        // 16-bit profile id, 16-bit length in 32-bit words, then the words.
        if (size < header + 4) return rtp_parse_result::too_short;
        header += 4 + 4 * static_cast<std::size_t>(read_be16(datagram, header + 2));
        if (size < header) return rtp_parse_result::too_short;
    }
    std::size_t end = size;
    if (padded) {
        // The last byte counts the padding, itself included.
        const std::size_t padding = bytes[size - 1];
        if (padding == 0 || padding > size - header) return rtp_parse_result::bad_padding;
        end -= padding;
    }

    packet.marker = (bytes[1] & 0x80) != 0;
    packet.payload_type = bytes[1] & 0x7f;
    packet.sequence = read_be16(datagram, 2);
    packet.timestamp = read_be32(datagram, 4);
    packet.ssrc = read_be32(datagram, 8);
    packet.payload = datagram.subspan(header, end - header);
    packet.bytes = datagram;
    return rtp_parse_result::ok;
}

std::string_view describe(rtp_parse_result result) {
    switch (result) {
        case rtp_parse_result::ok: return "ok";
        case rtp_parse_result::too_short: return "shorter than its RTP header";
        case rtp_parse_result::not_version_2: return "not RTP version 2";
        case rtp_parse_result::bad_padding: return "padding longer than the packet";
    }
    return "unknown";
}

std::size_t write_rtp_packet(const rtp_packet& packet, std::span<std::uint8_t> out) {
    const std::size_t size = rtp_header_bytes + packet.payload.size();
    if (out.size() < size) return 0;
    std::uint8_t* bytes = out.data();
    bytes[0] = 0x80;  // version 2, no padding, no extension, no CSRC
    bytes[1] = static_cast<std::uint8_t>((packet.marker ? 0x80 : 0) | (packet.payload_type & 0x7f));
    write_be16(out, 2, packet.sequence);
    write_be32(out, 4, packet.timestamp);
    write_be32(out, 8, packet.ssrc);
    std::copy(packet.payload.begin(), packet.payload.end(), bytes + rtp_header_bytes);
    return size;
}

}  // namespace g723::rtp
