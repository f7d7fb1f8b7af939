// SPDX-License-Identifier: BSD-2-Clause
// The live receiver's choice of source: packets of other SSRCs and of the
// same SSRC from another address are not played while the source being
// played is active, a pause of silence compression is not its end, and a
// source that keeps sending takes over once the old one has fallen silent.
#include "rtp/stream/live_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    call.receiver.play_all(12.1);

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
    call.receiver.play_all(0.7);
    EXPECT_EQ(call.heard, "|" + std::string(20, 'a'));
    EXPECT_EQ(call.counts()["other sources' packets"], 20u * 200);
}

// A call of 30 ms packets sent in real time with a path's traffic shapes,
// from the very first packet; returns the frames played ('?' concealed).
struct shaped_call {
    listener call;
    double now = 0.0;
    // Packet n arrives at 0.03 (n + 1) + delay(n); arrivals are sorted.
    template <typename Delay, typename Dropped>
    void run(int packets, Delay delay, Dropped dropped) {
        std::vector<std::pair<double, int>> arrivals;
        for (int n = 0; n < packets; ++n) {
            if (!dropped(n)) arrivals.emplace_back(0.03 * (n + 1) + delay(n), n);
        }
        std::stable_sort(arrivals.begin(), arrivals.end());
        for (const auto& [seconds, n] : arrivals) {
            call.send(0x1234, "192.0.2.1:4000", static_cast<std::uint16_t>(60000 + n),
                      static_cast<std::uint32_t>(n), 'a', seconds);
            now = seconds;
        }
        call.receiver.play_due(now + 1.0);
        call.receiver.play_all(now + 1.0);
    }
    std::uint64_t late() { return call.counts()["late packets dropped"]; }
};

// One adjacent swap every 17 packets, or every 17th packet 35 ms late: the
// playout waits for the first displaced packet and the delay learns
// the reordering from it: none is lost.
TEST(live_receiver, ReorderedAndStragglingPacketsArePutBack) {
    shaped_call swapped;
    swapped.run(17 * 48, [](int n) { return n % 17 == 5 ? 0.0301 : n % 17 == 6 ? -0.0299 : 0.0; },
                [](int) { return false; });
    EXPECT_EQ(swapped.late(), 0u) << swapped.call.heard;
    EXPECT_EQ(swapped.call.heard.size(), 1u + 17 * 48);
    shaped_call straggling;
    straggling.run(17 * 47, [](int n) { return n % 17 == 8 ? 0.035 : 0.0; }, [](int) { return false; });
    EXPECT_EQ(straggling.late(), 0u) << straggling.call.heard;
}

// Every pair of packets swapped, or every second packet lost, from the
// first packet on: the call is heard, whole or with its losses concealed.
TEST(live_receiver, ACallThatStartsReorderedOrLossyIsHeard) {
    shaped_call swapped;
    swapped.run(100, [](int n) { return n % 2 == 0 ? 0.0301 : -0.0299; }, [](int) { return false; });
    EXPECT_EQ(swapped.call.heard, "|" + std::string(100, 'a'));
    shaped_call lossy;
    lossy.run(100, [](int) { return 0.0; }, [](int n) { return n % 2 == 1; });
    std::string expected = "|";
    for (int n = 0; n < 99; ++n) expected += n % 2 == 0 ? 'a' : '?';
    EXPECT_EQ(lossy.call.heard, expected);
}

// The first 500 packets come at once, the rest in real time, 15 s later:
// every frame is played at its time, and the source counts as heard until
// the packets held have played out.
TEST(live_receiver, EarlyPacketsArePlayedAtTheirTime) {
    listener call;
    for (int n = 0; n < 500; ++n) call.send(3, "192.0.2.1:4000", n, n, 'a', 0.03);
    EXPECT_GE(*call.receiver.last_heard(), 15.0);
    for (int n = 500; n < 600; ++n) call.send(3, "192.0.2.1:4000", n, n, 'b', 0.03 * (n + 1));
    call.receiver.play_all(18.0);
    EXPECT_EQ(call.heard, "|" + std::string(500, 'a') + std::string(100, 'b'));
    EXPECT_EQ(call.counts()["early packets dropped"], 0u);
}

