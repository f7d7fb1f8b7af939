// SPDX-License-Identifier: BSD-2-Clause
// The frame timeline: loss, silence gaps and segments told apart by
// sequence numbers and timestamps, across the timestamp wrap.
#include "rtp/stream/stream_timeline.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "rtp/stream/stream_statistics.h"

namespace g723::rtp {
namespace {

using namespace std::string_literals;

// A payload of `count` frames: speech frames numbered in their second
// byte, a SID frame where `kinds` has 'S'.
std::vector<std::uint8_t> payload(const std::string& kinds, std::uint8_t number) {
    std::vector<std::uint8_t> bytes;
    for (const char kind : kinds) {
        const std::size_t length = kind == 'S' ? 4 : 24;
        const std::size_t at = bytes.size();
        bytes.resize(at + length, 0);
        bytes[at] = kind == 'S' ? 2 : 0;
        bytes[at + 1] = number++;
    }
    return bytes;
}

// The timeline as letters: R received, L lost, U untransmitted, '|' before
// a frame that starts a segment.
struct fed {
    std::string letters;
    stream_statistics statistics;
};

struct packet_plan {
    std::int64_t sequence;
    std::uint32_t timestamp;
    std::string kinds;
    std::uint32_t ssrc = 1;
    std::optional<double> arrival = std::nullopt;
};

fed feed(const std::vector<packet_plan>& packets, double time_slack = 2.0) {
    stream_timeline timeline(time_slack);
    std::vector<timeline_frame> frames;
    fed result;
    for (const packet_plan& plan : packets) {
        const auto bytes = payload(plan.kinds, 0);
        result.statistics.add(
            timeline.add({plan.sequence, plan.timestamp, plan.ssrc, bytes, plan.arrival}, frames));
    }
    for (const timeline_frame& frame : frames) {
        if (frame.starts_segment) result.letters += '|';
        result.letters += "RLU"[static_cast<int>(frame.origin)];
    }
    return result;
}

TEST(stream_timeline, LossSilenceAndTheTimestampWrap) {
    const std::uint32_t t = 0xffffffffu - 479;  // wraps after two frames
    const fed result = feed({
        {10, t, "SS"},  // two frames per packet
        {11, t + 480, "SS"},
        {13, t + 1440, "SS"},  // one packet of two frames lost
        {14, t + 1920, "SS"},
        {15, t + 2400 + 2400, "S"},  // ten frames of silence
        {17, t + 4800 + 1200, "S"},  // one packet lost: two frames lost, two silent
        {18, t + 6240, ""},          // no frame at all: the gap counts as loss
        {19, t + 6480, "S"},
    });
    EXPECT_EQ(result.letters, "|RRRRLLRRRRUUUUUUUUUURLLUURLR");
    const stream_statistics& s = result.statistics;
    EXPECT_EQ(s.packets, 8u);
    EXPECT_EQ(s.frames, 11u);
    EXPECT_EQ(s.sid_frames, 11u);
    EXPECT_EQ(s.lost_packets, 3u);
    EXPECT_EQ(s.lost_frames, 5u);
    EXPECT_EQ(s.untransmitted_frames, 12u);
    EXPECT_EQ(s.segments, 1u);
}

TEST(stream_timeline, SsrcChangeBackwardStepAndLongJumpStartSegments) {
    const fed result = feed({
        {1, 1000, "R"},
        {2, 1240, "R", 2},                     // new sender
        {3, 1000, "R", 2},                     // timestamp went back
        {4, 1240 + 60 * 8000, "R", 2},         // a minute of silence is still silence
        {5, 1480 + 120 * 8000 + 240, "R", 2},  // more than a minute is not
        {6, 0, "R", 2, 100.0},
        {7, 240 + 10 * 8000, "R", 2, 111.5},  // ten seconds of silence, as the clock saw
        {8, 480 + 40 * 8000, "R", 2, 112.0},  // thirty seconds in half a second is not
    });
    EXPECT_EQ(result.letters.substr(0, 6), "|R|R|R");
    EXPECT_EQ(result.letters.size(), 6u + 2000u + 3u + 2u + 333u + 1u + 2u);
    EXPECT_EQ(result.letters.substr(6 + 2000, 5), "R|R|R");
    EXPECT_EQ(result.letters.substr(result.letters.size() - 3), "UR|R"s.substr(1));
    EXPECT_EQ(result.statistics.segments, 6u);
    EXPECT_EQ(result.statistics.untransmitted_frames, 2000u + 333u);
}

// Packets whose timestamps run ahead of their arrival times a little each
// time: every gap alone is within the slack, but the timeline as a whole
// never runs more than the slack ahead of the arrivals; packets beyond it
// are dropped and counted.
TEST(stream_timeline, AChainOfTimestampsAheadOfTimeIsHeldToTheArrivals) {
    std::vector<packet_plan> chain;
    for (std::int64_t n = 0; n < 2000; ++n) {
        chain.push_back({n, static_cast<std::uint32_t>(15200 * n), "R", 1, 0.0005 * n});
    }
    const auto frames = [](const fed& fed) {
        return fed.statistics.frames + fed.statistics.untransmitted_frames + fed.statistics.lost_frames;
    };
    const fed result = feed(chain);
    const double span = 0.0005 * 1999;
    EXPECT_LE(frames(result), (span + 2.0) / 0.03);
    EXPECT_GE(result.statistics.untransmitted_frames, 60u);  // the first gap fits the slack
    EXPECT_GT(result.statistics.beyond_time_frames, 1900u);
    EXPECT_EQ(result.statistics.frames + result.statistics.beyond_time_frames, 2000u);
    // A live receiver's slack, its greatest playout delay and one packet.
    EXPECT_LE(frames(feed(chain, 0.54)), (span + 0.54) / 0.03);
}

// A gap is taken as silence while it fits in the time that passed since
// the packet before, with the slack: up to exactly that many timestamp
// units. (The second packet comes late, so that the bound of the whole
// timeline leaves room.)
TEST(stream_timeline_arrivals, AGapOfExactlyTheTimeThatPassedIsSilenceOneUnitMoreANewSegment) {
    // 0.25 s between the last two arrivals and 2 s of slack: 18000 units
    // allowed after the second frame.
    const fed fits = feed({{0, 0, "R", 1, 1.0}, {1, 240, "R", 1, 11.0}, {2, 480 + 18000, "R", 1, 11.25}});
    EXPECT_EQ(fits.letters, "|RR" + std::string(75, 'U') + "R");
    const fed beyond = feed({{0, 0, "R", 1, 1.0}, {1, 240, "R", 1, 11.0}, {2, 480 + 18001, "R", 1, 11.25}});
    EXPECT_EQ(beyond.letters, "|RR|R");
}

}  // namespace
}  // namespace g723::rtp
