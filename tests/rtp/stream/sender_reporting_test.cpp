// SPDX-License-Identifier: BSD-2-Clause
// A live sender's RTCP: its reports read back as a receiver reads them,
// the receiver reports that come back taken only when they are about its
// own stream, and the round trip worked out from them.
#include "rtp/stream/sender_reporting.h"

#include <gtest/gtest.h>

#include <vector>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {
namespace {

std::vector<std::uint8_t> receiver_report(std::uint32_t about, std::uint32_t last_sr, std::uint32_t delay) {
    rtcp_compound report;
    report.ssrc = 0x5ece1fe5;
    report_block block;
    block.ssrc = about;
    block.fraction_lost = 64;  // a quarter
    block.cumulative_lost = 12;
    block.highest_sequence = 70000;
    block.jitter = 80;  // 10 ms
    block.last_sr = last_sr;
    block.delay_since_last_sr = delay;
    report.blocks.push_back(block);
    report.cname = "receiver@example";
    return write_rtcp_compound(report);
}

TEST(sender_reporting, ReportsGoOutAndTheReceiversComeBack) {
    sender_reporting reporting(0xabcdef01, "sender@example");
    EXPECT_EQ(reporting.summary(), "0 sender reports sent, 0 receiver reports back");
    for (int i = 0; i < 5; ++i) reporting.count(24);
    const std::uint64_t before = ntp_time_now();
    const auto first = reporting.sender_report(1200, false);
    const std::uint64_t after = ntp_time_now();
    rtcp_compound read;
    ASSERT_EQ(parse_rtcp_compound(first, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.ssrc, 0xabcdef01u);
    ASSERT_TRUE(read.sender);
    EXPECT_EQ(read.sender->packet_count, 5u);
    EXPECT_EQ(read.sender->octet_count, 120u);
    EXPECT_EQ(read.sender->rtp_timestamp, 1200u);
    EXPECT_GE(read.sender->ntp_timestamp, before);
    EXPECT_LE(read.sender->ntp_timestamp, after);
    EXPECT_EQ(read.cname, "sender@example");
    EXPECT_TRUE(read.bye.empty());
    EXPECT_EQ(reporting.summary(), "1 sender report sent, 0 receiver reports back");

    // What is not a report about this stream is passed over.
    std::vector<std::uint8_t> rtp(rtp_header_bytes + 24);
    rtp_packet packet;
    packet.payload_type = 4;
    write_rtp_packet(packet, rtp);
    reporting.hear(rtp);
    reporting.hear(std::vector<std::uint8_t>(first.begin(), first.end() - 4));  // cut short
    reporting.hear(receiver_report(0x12345678, 0, 0));                          // another stream
    EXPECT_EQ(reporting.reports_heard(), 0u);
    EXPECT_FALSE(reporting.last_block());

    // A report that quotes no sender report: no round trip yet.
    reporting.hear(receiver_report(0xabcdef01, 0, 0));
    EXPECT_EQ(reporting.reports_heard(), 1u);
    ASSERT_TRUE(reporting.last_block());
    EXPECT_EQ(reporting.last_block()->cumulative_lost, 12);
    EXPECT_EQ(reporting.summary(),
              "1 sender report sent, 1 receiver report back (last: 25.0 % lost, 12 lost in all, jitter 10.0 ms)");

    // Quoting a report of half a second ago, held a quarter of a second
    // there: a round trip of a quarter of a second.
    const std::uint32_t half_second_ago = ntp_middle(ntp_time_now()) - 32768;
    reporting.hear(receiver_report(0xabcdef01, half_second_ago, 16384));
    EXPECT_EQ(reporting.reports_heard(), 2u);
    const std::string summary = reporting.summary();
    const auto at = summary.find(", round trip ");
    ASSERT_NE(at, std::string::npos) << summary;
    const double round_trip = std::stod(summary.substr(at + 13));
    EXPECT_GE(round_trip, 249.9);
    EXPECT_LT(round_trip, 400.0);
    EXPECT_EQ(summary.back(), ')');

    // The last report says goodbye.
    const auto last = reporting.sender_report(2400, true);
    ASSERT_EQ(parse_rtcp_compound(last, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.bye, std::vector<std::uint32_t>{0xabcdef01});
    EXPECT_EQ(read.sender->rtp_timestamp, 2400u);
    EXPECT_EQ(reporting.summary().substr(0, 48), "2 sender reports sent, 2 receiver reports back (");
}

}  // namespace
}  // namespace g723::rtp