// A chain of packets (sequence +1, timestamp +1.9 s) from another port
// that starts within the first packet time of a genuine call never passes
// probation: the genuine call is played from its first packet.
TEST(live_receiver, AChainAtTheStartCannotTakeTheCall) {
    listener call;
    for (int n = 0; n < 300; ++n) {
        call.send(0xbad, "192.0.2.66:4000", 1000 + n, 15200u * n, 'x', 0.001 + 0.01 * n);
        if (n % 3 == 0) call.send(1, "192.0.2.1:4000", n / 3, n / 3, 'a', 0.03 * (n / 3 + 1));
    }
    call.receiver.play_all(3.1);
    EXPECT_EQ(call.heard, "|" + std::string(100, 'a'));
    EXPECT_EQ(call.receiver.report().streams.size(), 1u);
}

// With a sender named, nothing else is heard, however it sends.
TEST(live_receiver, OnlyTheNamedSenderIsHeard) {
    std::string heard;
    live_receiver_settings settings;
    settings.only_from = "192.0.2.1:4000";
    live_receiver receiver(settings, [&](const timeline_frame&, stream_statistics&) { heard += 'a'; });
    for (std::uint16_t n = 0; n < 10; ++n) {
        receiver.add(datagram(2, n, 240u * n, 'x'), "192.0.2.1:4001", 0.03 * n);
        receiver.add(datagram(1, n, 240u * n, 'a'), "192.0.2.1:4000", 0.03 * n + 0.001);
    }
    receiver.play_all(1.0);
    EXPECT_EQ(heard, std::string(10, 'a'));
    const stream_report report = receiver.report();
    EXPECT_EQ(std::count_if(report.counts.begin(), report.counts.end(),
                            [](const auto& c) { return c.second == 10 && c.first.find("--from") != std::string::npos; }),
              1);
}

// RTCP beside a call: only the source's own reports count, its receiver
// reports say what came, and its BYE alone ends the call.
TEST(live_receiver, OnlyTheSourcesOwnRtcpCountsAndItsByeEndsTheCall) {
    listener call;
    const std::string genuine = "192.0.2.1:4000";
    auto report = [](std::uint32_t ssrc, bool goodbye) {
        rtcp_compound compound;
        compound.ssrc = ssrc;
        compound.sender = sender_info{0x1122334455667788ULL, 0, 10, 240};
        compound.cname = "g723@192.0.2.1";
        if (goodbye) compound.bye = {ssrc};
        return write_rtcp_compound(compound);
    };
    // A sender report ahead of the packets waits for the source to be heard.
    EXPECT_EQ(call.receiver.add_rtcp(report(1, false), "192.0.2.1:4001", 0.01), rtcp_effect::none);
    for (std::uint16_t n = 0; n < 10; ++n) {
        if (n != 4) call.send(1, genuine, n, n, 'a', 0.03 * (n + 1));
    }
    // Forged: another port, another SSRC, malformed; none ends the call.
    std::vector<std::uint8_t> broken = report(1, true);
    broken.pop_back();
    EXPECT_EQ(call.receiver.add_rtcp(report(1, true), "192.0.2.1:5001", 0.4), rtcp_effect::none);
    EXPECT_EQ(call.receiver.add_rtcp(report(2, true), "192.0.2.1:4001", 0.4), rtcp_effect::none);
    EXPECT_EQ(call.receiver.add_rtcp(broken, "192.0.2.1:4001", 0.4), rtcp_effect::none);

    const auto back = call.receiver.receiver_report(0x99, "me", false, 0.51);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->second, "192.0.2.1:4001");
    rtcp_compound read;
    ASSERT_EQ(parse_rtcp_compound(back->first, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.ssrc, 0x99u);
    EXPECT_FALSE(read.sender);
    ASSERT_EQ(read.blocks.size(), 1u);
    EXPECT_EQ(read.blocks[0].ssrc, 1u);
    EXPECT_EQ(read.blocks[0].cumulative_lost, 1);
    EXPECT_EQ(read.blocks[0].fraction_lost, 256 / 10);
    EXPECT_EQ(read.blocks[0].highest_sequence, 9u);
    EXPECT_EQ(read.blocks[0].last_sr, 0x33445566u);
    EXPECT_EQ(read.blocks[0].delay_since_last_sr, 65536u / 2);
    // Nothing lost since: the next report says so.
    call.send(1, genuine, 10, 10, 'a', 0.33);
    ASSERT_EQ(parse_rtcp_compound(call.receiver.receiver_report(0x99, "me", true, 0.6)->first, read),
              rtcp_parse_result::ok);
    EXPECT_EQ(read.blocks[0].fraction_lost, 0);
    EXPECT_EQ(read.bye, std::vector<std::uint32_t>{0x99});

    EXPECT_EQ(call.receiver.add_rtcp(report(1, false), "192.0.2.1:4001", 0.7), rtcp_effect::report);
    EXPECT_EQ(call.receiver.add_rtcp(report(1, true), "192.0.2.1:4001", 0.8), rtcp_effect::goodbye);
    EXPECT_EQ(call.counts()["RTCP packets ignored"], 3u);
    EXPECT_EQ(call.counts()["RTCP sender reports of the source"], 3u);
    EXPECT_EQ(call.counts()["packets the source reported sent"], 10u);
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
    receiver.play_all(0.24 * (packets + 1));
    EXPECT_EQ(played, max_stream_frames);
    EXPECT_EQ(receiver.report().streams.at(0).statistics.beyond_time_frames,
              8u * packets - max_stream_frames);
}

