// SPDX-License-Identifier: BSD-2-Clause
// Hostile input through the decode calls: random bytes, 5.3 kbit/s headers,
// out-of-range lag and gain codes, garbled LSP indices and random erasure
// flags. Every call must produce 240 samples and a valid result, and two
// decoders fed the same stream must agree sample for sample (a read of
// anything uninitialized or outside the frame would show up here, and under
// the sanitizers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "g723/decoder/decoder_state.h"
#include "g723/g723.h"
#include "tests/support/random_frames.h"

namespace g723 {
namespace {

using testing::coded_slot;

// A decoder opened and closed through the public calls.
struct close_decoder {
    void operator()(g723_decoder* d) const { g723_decoder_close(&d); }
};
using decoder_handle = std::unique_ptr<g723_decoder, close_decoder>;

decoder_handle new_decoder(int32_t filter_mode) {
    g723_decoder* d = nullptr;
    EXPECT_EQ(g723_decoder_open(&d), g723_ok);
    EXPECT_EQ(g723_decoder_set_filter_mode(d, filter_mode), g723_ok);
    return decoder_handle(d);
}

// Frame bits k .. k + width - 1, least significant bit first.
void set_bits(coded_slot& s, int start, int width, uint32_t value) {
    for (int i = 0; i < width; ++i) {
        const int bit = start + i;
        s[bit / 8] = static_cast<uint8_t>((s[bit / 8] & ~(1 << (bit % 8))) | (((value >> i) & 1) << (bit % 8)));
    }
}

coded_slot hostile_slot(std::mt19937& rng) {
    coded_slot s{};
    const int kind = static_cast<int>(rng() % 8);
    if (kind <= 2) {
        for (auto& b : s) b = static_cast<uint8_t>(rng());  // anything at all
    } else if (kind == 3) {
        s = testing::pack(testing::random_speech_params(rng));  // valid, loudest gains included
    } else if (kind == 4) {
        s = testing::pack(testing::random_speech_params(rng));
        set_bits(s, 0, 2, 1);  // 5.3 kbit/s header over valid fields
    } else if (kind == 5) {
        s = testing::pack(testing::random_speech_params(rng));
        set_bits(s, rng() % 2 ? 26 : 35, 7, 124 + rng() % 4);  // lag code out of range
    } else if (kind == 6) {
        s = testing::pack(testing::random_speech_params(rng));
        set_bits(s, 44 + 12 * (rng() % 4), 12, 0xfff - rng() % 64);  // gain word out of range
    } else {
        for (auto& b : s) b = static_cast<uint8_t>(rng());
        set_bits(s, 0, 2, 2 + rng() % 2);  // SID or untransmitted with garbage behind
    }
    return s;
}

TEST(DecodeFuzz, RandomSlotsAlwaysGiveWholeFramesAndValidResults) {
    std::mt19937 rng(20261207);
    for (int32_t filter_mode : {1, 0}) {
        auto a = new_decoder(filter_mode);
        auto b = new_decoder(filter_mode);
        std::vector<int16_t> out_a(240), out_b(240);
        int results[4] = {0, 0, 0, 0};
        for (int frame = 0; frame < 3000; ++frame) {
            if (frame % 500 == 250) {
                // Switch the postfilter over mid-stream, and now and then reset.
                int32_t mode = 0;
                g723_decoder_get_filter_mode(a.get(), &mode);
                ASSERT_EQ(g723_decoder_set_filter_mode(a.get(), 1 - mode), g723_ok);
                ASSERT_EQ(g723_decoder_set_filter_mode(b.get(), 1 - mode), g723_ok);
            } else if (frame % 1000 == 999) {
                ASSERT_EQ(g723_decoder_reset(a.get()), g723_ok);
                ASSERT_EQ(g723_decoder_reset(b.get()), g723_ok);
            }
            const coded_slot slot = hostile_slot(rng);
            int32_t lost = 0;
            const uint32_t r = rng() % 16;
            if (r == 0) lost = 1;
            else if (r == 1) lost = static_cast<int32_t>(rng());  // any 32-bit flag
            // A heap copy of exactly the slot, so a read past it is caught.
            auto bytes = std::make_unique<uint8_t[]>(24);
            std::memcpy(bytes.get(), slot.data(), 24);

            int32_t count_a = -1, count_b = -1;
            const g723_result ra = g723_decode_frame(a.get(), bytes.get(), out_a.data(), lost, &count_a);
            const g723_result rb = g723_decode_frame(b.get(), bytes.get(), out_b.data(), lost, &count_b);
            ASSERT_EQ(count_a, 240);
            ASSERT_EQ(count_b, 240);
            ASSERT_TRUE(ra == g723_ok || ra == g723_frame_not_supported || ra == g723_frame_invalid) << ra;
            ASSERT_EQ(ra, rb);
            ASSERT_EQ(out_a, out_b) << frame;
            ++results[ra];
        }
        // The stream reached every outcome.
        EXPECT_GT(results[g723_ok], 0);
        EXPECT_GT(results[g723_frame_not_supported], 0);
        EXPECT_GT(results[g723_frame_invalid], 0);
    }
}

TEST(DecodeFuzz, RandomPacketsThroughThePacketCall) {
    std::mt19937 rng(99);
    auto d = new_decoder(1);
    for (int call = 0; call < 300; ++call) {
        const int slots = static_cast<int>(rng() % 6);
        const int extra = static_cast<int>(rng() % 24);
        const int32_t bytes_given = 24 * slots + extra;
        auto in = std::make_unique<uint8_t[]>(static_cast<size_t>(bytes_given) + 1);
        for (int i = 0; i < bytes_given; ++i) in[i] = static_cast<uint8_t>(rng());
        std::vector<int16_t> out(static_cast<size_t>(240 * slots) + 1, 0x5a5a);
        int32_t length = bytes_given, count = -1;
        const g723_result r = g723_decode_packet(d.get(), in.get(), &length, out.data(),
                                                 rng() % 8 == 0 ? 1 : 0, &count);
        ASSERT_TRUE(r == g723_ok || r == g723_frame_invalid);
        ASSERT_EQ(length, 24 * slots);
        ASSERT_EQ(count, 240 * slots);
        ASSERT_EQ(out[240 * slots], 0x5a5a);  // nothing beyond the whole frames
    }
}

TEST(DecodeFuzz, DecoderRecoversAfterOverflowingStream) {
    // Valid frames with the largest adaptive-codebook gains (tap sums near
    // 1.86 and 2.24) and the loudest pulses, frame after frame, grow the
    // excitation until it overflows. Clean frames afterwards must bring the
    // decoder back instead of leaving it stuck at the rail.
    std::mt19937 rng(5);
    for (int32_t lag : {18, 60, 141}) {
        auto d = new_decoder(1);
        std::vector<int16_t> out(240);
        int32_t n = 0;
        for (int frame = 0; frame < 200; ++frame) {
            frame_params p = testing::random_speech_params(rng);
            p.open_loop_lag = {lag, lag};
            for (auto& s : p.subframes) {
                s.acb_gain_index = lag < 58 ? 84 : 169;
                s.fixed_gain_index = 23;
                s.pulse_train = 0;
            }
            ASSERT_EQ(g723_decode_frame(d.get(), testing::pack(p).data(), out.data(), 0, &n), g723_ok);
        }
        // The huge but finite excitation left behind decays within a couple
        // of seconds of clean frames.
        int last_railed = -1;
        for (int frame = 0; frame < 150; ++frame) {
            const coded_slot slot = testing::pack(testing::random_speech_params(rng, 8));
            g723_decode_frame(d.get(), slot.data(), out.data(), 0, &n);
            int at_rail = 0;
            for (int16_t s : out) at_rail += s == -32768 || s == 32767;
            if (at_rail > 120) last_railed = frame;
        }
        EXPECT_LT(last_railed, 100) << lag;
        for (float v : d->synthesis_memory) EXPECT_TRUE(std::isfinite(v)) << lag;
        EXPECT_TRUE(std::isfinite(d->gain_scale_state)) << lag;
        EXPECT_TRUE(std::isfinite(d->tilt_memory)) << lag;
    }
}

}  // namespace
}  // namespace g723
