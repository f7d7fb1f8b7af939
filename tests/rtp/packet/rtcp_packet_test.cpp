// SPDX-License-Identifier: BSD-2-Clause
// RTCP compound packets: what is written parses back the same, and packets
// that break RFC 3550's validity checks are refused whole.
#include "rtp/packet/rtcp_packet.h"

#include <gtest/gtest.h>

#include <vector>

namespace g723::rtp {
namespace {

rtcp_compound sender_report_with_bye() {
    rtcp_compound report;
    report.ssrc = 0xdecafbad;
    report.sender = sender_info{0x0123456789abcdefULL, 123456, 250, 6000};
    report_block block;
    block.ssrc = 77;
    block.fraction_lost = 25;
    block.cumulative_lost = -3;
    block.highest_sequence = 0x1ffff;
    block.jitter = 160;
    block.last_sr = 0x89abcdef;
    block.delay_since_last_sr = 65536;
    report.blocks = {block};
    report.cname = "g723@192.0.2.1";
    report.bye = {0xdecafbad};
    return report;
}

TEST(rtcp_packet, WrittenReportsParseBack) {
    const rtcp_compound sent = sender_report_with_bye();
    const std::vector<std::uint8_t> bytes = write_rtcp_compound(sent);
    // SR with one block (52), SDES with a 14-byte CNAME (28), BYE (8).
    EXPECT_EQ(bytes.size(), 88u);
    EXPECT_TRUE(is_rtcp(bytes));
    rtcp_compound read;
    ASSERT_EQ(parse_rtcp_compound(bytes, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.ssrc, sent.ssrc);
    ASSERT_TRUE(read.sender);
    EXPECT_EQ(read.sender->ntp_timestamp, sent.sender->ntp_timestamp);
    EXPECT_EQ(read.sender->packet_count, 250u);
    ASSERT_EQ(read.blocks.size(), 1u);
    EXPECT_EQ(read.blocks[0].cumulative_lost, -3);
    EXPECT_EQ(read.blocks[0].fraction_lost, 25);
    EXPECT_EQ(read.blocks[0].highest_sequence, 0x1ffffu);
    EXPECT_EQ(read.blocks[0].delay_since_last_sr, 65536u);
    EXPECT_EQ(read.cname, "g723@192.0.2.1");
    EXPECT_EQ(read.bye, std::vector<std::uint32_t>{0xdecafbad});

    rtcp_compound receiver;
    receiver.ssrc = 5;
    receiver.cname = "r";
    const std::vector<std::uint8_t> short_report = write_rtcp_compound(receiver);
    ASSERT_EQ(parse_rtcp_compound(short_report, read), rtcp_parse_result::ok);
    EXPECT_FALSE(read.sender);
    EXPECT_TRUE(read.blocks.empty() && read.bye.empty());
    EXPECT_EQ(read.cname, "r");
    // RTP of payload type 4 or 100, with or without the marker, is not RTCP.
    EXPECT_FALSE(is_rtcp(std::vector<std::uint8_t>{0x80, 0x04, 0, 0}));
    EXPECT_FALSE(is_rtcp(std::vector<std::uint8_t>{0x80, 0x84, 0, 0}));
    EXPECT_FALSE(is_rtcp(std::vector<std::uint8_t>{0x80, 0xe4, 0, 0}));
}

TEST(rtcp_packet, InvalidCompoundsAreRefusedWhole) {
    const std::vector<std::uint8_t> good = write_rtcp_compound(sender_report_with_bye());
    struct broken {
        const char* what;
        std::vector<std::uint8_t> bytes;
        rtcp_parse_result expected;
    };
    std::vector<broken> cases;
    cases.push_back({"cut short", {good.begin(), good.end() - 4}, rtcp_parse_result::too_short});
    cases.push_back({"three bytes", {good.begin(), good.begin() + 3}, rtcp_parse_result::too_short});
    auto changed = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    cases.push_back({"version 1 in the SDES", changed(52, 0x41), rtcp_parse_result::not_version_2});
    cases.push_back({"SDES first", changed(1, rtcp_source_description), rtcp_parse_result::not_a_report});
    cases.push_back({"padding in the first packet", changed(0, 0xa1), rtcp_parse_result::bad_padding});
    cases.push_back({"more blocks than its length", changed(0, 0x82), rtcp_parse_result::bad_length});
    cases.push_back({"a CNAME past its packet", changed(52 + 9, 200), rtcp_parse_result::bad_length});
    std::vector<std::uint8_t> trailing = good;
    trailing.insert(trailing.end(), {0, 0});
    cases.push_back({"bytes after the last packet", trailing, rtcp_parse_result::too_short});
    std::vector<std::uint8_t> padded = good;
    padded[80] |= 0x20;  // the BYE claims 9 bytes of padding in its 8
    padded.at(87) = 9;
    cases.push_back({"padding longer than its packet", padded, rtcp_parse_result::bad_padding});
    for (const broken& c : cases) {
        rtcp_compound read;
        read.ssrc = 42;
        EXPECT_EQ(parse_rtcp_compound(c.bytes, read), c.expected) << c.what;
        EXPECT_EQ(read.ssrc, 42u) << c.what;
        EXPECT_FALSE(describe(c.expected).empty());
    }
}

}  // namespace
}  // namespace g723::rtp
