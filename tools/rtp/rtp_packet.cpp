#include "rtp/rtp_packet.h"

#include <algorithm>

namespace g723::tool::rtp {

namespace {

std::uint16_t read_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t read_u32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

void write_u16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

void write_u32(std::uint8_t* p, std::uint32_t v) {
    write_u16(p, static_cast<std::uint16_t>(v >> 16));
    write_u16(p + 2, static_cast<std::uint16_t>(v));
}

}  // namespace

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
        header += 4 + 4 * static_cast<std::size_t>(read_u16(bytes + header + 2));
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
    packet.sequence = read_u16(bytes + 2);
    packet.timestamp = read_u32(bytes + 4);
    packet.ssrc = read_u32(bytes + 8);
    packet.payload = datagram.subspan(header, end - header);
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
    write_u16(bytes + 2, packet.sequence);
    write_u32(bytes + 4, packet.timestamp);
    write_u32(bytes + 8, packet.ssrc);
    std::copy(packet.payload.begin(), packet.payload.end(), bytes + rtp_header_bytes);
    return size;
}

}  // namespace g723::tool::rtp
