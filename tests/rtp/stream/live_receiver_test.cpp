// SPDX-License-Identifier: BSD-2-Clause
// The live receiver's choice of sender: a stray packet of another SSRC does
// not cut the call, a new sender whose packets follow on takes over, and the
// old sender's stragglers are dropped.
#include "rtp/stream/live_receiver.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {
namespace {

// A one-frame packet whose speech frame carries `tag` in its second byte.
std::vector<std::uint8_t> datagram(std::uint32_t ssrc, std::uint16_t sequence, std::uint8_t tag) {
    std::vector<std::uint8_t> frame(24, 0);
    frame[1] = tag;
    rtp_packet packet;
    packet.payload_type = 4;
    packet.ssrc = ssrc;
    packet.sequence = sequence;
    packet.timestamp = 240u * sequence;
    packet.payload = frame;
    std::vector<std::uint8_t> bytes(rtp_header_bytes + frame.size());
    write_rtp_packet(packet, bytes);
    return bytes;
}

TEST(live_receiver, AStrayPacketDoesNotCutTheCallButANewSenderTakesOver) {
    std::string heard;  // tags of the frames played out, '|' at a segment start
    live_receiver receiver({}, [&](const timeline_frame& frame, stream_statistics&) {
        if (frame.starts_segment) heard += '|';
        heard += frame.origin == frame_origin::received ? static_cast<char>(frame.slot[1]) : '?';
    });
    double time = 0.0;
    auto send = [&](std::uint32_t ssrc, std::uint16_t sequence, char tag) {
        receiver.add(datagram(ssrc, sequence, static_cast<std::uint8_t>(tag)), "peer", time += 0.03);
    };
    send(1, 100, 'a');
    send(1, 101, 'b');
    send(9, 5000, 'x');  // a stray
    send(1, 102, 'c');
    send(2, 7, 'd');  // a new sender: its second packet confirms it
    send(2, 8, 'e');
    send(1, 103, 'z');  // the old sender's straggler
    send(2, 9, 'f');
    std::vector<std::uint8_t> garbage{1, 2, 3};
    receiver.add(garbage, "peer", time += 0.03);
    receiver.play_all();

    EXPECT_EQ(heard, "|abc|def");
    const stream_report report = receiver.report();
    ASSERT_EQ(report.streams.size(), 2u);
    EXPECT_EQ(report.streams[0].statistics.frames, 3u);
    EXPECT_EQ(report.streams[1].statistics.frames, 3u);
    EXPECT_EQ(report.streams[1].statistics.lost_frames, 0u);
    EXPECT_NE(report.streams[1].name.find("ssrc 0x00000002"), std::string::npos);
    std::map<std::string, std::uint64_t> counts(report.counts.begin(), report.counts.end());
    EXPECT_EQ(counts["datagrams received"], 9u);
    EXPECT_EQ(counts["not RTP"], 1u);
    EXPECT_EQ(counts["stray SSRC packets"], 2u);
}

}  // namespace
}  // namespace g723::rtp
