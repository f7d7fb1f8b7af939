// SPDX-License-Identifier: BSD-2-Clause
// The jitter buffer on made-up arrival times: order restored, duplicates
// and late packets dropped, playout delay learnt within its limits, early
// packets held, a new sender playing out what the old one left.
#include "rtp/stream/jitter_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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
    // Packet 5 was due at 0.03 + 0.15 + 0.05; nothing after it has played,
    // so the playout waits for it: the delay rises at once to cover it.
    EXPECT_EQ(buffer.add(packet(5), 0.25, played), arrival_kind::in_order);
    EXPECT_GE(buffer.delay_seconds(), 0.1);
    EXPECT_EQ(buffer.add(packet(6), 0.26, played), arrival_kind::in_order);
    // Packet 8 more than the greatest delay after its time is late; packet
    // 4, behind a played packet 5, is late too.
    EXPECT_EQ(buffer.add(packet(8), 0.8, played), arrival_kind::late);
    buffer.play_due(1.0, played);
    EXPECT_EQ(buffer.add(packet(4), 1.0, played), arrival_kind::late);
    EXPECT_EQ(numbers(played), (std::vector<std::int64_t>{1, 2, 3, 5, 6}));

    // A flood of packets all due far ahead is held up to two minutes of
    // audio; the rest are dropped as early.
    jitter_buffer flooded({10.0, 10.0});
    played.clear();
    std::size_t early = 0;
    for (std::int64_t n = 0; n < 5000; ++n) {
        if (flooded.add(packet(n), 0.0, played) == arrival_kind::early) ++early;
    }
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(flooded.held() + early, 5000u);
    EXPECT_NEAR(static_cast<double>(flooded.held()) * 0.03, 120.0 - 10.0, 0.1);
}

// Packets every 30 ms with a delay of 5 ms plus a heavy tail (exponential,
// mean 20 ms), one in a hundred 150 ms late on top, in talkspurts of 20
// frames and pauses of 10: few packets come too late, and the delay
// never falls inside a talkspurt.
TEST(jitter_buffer, DelayLearnsAHighQuantileAndFallsOnlyInPauses) {
    jitter_buffer buffer({0.01, 0.5});
    std::vector<held_packet> played;
    std::mt19937 random(9);
    std::exponential_distribution<double> tail(1.0 / 0.02);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<std::pair<double, int>> arrivals;  // arrival, frame
    std::map<int, std::int64_t> numbers;
    for (int frame = 0; frame < 6000; ++frame) {
        if (frame % 30 >= 20) continue;  // the pause
        const double spike = percent(random) == 0 ? 0.15 : 0.0;
        arrivals.emplace_back(0.03 * (frame + 1) + 0.005 + tail(random) + spike, frame);
        numbers[frame] = static_cast<std::int64_t>(numbers.size());
    }
    std::sort(arrivals.begin(), arrivals.end());
    std::size_t late = 0;
    for (const auto& [arrival, frame] : arrivals) {
        buffer.play_due(arrival, played);
        held_packet p{numbers[frame], static_cast<std::uint32_t>(240 * frame), 7, {0}};
        if (buffer.add(std::move(p), arrival, played) == arrival_kind::late) ++late;
    }
    const double last_due = *buffer.last_playout();
    buffer.play_all(last_due, played);
    EXPECT_LT(static_cast<double>(late), 0.03 * static_cast<double>(arrivals.size())) << late << " late";
    // Near the quantile of the tail (some 90 ms for 2 % with the spikes),
    // raised after each spike and falling back in the pauses.
    EXPECT_LT(buffer.delay_seconds(), 0.19);
    EXPECT_GT(buffer.delay_seconds(), 0.05);
    // Inside a talkspurt every packet plays 30 ms after the one before.
    for (std::size_t i = 1; i < played.size(); ++i) {
        const std::int64_t frame = played[i].timestamp / 240, previous = played[i - 1].timestamp / 240;
        if (frame / 30 != previous / 30 || frame != previous + 1) continue;
        EXPECT_GE(played[i].playout_seconds - played[i - 1].playout_seconds, 0.03 - 1e-9) << frame;
    }
}

// The first 500 packets come at once (a sender catching up after a stall),
// the rest in real time: every packet waits for its time, none is late.
TEST(jitter_buffer, EarlyPacketsWaitForTheirTime) {
    jitter_buffer buffer({0.03, 0.3});
    std::vector<held_packet> played;
    for (std::int64_t n = 0; n < 500; ++n) {
        EXPECT_EQ(buffer.add(packet(n), 0.03, played), arrival_kind::in_order);
    }
    for (std::int64_t n = 500; n < 700; ++n) {
        const double arrival = 0.03 * static_cast<double>(n + 1);
        buffer.play_due(arrival, played);
        EXPECT_EQ(buffer.add(packet(n), arrival, played), arrival_kind::in_order);
    }
    buffer.play_all(100.0, played);
    ASSERT_EQ(played.size(), 700u);
    for (std::size_t n = 0; n < 690; ++n) {
        EXPECT_NEAR(played[n].playout_seconds, 0.03 * static_cast<double>(n + 1) + 0.03, 1e-9) << n;
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

// The byte bound counts what is held, not what passed: a call of large
// packets, played as they arrive, loses none of them once more than the
// bound has gone through.
TEST(jitter_buffer, TheByteBoundCountsOnlyWhatIsHeld) {
    jitter_buffer buffer({0.05, 0.3});
    std::vector<held_packet> played;
    constexpr std::size_t packet_bytes = 4096;
    const std::int64_t count = 2 * jitter_buffer::max_held_bytes / packet_bytes;
    std::size_t heard = 0;
    for (std::int64_t n = 0; n < count; ++n) {
        held_packet large{n, static_cast<std::uint32_t>(1920 * n), 7, std::vector<std::uint8_t>(packet_bytes)};
        buffer.add(std::move(large), 0.24 * (n + 1), played);
        buffer.play_due(0.24 * (n + 1), played);
        heard += played.size();
        played.clear();
    }
    buffer.play_all(0.24 * (count + 1), played);
    heard += played.size();
    EXPECT_EQ(heard, static_cast<std::size_t>(count));
}

}  // namespace
}  // namespace g723::rtp