// With nothing left to play, the next event is the moment a source waiting
// on probation may take over: the hold time after the source being played
// last sent or last played out, not before.
TEST(live_receiver, NextEventIsTheHandoverOnceTheSourceFallsSilent) {
    listener call;
    EXPECT_FALSE(call.receiver.next_event());
    EXPECT_FALSE(call.receiver.last_heard());
    call.send(1, "192.0.2.1:4000", 0, 0, 'a', 1.00);
    call.send(1, "192.0.2.1:4000", 1, 1, 'b', 1.03);
    call.send(1, "192.0.2.1:4000", 2, 2, 'c', 1.06);
    call.receiver.play_due(2.0);
    EXPECT_EQ(call.heard, "|abc");
    ASSERT_TRUE(call.receiver.last_heard());
    const double last = *call.receiver.last_heard();
    EXPECT_GE(last, 1.06);
    EXPECT_LT(last, 2.0);
    EXPECT_FALSE(call.receiver.next_event());  // nothing held, nobody waiting
    for (std::uint16_t n = 7; n < 10; ++n) call.send(2, "192.0.2.9:4000", n, n, 'z', 2.5 + 0.03 * n);
    const double hold = live_receiver_settings{}.hold_seconds;
    ASSERT_TRUE(call.receiver.next_event());
    EXPECT_DOUBLE_EQ(*call.receiver.next_event(), last + hold);
    call.receiver.play_due(last + hold - 0.01);
    EXPECT_EQ(call.heard, "|abc");
    call.receiver.play_due(last + hold);
    call.receiver.play_all(last + hold);
    EXPECT_EQ(call.heard, "|abc|zzz");
}

// The next event is the earliest of the frames due and the handover: a
// source waiting to take over does not delay the frames held for the one
// playing.
TEST(live_receiver_events, FramesHeldComeBeforeAHandoverDueLater) {
    listener call;
    call.send(1, "192.0.2.1:4000", 0, 0, 'a', 1.00);
    call.send(1, "192.0.2.1:4000", 1, 1, 'b', 1.03);
    call.send(1, "192.0.2.1:4000", 2, 2, 'c', 1.06);
    for (std::uint16_t n = 7; n < 10; ++n) call.send(2, "192.0.2.9:4000", n, n, 'z', 1.06 + 0.001 * (n - 6));
    ASSERT_TRUE(call.receiver.last_heard());
    const double handover = *call.receiver.last_heard() + live_receiver_settings{}.hold_seconds;
    ASSERT_TRUE(call.receiver.next_event());
    const double next = *call.receiver.next_event();
    EXPECT_LT(next, handover);
    call.receiver.play_due(next);
    EXPECT_EQ(call.heard.substr(0, 2), "|a");
}

}  // namespace
}  // namespace g723::rtp
