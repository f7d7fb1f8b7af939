// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "g723/api/decode_calls.h"
#include "g723/decoder/decoder_state.h"
#include "g723/g723.h"
#include "tests/support/random_frames.h"

namespace g723 {
namespace {

using testing::coded_slot;
using testing::pack;
using testing::random_speech_params;

// A decoder opened and closed through the public calls.
struct close_decoder {
    void operator()(g723_decoder* d) const { g723_decoder_close(&d); }
};
using decoder_handle = std::unique_ptr<g723_decoder, close_decoder>;

decoder_handle new_decoder() {
    g723_decoder* d = nullptr;
    EXPECT_EQ(g723_decoder_open(&d), g723_ok);
    return decoder_handle(d);
}

// n slots of speech, SID and untransmitted frames, back to back.
std::vector<uint8_t> packet(std::mt19937& rng, int n) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < n; ++i) {
        const int32_t type = i % 5 == 3 ? kFrameSid : i % 5 == 4 ? kFrameUntransmitted : kFrameSpeech;
        const coded_slot slot = pack(random_speech_params(rng, 12), type);
        bytes.insert(bytes.end(), slot.begin(), slot.end());
    }
    return bytes;
}

TEST(DecodePacket, DecodesWholeSlotsOnly) {
    auto d = new_decoder();
    std::mt19937 rng(1);
    std::vector<uint8_t> in = packet(rng, 3);
    std::vector<int16_t> out(720, 7);
    int32_t length = 50;
    int32_t count = -1;
    EXPECT_EQ(g723_decode_packet(d.get(), in.data(), &length, out.data(), 0, &count), g723_ok);
    EXPECT_EQ(length, 48);
    EXPECT_EQ(count, 480);
    EXPECT_EQ(out[480], 7);  // nothing written beyond the whole frames

    for (int32_t short_length : {23, 0, -24, -1000}) {
        length = short_length;
        count = -1;
        EXPECT_EQ(g723_decode_packet(d.get(), in.data(), &length, out.data(), 0, &count), g723_ok);
        EXPECT_EQ(length, 0);
        EXPECT_EQ(count, 0);
    }
}

TEST(DecodePacket, TakesNoMoreFramesThanItsSampleCountCanReport) {
    // A packet of some 215 MB or more holds more frames than a 32-bit sample
    // count reaches: the call takes the most it can report and leaves the
    // rest unconsumed instead of overflowing the count.
    constexpr int32_t kMost = std::numeric_limits<int32_t>::max();
    const int32_t frames = packet_frames(kMost, 24);
    EXPECT_LE(int64_t{frames} * 240, int64_t{kMost});
    EXPECT_GT(int64_t{frames + 1} * 240, int64_t{kMost});
    EXPECT_EQ(packet_frames(24 * frames, 24), frames);
}

TEST(DecodePacket, AnyFailedFrameFailsThePacketButAllAreDecoded) {
    std::mt19937 rng(2);
    std::vector<uint8_t> in = packet(rng, 3);
    in[24] = static_cast<uint8_t>((in[24] & ~3) | 1);  // second slot: 5.3 kbit/s header

    auto whole = new_decoder();
    std::vector<int16_t> out(720);
    int32_t length = 72, count = 0;
    EXPECT_EQ(g723_decode_packet(whole.get(), in.data(), &length, out.data(), 0, &count),
              g723_frame_invalid);
    EXPECT_EQ(count, 720);
    EXPECT_EQ(length, 72);

    auto single = new_decoder();
    std::vector<int16_t> frames(720);
    const g723_result expected[] = {g723_ok, g723_frame_not_supported, g723_ok};
    for (int f = 0; f < 3; ++f) {
        int32_t n = 0;
        EXPECT_EQ(g723_decode_frame(single.get(), in.data() + 24 * f, frames.data() + 240 * f, 0, &n),
                  expected[f]);
        EXPECT_EQ(n, 240);
    }
    EXPECT_EQ(out, frames);
}

TEST(DecodePacket, SplittingIntoPacketsChangesNothing) {
    std::mt19937 rng(3);
    const std::vector<uint8_t> in = packet(rng, 12);

    auto single = new_decoder();
    std::vector<int16_t> expected(12 * 240);
    for (int f = 0; f < 12; ++f) {
        int32_t n = 0;
        g723_decode_frame(single.get(), in.data() + 24 * f, expected.data() + 240 * f, 0, &n);
    }

    auto split = new_decoder();
    std::vector<int16_t> got(12 * 240);
    int frame = 0;
    for (int size : {1, 5, 6}) {
        int32_t length = 24 * size, count = 0;
        EXPECT_EQ(g723_decode_packet(split.get(), in.data() + 24 * frame, &length,
                                     got.data() + 240 * frame, 0, &count), g723_ok);
        EXPECT_EQ(count, 240 * size);
        frame += size;
    }
    EXPECT_EQ(got, expected);
}

TEST(DecodeFrame, LostFrameIsNotReadAndOnlyLow16BitsOfTheFlagCount) {
    std::mt19937 rng(4);
    const coded_slot slot = pack(random_speech_params(rng, 12));
    auto a = new_decoder();
    auto b = new_decoder();
    std::vector<int16_t> out_a(240), out_b(240);
    int32_t n = 0;
    // A lost frame's bytes are never touched: a null input is fine.
    EXPECT_EQ(g723_decode_frame(a.get(), nullptr, out_a.data(), 1, &n), g723_ok);
    EXPECT_EQ(n, 240);
    EXPECT_EQ(g723_decode_frame(a.get(), nullptr, out_a.data(), static_cast<int32_t>(0x80000001u), &n),
              g723_ok);
    EXPECT_EQ(a->erasure_count, 2);

    // 0x10000 has no low bits set: the frame is decoded.
    a = new_decoder();
    n = 0;
    EXPECT_EQ(g723_decode_frame(a.get(), slot.data(), out_a.data(), 0x10000, &n), g723_ok);
    EXPECT_EQ(g723_decode_frame(b.get(), slot.data(), out_b.data(), 0, &n), g723_ok);
    EXPECT_EQ(a->erasure_count, 0);
    EXPECT_EQ(out_a, out_b);
}

}  // namespace
}  // namespace g723
