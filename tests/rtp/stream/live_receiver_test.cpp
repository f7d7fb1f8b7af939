// SPDX-License-Identifier: BSD-2-Clause
// The live receiver's choice of source: packets of other SSRCs and of the
// same SSRC from another address are not played while the source being
// played is active, a pause of silence compression is not its end, and a
// source that keeps sending takes over once the old one has fallen silent.
#include "rtp/stream/live_receiver.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {
namespace {

// A packet of one speech frame carrying `tag` in its second byte, or a SID
// frame when the tag is 'S'.
std::vector<std::uint8_t> datagram(std::uint32_t ssrc, std::uint16_t sequence,
                                   std::uint32_t timestamp, char tag) {
    std::vector<std::uint8_t> frame(tag == 'S' ? 4 : 24, 0);
    frame[0] = tag == 'S' ? 2 : 0;
    frame[1] = static_cast<std::uint8_t>(tag);
    rtp_packet packet;
    packet.payload_type = 4;
    packet.ssrc = ssrc;
    packet.sequence = sequence;
    packet.timestamp = timestamp;
    packet.payload = frame;
    std::vector<std::uint8_t> bytes(rtp_header_bytes + frame.size());
    write_rtp_packet(packet, bytes);
    return bytes;
}

struct listener {
    std::string heard;  // tags of the frames played, 'U' untransmitted, '|' a segment start
    live_receiver receiver{{}, [this](const timeline_frame& frame, stream_statistics&) {
                               if (frame.starts_segment) heard += '|';
                               heard += frame.origin == frame_origin::untransmitted ? 'U'
                                        : frame.origin == frame_origin::lost
                                            ? '?'
                                            : static_cast<char>(frame.slot[1]);
                           }};
    // A packet of a source's `sequence`, carrying frame `frame` of its
    // timeline, arriving at `seconds`.
    void send(std::uint32_t ssrc, const std::string& from, std::uint16_t sequence,
              std::uint32_t frame, char tag, double seconds) {
        receiver.play_due(seconds);
        receiver.add(datagram(ssrc, sequence, 240u * frame, tag), from, seconds);
    }
    std::map<std::string, std::uint64_t> counts() const {
        const stream_report report = receiver.report();
        return {report.counts.begin(), report.counts.end()};
    }
};

TEST(live_receiver, OtherSourcesCannotCutInAndTakeOverOnlyAfterTheSourceFellSilent) {
    listener call;
    const std::string genuine = "192.0.2.1:4000", other = "192.0.2.9:4000";
    call.send(9, genuine, 40, 40, 'x', 0.0);  // a lone packet before the call: never played
    // The genuine source talks 0.15 s, sends a SID frame and pauses 3 s;
    // meanwhile a second SSRC and its own SSRC from another address send
    // runs of packets in sequence. It resumes after the pause (frame 106,
    // 100 frames later) and stops. The second SSRC keeps sending: 5 s after
    // the genuine source's last packet it takes over, with what it sent
    // since then.
    const std::string talk = "abcdeS";
    for (std::uint16_t n = 0; n < talk.size(); ++n) {
        call.send(1, genuine, n, n, talk[n], 0.03 * (n + 1));
        call.send(1, other, n + 50, n + 50, 'z', 0.03 * (n + 1) + 0.005);
    }
    for (std::uint16_t n = 0; n < 400; ++n) {
        if (n == 106) call.send(1, genuine, 6, 106, 'f', 3.21);
        if (n == 107) call.send(1, genuine, 7, 107, 'g', 3.24);
        call.send(2, other, n, n, n == 399 ? 'w' : 'v', 0.03 * (n + 1) + 0.01);
    }
    call.receiver.play_all();

    const std::size_t taken = 400 - 107;  // packets of SSRC 2 from 3.25 s on
    EXPECT_EQ(call.heard, "|abcdeS" + std::string(100, 'U') + "fg|" + std::string(taken - 1, 'v') + "w");
    const stream_report report = call.receiver.report();
    ASSERT_EQ(report.streams.size(), 2u);
    EXPECT_EQ(report.streams[0].name, genuine + " >  ssrc 0x00000001");
    EXPECT_EQ(report.streams[0].statistics.frames, 8u);
    EXPECT_EQ(report.streams[0].statistics.segments, 1u);
    EXPECT_EQ(report.streams[1].statistics.frames, taken);
    EXPECT_EQ(report.streams[1].statistics.lost_frames, 0u);
    EXPECT_EQ(call.counts()["other sources' packets"], 1 + 6 + (400 - taken));
}

TEST(live_receiver, ASprayOfRandomSourcesNeitherPlaysNorHoldsOffTheFirstSource) {
    listener call;
    std::mt19937 random(3);
    auto spray = [&](int count, double seconds) {
        for (int i = 0; i < count; ++i) {
            call.send(random(), "192.0.2.7:" + std::to_string(random() % 65536),
                      static_cast<std::uint16_t>(random()), random() % 1000, 'x', seconds);
        }
    };
    for (std::uint16_t n = 0; n < 20; ++n) {
        spray(200, 0.03 * n);
        call.send(5, "192.0.2.1:4000", n, n, 'a', 0.03 * n + 0.01);
    }
    call.receiver.play_all();
    EXPECT_EQ(call.heard, "|" + std::string(20, 'a'));
    EXPECT_EQ(call.counts()["other sources' packets"], 20u * 200);
}

// Two hours and a minute of eight-frame packets in real time: two hours
// are played, the rest counted.
TEST(live_receiver, AudioStopsAtTwoHours) {
    std::uint64_t played = 0;
    live_receiver receiver({}, [&](const timeline_frame&, stream_statistics&) { ++played; });
    std::vector<std::uint8_t> bytes(rtp_header_bytes + 8 * 24, 0);
    const std::uint32_t packets = (2 * 3600 + 60) * 1000 / 240;
    for (std::uint32_t n = 0; n < packets; ++n) {
        rtp_packet packet;
        packet.payload_type = 4;
        packet.ssrc = 3;
        packet.sequence = static_cast<std::uint16_t>(n);
        packet.timestamp = 1920 * n;
        packet.payload = std::span(bytes).subspan(rtp_header_bytes);
        write_rtp_packet(packet, bytes);
        receiver.add(bytes, "peer", 0.24 * (n + 1));
        receiver.play_due(0.24 * (n + 1));
    }
    receiver.play_all();
    EXPECT_EQ(played, max_stream_frames);
    EXPECT_EQ(receiver.report().streams.at(0).statistics.beyond_time_frames,
              8u * packets - max_stream_frames);
}

// With nothing left to play, the next event is the moment a source waiting
// on probation may take over: the hold time after the source being played
// last sent, not before.
TEST(live_receiver, NextEventIsTheHandoverOnceTheSourceFallsSilent) {
    listener call;
    EXPECT_FALSE(call.receiver.next_event());
    EXPECT_FALSE(call.receiver.last_heard());
    call.send(1, "192.0.2.1:4000", 0, 0, 'a', 1.00);
    call.send(1, "192.0.2.1:4000", 1, 1, 'b', 1.03);
    ASSERT_TRUE(call.receiver.last_heard());
    EXPECT_DOUBLE_EQ(*call.receiver.last_heard(), 1.03);
    call.receiver.play_due(2.0);
    EXPECT_EQ(call.heard, "|ab");
    EXPECT_FALSE(call.receiver.next_event());  // nothing held, nobody waiting
    call.send(2, "192.0.2.9:4000", 7, 7, 'z', 2.50);
    call.send(2, "192.0.2.9:4000", 8, 8, 'z', 2.53);
    ASSERT_TRUE(call.receiver.next_event());
    EXPECT_DOUBLE_EQ(*call.receiver.next_event(), 1.03 + live_receiver_settings{}.hold_seconds);
    call.receiver.play_due(1.03 + live_receiver_settings{}.hold_seconds - 0.01);
    EXPECT_EQ(call.heard, "|ab");
    call.receiver.play_due(1.03 + live_receiver_settings{}.hold_seconds);
    call.receiver.play_all();
    EXPECT_EQ(call.heard, "|ab|zz");
}

}  // namespace
}  // namespace g723::rtp
