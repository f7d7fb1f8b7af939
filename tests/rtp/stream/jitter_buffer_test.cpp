// SPDX-License-Identifier: BSD-2-Clause
// The jitter buffer on made-up arrival times: order restored, duplicates
// and late packets dropped, playout delay following the jitter within its
// limits, a new sender playing out what the old one left.
#include "rtp/stream/jitter_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace g723::rtp {
namespace {

// Packet `n` of a stream of one-frame packets: timestamp 240 n.
held_packet packet(std::int64_t n, std::uint32_t ssrc = 7) {
    return {n, static_cast<std::uint32_t>(240 * n), ssrc, {0}};
}

std::vector<std::int64_t> numbers(const std::vector<held_packet>& played) {
    std::vector<std::int64_t> result;
    for (const auto& p : played) result.push_back(p.extended_sequence);
    return result;
}

TEST(jitter_buffer, RestoresOrderAndDropsDuplicatesAndLatePackets) {
    jitter_buffer buffer({0.05, 0.3});
    std::vector<held_packet> played;
    EXPECT_EQ(buffer.add(packet(1), 0.030, played), arrival_kind::in_order);
    EXPECT_EQ(buffer.add(packet(3), 0.090, played), arrival_kind::in_order);
    EXPECT_EQ(buffer.add(packet(2), 0.091, played), arrival_kind::reordered);
    EXPECT_EQ(buffer.add(packet(2), 0.092, played), arrival_kind::duplicate);
    // Packet 1 (transit 0.03 s, the floor) plays at 0.03 + 0.05.
    ASSERT_TRUE(buffer.next_playout());
    EXPECT_NEAR(*buffer.next_playout(), 0.08, 1e-9);
    buffer.play_due(0.079, played);
    EXPECT_TRUE(played.empty());
    buffer.play_due(0.15, played);
    EXPECT_EQ(numbers(played), (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(buffer.add(packet(3), 0.16, played), arrival_kind::duplicate);
    // Packet 5 is due at 0.03 + 0.15 + 0.05; later than that it is late,
    // and packet 4, behind a played packet 5, is late too.
    EXPECT_EQ(buffer.add(packet(5), 0.25, played), arrival_kind::late);
    // The delay now covers such a packet.
    EXPECT_GE(buffer.delay_seconds(), 0.07);
    EXPECT_EQ(buffer.add(packet(6), 0.21, played), arrival_kind::in_order);
    buffer.play_due(1.0, played);
    EXPECT_EQ(buffer.add(packet(4), 1.0, played), arrival_kind::late);
    EXPECT_EQ(numbers(played), (std::vector<std::int64_t>{1, 2, 3, 6}));

    // A flood of packets all due far ahead is held only up to a bound.
    jitter_buffer flooded({10.0, 10.0});
    played.clear();
    for (std::int64_t n = 0; n < 5000; ++n) flooded.add(packet(n), 0.0, played);
    EXPECT_EQ(flooded.held() + played.size(), 5000u);
    EXPECT_LE(flooded.held(), 4096u);
}

TEST(jitter_buffer, DelayFollowsTheJitterWithinItsLimits) {
    for (const double swing : {0.0, 0.02, 2.0}) {
        jitter_buffer buffer({0.03, 0.3});
        std::vector<held_packet> played;
        for (std::int64_t n = 0; n < 200; ++n) {
            const double arrival = 0.03 * static_cast<double>(n) + (n % 2 ? swing : 0.0);
            buffer.add(packet(n), arrival, played);
            buffer.play_due(arrival, played);
        }
        // The jitter estimate converges to the swing: four times it, at
        // least the least delay, at most the greatest.
        const double expected = std::clamp(4 * swing, 0.03, 0.3);
        EXPECT_NEAR(buffer.delay_seconds(), expected, 0.005) << swing;
    }
}

// Talkspurts of full packets ending in a shorter one, as a sender packs
// them, sent when the packet's last frame has been spoken (or, by senders
// that time packets by their first frame, when its first one has), over an
// idle path: with the least delay no packet is late.
TEST(jitter_buffer, ShortPacketsAtTheEndOfTalkspurtsMakeNoPacketLate) {
    for (const bool timed_by_last_frame : {true, false}) {
        for (const std::size_t frames_per_packet : {2u, 3u, 8u}) {
            jitter_buffer buffer({0.03, 0.3});
            std::vector<held_packet> played;
            std::mt19937 random(5);
            std::uniform_real_distribution<double> jitter(0.0, 0.0003);
            std::int64_t sequence = 0;
            std::size_t frame = 0, late = 0;
            for (int talkspurt = 0; talkspurt < 12; ++talkspurt) {
                // 7 + talkspurt frames, then 10 untransmitted.
                for (std::size_t left = 7 + talkspurt; left > 0;) {
                    const std::size_t frames = std::min(left, frames_per_packet);
                    held_packet p{sequence++, static_cast<std::uint32_t>(240 * frame), 7,
                                  std::vector<std::uint8_t>(24 * frames, 0)};
                    const double sent = 0.03 * static_cast<double>(frame + (timed_by_last_frame ? frames : 0));
                    const double arrival = sent + 0.0001 + jitter(random);
                    buffer.play_due(arrival, played);
                    if (buffer.add(std::move(p), arrival, played) == arrival_kind::late) ++late;
                    frame += frames;
                    left -= frames;
                }
                frame += 10;
            }
            EXPECT_EQ(late, 0u) << frames_per_packet << " frames per packet, timed by "
                                << (timed_by_last_frame ? "last" : "first") << " frame";
        }
    }
}

TEST(jitter_buffer, ANewSenderPlaysOutWhatTheOldOneLeft) {
    jitter_buffer buffer({0.5, 0.5});
    std::vector<held_packet> played;
    buffer.add(packet(10), 0.0, played);
    buffer.add(packet(11), 0.03, played);
    EXPECT_TRUE(played.empty());
    // Another SSRC with a timestamp far behind: the old packets go out at
    // once, the new one waits for its own playout time.
    EXPECT_EQ(buffer.add(packet(1, 8), 0.05, played), arrival_kind::in_order);
    EXPECT_EQ(numbers(played), (std::vector<std::int64_t>{10, 11}));
    EXPECT_NEAR(*buffer.next_playout(), 0.55, 1e-9);
    // A timestamp going back within one SSRC restarts the timing as well.
    buffer.add(held_packet{2, 5, 8, {0}}, 0.06, played);
    EXPECT_EQ(numbers(played), (std::vector<std::int64_t>{10, 11, 1}));
}

}  // namespace
}  // namespace g723::rtp
