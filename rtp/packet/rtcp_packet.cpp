// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/packet/rtcp_packet.h"

#include <algorithm>
#include <chrono>

#include "rtp/packet/network_order.h"

namespace g723::rtp {

namespace {

constexpr std::size_t header_bytes = 4;
constexpr std::size_t sender_info_bytes = 20;
constexpr std::size_t block_bytes = 24;
constexpr std::uint8_t cname_item = 1;

report_block read_block(std::span<const std::uint8_t> bytes, std::size_t at) {
    report_block block;
    block.ssrc = read_be32(bytes, at);
    block.fraction_lost = bytes[at + 4];
    // 24-bit two's complement.
    const std::uint32_t lost = read_be32(bytes, at + 4) & 0xffffff;
    block.cumulative_lost = static_cast<std::int32_t>(lost << 8) >> 8;
    block.highest_sequence = read_be32(bytes, at + 8);
    block.jitter = read_be32(bytes, at + 12);
    block.last_sr = read_be32(bytes, at + 16);
    block.delay_since_last_sr = read_be32(bytes, at + 20);
    return block;
}

// Reads a report (SR or RR) body of `count` blocks; false if it overruns.
bool read_report(std::span<const std::uint8_t> body, std::uint8_t type, std::size_t count,
                 rtcp_compound& compound, bool first) {
    const std::size_t fixed = 4 + (type == rtcp_sender_report ? sender_info_bytes : 0);
    if (body.size() < fixed + count * block_bytes) return false;
    const std::uint32_t ssrc = read_be32(body, 0);
    if (first) compound.ssrc = ssrc;
    if (type == rtcp_sender_report && first) {
        sender_info info;
        info.ntp_timestamp = static_cast<std::uint64_t>(read_be32(body, 4)) << 32 | read_be32(body, 8);
        info.rtp_timestamp = read_be32(body, 12);
        info.packet_count = read_be32(body, 16);
        info.octet_count = read_be32(body, 20);
        compound.sender = info;
    }
    if (first) {
        for (std::size_t i = 0; i < count; ++i) compound.blocks.push_back(read_block(body, fixed + i * block_bytes));
    }
    return true;
}

// Reads the SDES chunks; false if one overruns its packet.
bool read_description(std::span<const std::uint8_t> body, std::size_t count, rtcp_compound& compound) {
    std::size_t at = 0;
    for (std::size_t chunk = 0; chunk < count; ++chunk) {
        if (body.size() < at + 4) return false;
        const std::uint32_t ssrc = read_be32(body, at);
        at += 4;
        for (;;) {
            if (at >= body.size()) return false;
            const std::uint8_t type = body[at];
            if (type == 0) break;
            if (body.size() < at + 2 || body.size() < at + 2 + body[at + 1]) return false;
            const std::size_t length = body[at + 1];
            if (type == cname_item && ssrc == compound.ssrc) {
                compound.cname.assign(reinterpret_cast<const char*>(body.data() + at + 2), length);
            }
            at += 2 + length;
        }
        // The end item, then zeros to the next 32-bit boundary.
        at = (at + 4) & ~std::size_t{3};
        if (at > body.size()) return false;
    }
    return true;
}

}  // namespace

bool is_rtcp(std::span<const std::uint8_t> datagram) {
    return datagram.size() >= header_bytes && (datagram[0] >> 6) == 2 && datagram[1] >= 192 &&
           datagram[1] <= 223;
}

rtcp_parse_result parse_rtcp_compound(std::span<const std::uint8_t> datagram, rtcp_compound& compound) {
    if (datagram.size() < header_bytes) return rtcp_parse_result::too_short;
    rtcp_compound read;
    std::size_t at = 0;
    bool first = true;
    while (at < datagram.size()) {
        if (datagram.size() - at < header_bytes) return rtcp_parse_result::too_short;
        const std::uint8_t flags = datagram[at];
        const std::uint8_t type = datagram[at + 1];
        const std::size_t bytes = (static_cast<std::size_t>(read_be16(datagram, at + 2)) + 1) * 4;
        if ((flags >> 6) != 2) return rtcp_parse_result::not_version_2;
        if (first && type != rtcp_sender_report && type != rtcp_receiver_report) {
            return rtcp_parse_result::not_a_report;
        }
        if (datagram.size() - at < bytes) return rtcp_parse_result::too_short;
        std::size_t content = bytes;
        if ((flags & 0x20) != 0) {
            // Only the last packet of a compound may be padded.
            if (at + bytes != datagram.size()) return rtcp_parse_result::bad_padding;
            const std::uint8_t padding = datagram[at + bytes - 1];
            if (padding == 0 || padding > bytes - header_bytes) return rtcp_parse_result::bad_padding;
            content -= padding;
        }
        const auto body = datagram.subspan(at + header_bytes, content - header_bytes);
        const std::size_t count = flags & 0x1f;
        bool fits = true;
        switch (type) {
        case rtcp_sender_report:
        case rtcp_receiver_report:
            fits = read_report(body, type, count, read, first);
            break;
        case rtcp_source_description:
            fits = read_description(body, count, read);
            break;
        case rtcp_goodbye:
            fits = body.size() >= count * 4;
            for (std::size_t i = 0; fits && i < count; ++i) read.bye.push_back(read_be32(body, i * 4));
            break;
        default:
            break;
        }
        if (!fits) return rtcp_parse_result::bad_length;
        at += bytes;
        first = false;
    }
    compound = std::move(read);
    return rtcp_parse_result::ok;
}

std::string_view describe(rtcp_parse_result result) {
    switch (result) {
    case rtcp_parse_result::ok: return "a valid RTCP compound packet";
    case rtcp_parse_result::too_short: return "shorter than its headers say";
    case rtcp_parse_result::not_version_2: return "not version 2";
    case rtcp_parse_result::not_a_report: return "not starting with a sender or receiver report";
    case rtcp_parse_result::bad_length: return "lengths that do not hold their contents";
    case rtcp_parse_result::bad_padding: return "bad padding";
    }
    return "?";
}

std::vector<std::uint8_t> write_rtcp_compound(const rtcp_compound& compound) {
    std::vector<std::uint8_t> out;
    auto header = [&](std::uint8_t count, std::uint8_t type, std::size_t bytes) {
        const std::size_t at = out.size();
        out.resize(at + bytes, 0);
        out[at] = static_cast<std::uint8_t>(0x80 | count);
        out[at + 1] = type;
        write_be16(out, at + 2, static_cast<std::uint16_t>(bytes / 4 - 1));
        return at;
    };
    const std::size_t blocks = std::min<std::size_t>(compound.blocks.size(), 31);
    const bool sends = compound.sender.has_value();
    std::size_t at = header(static_cast<std::uint8_t>(blocks), sends ? rtcp_sender_report : rtcp_receiver_report,
                            8 + (sends ? sender_info_bytes : 0) + blocks * block_bytes);
    write_be32(out, at + 4, compound.ssrc);
    std::size_t next = at + 8;
    if (sends) {
        const sender_info& info = *compound.sender;
        write_be32(out, next, static_cast<std::uint32_t>(info.ntp_timestamp >> 32));
        write_be32(out, next + 4, static_cast<std::uint32_t>(info.ntp_timestamp));
        write_be32(out, next + 8, info.rtp_timestamp);
        write_be32(out, next + 12, info.packet_count);
        write_be32(out, next + 16, info.octet_count);
        next += sender_info_bytes;
    }
    for (std::size_t i = 0; i < blocks; ++i, next += block_bytes) {
        const report_block& block = compound.blocks[i];
        write_be32(out, next, block.ssrc);
        const auto lost = std::clamp<std::int32_t>(block.cumulative_lost, -0x800000, 0x7fffff);
        write_be32(out, next + 4, static_cast<std::uint32_t>(block.fraction_lost) << 24 |
                                      (static_cast<std::uint32_t>(lost) & 0xffffff));
        write_be32(out, next + 8, block.highest_sequence);
        write_be32(out, next + 12, block.jitter);
        write_be32(out, next + 16, block.last_sr);
        write_be32(out, next + 20, block.delay_since_last_sr);
    }
    // SDES: one chunk, the CNAME item, the end item and zeros to a word.
    const std::size_t cname = std::min<std::size_t>(compound.cname.size(), 255);
    const std::size_t chunk = (4 + 2 + cname + 1 + 3) & ~std::size_t{3};
    at = header(1, rtcp_source_description, header_bytes + chunk);
    write_be32(out, at + 4, compound.ssrc);
    out[at + 8] = cname_item;
    out[at + 9] = static_cast<std::uint8_t>(cname);
    std::copy_n(compound.cname.begin(), cname, out.begin() + static_cast<std::ptrdiff_t>(at + 10));
    if (!compound.bye.empty()) {
        at = header(1, rtcp_goodbye, 8);
        write_be32(out, at + 4, compound.ssrc);
    }
    return out;
}

std::uint64_t ntp_time_now() {
    const auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
    return ntp_time(std::chrono::duration_cast<std::chrono::nanoseconds>(since_1970).count());
}

std::uint64_t ntp_time(std::int64_t nanoseconds) {
    constexpr std::uint64_t seconds_1900_to_1970 = 2208988800ULL;
    const auto seconds = static_cast<std::uint64_t>(nanoseconds / 1'000'000'000) + seconds_1900_to_1970;
    const auto fraction = (static_cast<std::uint64_t>(nanoseconds % 1'000'000'000) << 32) / 1'000'000'000;
    return seconds << 32 | fraction;
}

}  // namespace g723::rtp
