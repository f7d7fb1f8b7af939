// SPDX-License-Identifier: BSD-2-Clause
// What reaches a live receiver that is not its stream's next packet: bytes
// that are not RTP, other payload types and copies are counted, never
// played; with no RTCP heard from the source, reports go to its RTCP port,
// or to its RTP port when RTCP shares it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "rtp/packet/rtcp_packet.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/stream/live_receiver.h"

namespace g723::rtp {
namespace {

std::vector<std::uint8_t> packet_bytes(std::uint8_t type, std::uint16_t sequence, char tag) {
    std::vector<std::uint8_t> frame(24, 0);
    frame[1] = static_cast<std::uint8_t>(tag);
    rtp_packet packet;
    packet.payload_type = type;
    packet.ssrc = 7;
    packet.sequence = sequence;
    packet.timestamp = 240u * sequence;
    packet.payload = frame;
    std::vector<std::uint8_t> bytes(rtp_header_bytes + frame.size());
    write_rtp_packet(packet, bytes);
    return bytes;
}

TEST(live_receiver, WhatIsNotTheStreamIsCountedAndReportsFindTheSource) {
    for (const bool mux : {false, true}) {
        SCOPED_TRACE(mux);
        live_receiver_settings settings;
        settings.rtcp_mux = mux;
        settings.local_address = "192.0.2.2:5004";
        std::string played;
        stream_statistics last{};
        live_receiver receiver(settings, [&](const timeline_frame& frame, stream_statistics& statistics) {
            if (frame.origin == frame_origin::received) played += static_cast<char>(frame.slot[1]);
            last = statistics;
        });
        const std::string source = "[2001:db8::1]:4000";
        EXPECT_FALSE(receiver.receiver_report(1, "me", false, 0.0));
        EXPECT_FALSE(receiver.reception());
        for (std::uint16_t n = 0; n < 12; ++n) {
            const double at = 0.03 * (n + 1);
            receiver.play_due(at);
            receiver.add(packet_bytes(4, n, static_cast<char>('a' + n)), source, at);
            if (n == 3) receiver.add(std::vector<std::uint8_t>{0x80, 4, 0}, source, at);      // cut short
            if (n == 4) receiver.add(packet_bytes(0, 100, 'P'), source, at);                 // PCMU
            if (n == 5) receiver.add(packet_bytes(4, n, 'D'), source, at + 0.001);           // a copy
            if (n == 6) receiver.add(std::vector<std::uint8_t>(30, 0x00), source, at);       // version 0
        }
        receiver.play_all(1.0);
        EXPECT_EQ(played, "abcdefghijkl");
        const stream_report report = receiver.report();
        ASSERT_EQ(report.streams.size(), 1u);
        EXPECT_EQ(report.streams[0].name, "[2001:db8::1]:4000 > 192.0.2.2:5004 ssrc 0x00000007");
        EXPECT_EQ(report.streams[0].statistics.duplicated, 1u);
        EXPECT_EQ(report.streams[0].statistics.packets, 12u);
        const std::map<std::string, std::uint64_t> counts(report.counts.begin(), report.counts.end());
        EXPECT_EQ(counts.at("datagrams received"), 16u);
        EXPECT_EQ(counts.at("not RTP"), 2u);
        EXPECT_EQ(counts.at("other payload types"), 1u);
        EXPECT_EQ(counts.at("RTCP receiver reports sent"), 0u);

        // No RTCP heard from the source: its RTCP port, or with RTCP on
        // the RTP port, that one.
        const auto back = receiver.receiver_report(0x99, "me", false, 1.0);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->second, mux ? "[2001:db8::1]:4000" : "[2001:db8::1]:4001");
        rtcp_compound read;
        ASSERT_EQ(parse_rtcp_compound(back->first, read), rtcp_parse_result::ok);
        ASSERT_EQ(read.blocks.size(), 1u);
        EXPECT_EQ(read.blocks[0].ssrc, 7u);
        EXPECT_EQ(read.blocks[0].cumulative_lost, 0);
        EXPECT_EQ(read.blocks[0].highest_sequence, 11u);
        EXPECT_EQ(read.blocks[0].last_sr, 0u);
        EXPECT_EQ(read.cname, "me");
    }
}

}  // namespace
}  // namespace g723::rtp
