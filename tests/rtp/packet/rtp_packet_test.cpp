// SPDX-License-Identifier: BSD-2-Clause
// RTP packets read and written: the fixed header's fields, the CSRC list,
// the header extension and the padding cut from the payload, and packets
// whose header runs past their end. Each datagram lives in a buffer of its
// exact size, so that the sanitized suite sees any read beyond it.
#include "rtp/packet/rtp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace g723::rtp {
namespace {

using bytes = std::vector<std::uint8_t>;

rtp_parse_result parse(const bytes& datagram, rtp_packet& packet) {
    return parse_rtp_packet(datagram, packet);
}

TEST(rtp_packet, ReadsHeaderCsrcsExtensionAndPaddingAroundThePayload) {
    // Version 2, padding, extension, two CSRCs; marker, payload type 4.
    bytes datagram = {0xb2, 0x84, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0xde, 0xad, 0xbe, 0xef};
    for (int csrc = 0; csrc < 8; ++csrc) datagram.push_back(static_cast<std::uint8_t>(0xc0 + csrc));
    // Extension: profile 0xbede, one 32-bit word.
    for (std::uint8_t b : {0xbe, 0xde, 0x00, 0x01, 0x10, 0x20, 0x30, 0x40}) datagram.push_back(b);
    for (std::uint8_t b : {'p', 'a', 'y'}) datagram.push_back(b);
    for (std::uint8_t b : {0, 0, 3}) datagram.push_back(b);  // three bytes of padding
    rtp_packet packet;
    ASSERT_EQ(parse(datagram, packet), rtp_parse_result::ok);
    EXPECT_TRUE(packet.marker);
    EXPECT_EQ(packet.payload_type, 4u);
    EXPECT_EQ(packet.sequence, 0x1234u);
    EXPECT_EQ(packet.timestamp, 0x01020304u);
    EXPECT_EQ(packet.ssrc, 0xdeadbeefu);
    EXPECT_EQ(bytes(packet.payload.begin(), packet.payload.end()), (bytes{'p', 'a', 'y'}));

    // Written back: the fixed header only, with the same fields.
    bytes out(rtp_header_bytes + 3);
    ASSERT_EQ(write_rtp_packet(packet, out), out.size());
    EXPECT_EQ(out, (bytes{0x80, 0x84, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0xde, 0xad, 0xbe, 0xef, 'p', 'a', 'y'}));
    bytes small(out.size() - 1);
    EXPECT_EQ(write_rtp_packet(packet, small), 0u);
    packet.marker = false;
    packet.payload_type = 0xff;  // only seven bits fit
    ASSERT_EQ(write_rtp_packet(packet, out), out.size());
    EXPECT_EQ(out[1], 0x7f);
}

TEST(rtp_packet, RefusesHeadersThatRunPastTheDatagram) {
    rtp_packet packet;
    const bytes fixed = {0x80, 0x04, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(parse(fixed, packet), rtp_parse_result::ok);
    EXPECT_TRUE(packet.payload.empty());
    EXPECT_FALSE(packet.marker);
    EXPECT_EQ(packet.payload_type, 4u);
    EXPECT_EQ(parse(bytes(fixed.begin(), fixed.end() - 1), packet), rtp_parse_result::too_short);
    EXPECT_EQ(parse(bytes{}, packet), rtp_parse_result::too_short);

    bytes other_version = fixed;
    for (std::uint8_t version : {0x00, 0x40, 0xc0}) {
        other_version[0] = version;
        EXPECT_EQ(parse(other_version, packet), rtp_parse_result::not_version_2) << int(version);
    }

    // Fifteen CSRCs announced, fewer there.
    bytes csrcs = fixed;
    csrcs[0] = 0x8f;
    csrcs.resize(rtp_header_bytes + 4 * 15 - 1);
    EXPECT_EQ(parse(csrcs, packet), rtp_parse_result::too_short);
    csrcs.push_back(0);
    EXPECT_EQ(parse(csrcs, packet), rtp_parse_result::ok);

    // An extension whose own four-byte header is cut short: its length
    // field must not be read.
    for (std::size_t size = rtp_header_bytes; size < rtp_header_bytes + 4; ++size) {
        bytes cut = fixed;
        cut[0] = 0x90;
        cut.resize(size, 0);
        EXPECT_EQ(parse(cut, packet), rtp_parse_result::too_short) << size;
    }
    // An extension of two words, present up to its last byte or not.
    bytes extended = fixed;
    extended[0] = 0x90;
    for (std::uint8_t b : {0x10, 0x00, 0x00, 0x02}) extended.push_back(b);
    extended.resize(extended.size() + 7, 0);
    EXPECT_EQ(parse(extended, packet), rtp_parse_result::too_short);
    extended.push_back(0);
    EXPECT_EQ(parse(extended, packet), rtp_parse_result::ok);
    EXPECT_TRUE(packet.payload.empty());
}

TEST(rtp_packet, PaddingMustFitBetweenHeaderAndEnd) {
    rtp_packet packet;
    bytes padded = {0xa0, 0x04, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 'x', 'y', 0, 3};
    ASSERT_EQ(parse(padded, packet), rtp_parse_result::ok);
    EXPECT_EQ(bytes(packet.payload.begin(), packet.payload.end()), (bytes{'x'}));
    padded.back() = 4;  // all of the payload
    ASSERT_EQ(parse(padded, packet), rtp_parse_result::ok);
    EXPECT_TRUE(packet.payload.empty());
    padded.back() = 5;  // into the header
    EXPECT_EQ(parse(padded, packet), rtp_parse_result::bad_padding);
    padded.back() = 0;  // a count that does not count itself
    EXPECT_EQ(parse(padded, packet), rtp_parse_result::bad_padding);

    for (const auto result : {rtp_parse_result::ok, rtp_parse_result::too_short, rtp_parse_result::not_version_2,
                              rtp_parse_result::bad_padding}) {
        EXPECT_FALSE(describe(result).empty());
    }
    EXPECT_EQ(describe(rtp_parse_result::bad_padding), "padding longer than the packet");
}

}  // namespace
}  // namespace g723::rtp
