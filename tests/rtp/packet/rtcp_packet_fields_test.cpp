// SPDX-License-Identifier: BSD-2-Clause
// RTCP field by field: every field of a report written comes back with its
// own value (not a neighbour's), SDES chunks and BYE lists are read to their
// exact end and no further, and the NTP time of now is the system clock's.
#include "rtp/packet/rtcp_packet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace g723::rtp {
namespace {

// Every byte of every field differs from its neighbours', so a field written
// or read a byte off comes back changed.
report_block distinct_block(std::uint32_t seed) {
    report_block block;
    block.ssrc = 0x01020304u * seed;
    block.fraction_lost = static_cast<std::uint8_t>(0x10 + seed);
    block.cumulative_lost = static_cast<std::int32_t>(0x050607 * seed);
    block.highest_sequence = 0x08090a0bu + seed;
    block.jitter = 0x0c0d0e0fu + seed;
    block.last_sr = 0x11121314u + seed;
    block.delay_since_last_sr = 0x15161718u + seed;
    return block;
}

void expect_same(const report_block& read, const report_block& sent, int index) {
    EXPECT_EQ(read.ssrc, sent.ssrc) << "block " << index;
    EXPECT_EQ(read.fraction_lost, sent.fraction_lost) << "block " << index;
    EXPECT_EQ(read.cumulative_lost, sent.cumulative_lost) << "block " << index;
    EXPECT_EQ(read.highest_sequence, sent.highest_sequence) << "block " << index;
    EXPECT_EQ(read.jitter, sent.jitter) << "block " << index;
    EXPECT_EQ(read.last_sr, sent.last_sr) << "block " << index;
    EXPECT_EQ(read.delay_since_last_sr, sent.delay_since_last_sr) << "block " << index;
}

TEST(rtcp_packet_fields, EveryFieldOfEveryBlockComesBackAsWritten) {
    rtcp_compound sent;
    sent.ssrc = 0xa1a2a3a4;
    sent.sender = sender_info{0xb1b2b3b4b5b6b7b8ULL, 0xc1c2c3c4, 0xd1d2d3d4, 0xe1e2e3e4};
    sent.blocks = {distinct_block(1), distinct_block(2), distinct_block(3)};
    sent.cname = "user@198.51.100.7";
    const std::vector<std::uint8_t> bytes = write_rtcp_compound(sent);
    rtcp_compound read;
    ASSERT_EQ(parse_rtcp_compound(bytes, read), rtcp_parse_result::ok);
    ASSERT_TRUE(read.sender);
    EXPECT_EQ(read.sender->ntp_timestamp, sent.sender->ntp_timestamp);
    EXPECT_EQ(read.sender->rtp_timestamp, sent.sender->rtp_timestamp);
    EXPECT_EQ(read.sender->packet_count, sent.sender->packet_count);
    EXPECT_EQ(read.sender->octet_count, sent.sender->octet_count);
    ASSERT_EQ(read.blocks.size(), 3u);
    for (int i = 0; i < 3; ++i) expect_same(read.blocks[i], sent.blocks[i], i);
    EXPECT_EQ(read.cname, sent.cname);
    EXPECT_TRUE(read.bye.empty());

    // A receiver report carries the same blocks; losses beyond 24 bits are
    // written as the nearest that fits, negative ones too.
    sent.sender.reset();
    sent.blocks[0].cumulative_lost = 0x900000;
    sent.blocks[1].cumulative_lost = -0x900000;
    sent.blocks[2].cumulative_lost = -1;
    ASSERT_EQ(parse_rtcp_compound(write_rtcp_compound(sent), read), rtcp_parse_result::ok);
    EXPECT_FALSE(read.sender);
    ASSERT_EQ(read.blocks.size(), 3u);
    EXPECT_EQ(read.blocks[0].cumulative_lost, 0x7fffff);
    EXPECT_EQ(read.blocks[1].cumulative_lost, -0x800000);
    EXPECT_EQ(read.blocks[2].cumulative_lost, -1);
    EXPECT_EQ(read.blocks[2].jitter, sent.blocks[2].jitter);
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// An RTCP packet header: version 2, `count`, `type`, and the length of a
// body of `body_bytes` (a multiple of four).
void put_header(std::vector<std::uint8_t>& out, std::uint8_t count, std::uint8_t type, std::size_t body_bytes) {
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    out.push_back(type);
    const std::size_t words = body_bytes / 4;
    out.push_back(static_cast<std::uint8_t>(words >> 8));
    out.push_back(static_cast<std::uint8_t>(words));
}

std::vector<std::uint8_t> receiver_report(std::uint32_t ssrc) {
    std::vector<std::uint8_t> out;
    put_header(out, 0, rtcp_receiver_report, 4);
    put32(out, ssrc);
    return out;
}

TEST(rtcp_packet_fields, DescriptionsAndGoodbyesAreReadToTheirEndAndNoFurther) {
    constexpr std::uint32_t own = 0x11223344;
    constexpr std::uint32_t other = 0x55667788;
    // SDES of two chunks: another source's CNAME and a NOTE first, then the
    // reporter's CNAME and a one-byte TOOL item (whose type, 6, is more
    // than the bytes after it), whose end item fills its last word.
    std::vector<std::uint8_t> bytes = receiver_report(own);
    std::vector<std::uint8_t> sdes;
    put32(sdes, other);
    for (std::uint8_t c : std::string("\x01\x03xyz\x07\x02no\x00\x00\x00", 12)) sdes.push_back(c);
    put32(sdes, own);
    for (std::uint8_t c : std::string("\x01\x05" "abcde\x06\x01x\x00", 11)) sdes.push_back(c);
    sdes.push_back(0);
    ASSERT_EQ(sdes.size() % 4, 0u);
    put_header(bytes, 2, rtcp_source_description, sdes.size());
    bytes.insert(bytes.end(), sdes.begin(), sdes.end());
    // BYE of one source, in a packet long enough for two: only the counted
    // one leaves.
    put_header(bytes, 1, rtcp_goodbye, 8);
    put32(bytes, own);
    put32(bytes, other);
    rtcp_compound read;
    ASSERT_EQ(parse_rtcp_compound(bytes, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.ssrc, own);
    EXPECT_EQ(read.cname, "abcde");
    EXPECT_EQ(read.bye, std::vector<std::uint32_t>{own});
    // A BYE of three sources: each in its place.
    bytes = receiver_report(own);
    put_header(bytes, 3, rtcp_goodbye, 12);
    for (std::uint32_t source : {own, other, 0x99aabbccu}) put32(bytes, source);
    ASSERT_EQ(parse_rtcp_compound(bytes, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.bye, (std::vector<std::uint32_t>{own, other, 0x99aabbccu}));

    // Descriptions cut inside a chunk's source, an item's length or its
    // text are refused. A body that is not whole words ends in the last
    // packet's padding; each datagram is exactly as long as its bytes, so
    // that the sanitizers see any read past them.
    struct cut {
        const char* what;
        std::vector<std::uint8_t> body;
        std::uint8_t count;
    };
    const cut cuts[] = {
        {"a chunk of three bytes after a whole one", {0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 9}, 2},
        {"an item type without its length", {0, 0, 0, 9, 1}, 1},
        {"a CNAME one byte longer than the packet", {0, 0, 0, 9, 1, 3, 'a', 'b'}, 1},
        {"no end item", {0, 0, 0, 9, 1, 2, 'a', 'b'}, 1},
        {"a second chunk missing", {0, 0, 0, 9, 0, 0, 0, 0}, 2},
    };
    for (const cut& c : cuts) {
        std::vector<std::uint8_t> datagram = receiver_report(9);
        const std::size_t padding = c.body.size() % 4 == 0 ? 0 : 4 - c.body.size() % 4;
        put_header(datagram, c.count, rtcp_source_description, c.body.size() + padding);
        if (padding != 0) datagram[datagram.size() - 4] |= 0x20;
        datagram.insert(datagram.end(), c.body.begin(), c.body.end());
        datagram.insert(datagram.end(), padding, 0);
        if (padding != 0) datagram.back() = static_cast<std::uint8_t>(padding);
        const std::vector<std::uint8_t> exact(datagram.begin(), datagram.end());
        EXPECT_EQ(parse_rtcp_compound(exact, read), rtcp_parse_result::bad_length) << c.what;
    }
    // A BYE counting more sources than its packet holds.
    std::vector<std::uint8_t> goodbye = receiver_report(9);
    put_header(goodbye, 2, rtcp_goodbye, 4);
    put32(goodbye, 9);
    EXPECT_EQ(parse_rtcp_compound(goodbye, read), rtcp_parse_result::bad_length);
}

TEST(rtcp_packet_fields, NtpTimeOfNowIsTheSystemClockFrom1900) {
    using namespace std::chrono;
    constexpr double seconds_1900_to_1970 = 2208988800.0;
    const double before = duration<double>(system_clock::now().time_since_epoch()).count();
    const std::uint64_t ntp = ntp_time_now();
    const double after = duration<double>(system_clock::now().time_since_epoch()).count();
    const double seconds = static_cast<double>(ntp >> 32) + static_cast<double>(ntp & 0xffffffffu) / 4294967296.0;
    EXPECT_GE(seconds - seconds_1900_to_1970, before - 1e-6);
    EXPECT_LE(seconds - seconds_1900_to_1970, after + 1e-6);
    // The middle 32 bits: 16 of seconds, 16 of fraction.
    EXPECT_EQ(ntp_middle(0x0123456789abcdefULL), 0x456789abu);
}

}  // namespace
}  // namespace g723::rtp
