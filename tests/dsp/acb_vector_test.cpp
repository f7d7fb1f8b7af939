// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/acb_vector.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace g723 {
namespace {

constexpr float kScale = 1.0f / 16384.0f;

// A heap block holding exactly `older` samples, the 145-sample history and
// one subframe, so that AddressSanitizer catches any read before it. Sample
// at time t (relative to the subframe) holds 1000 + t.
struct excitation_block {
    explicit excitation_block(int older = 0) : older(older), data(older + 145 + 60) {
        for (int i = 0; i < static_cast<int>(data.size()); ++i)
            data[i] = 1000.0f + static_cast<float>(i - older - 145);
    }
    const float* history() const { return data.data() + older; }
    int older;
    std::vector<float> data;
};

TEST(FetchLaggedExcitation, ShortLagRepeatsTheLastPeriod) {
    const excitation_block block;
    lagged_excitation b;
    fetch_lagged_excitation(b, block.history(), 20);
    for (int m = 0; m < 5; ++m) EXPECT_EQ(b[m], 1000.0f + static_cast<float>(m - 25)) << m;
    for (int i = 0; i < 62; ++i) EXPECT_EQ(b[5 + i], 1000.0f + static_cast<float>(-20 + i % 20)) << i;
    EXPECT_EQ(b[25], b[5]);
}

TEST(FetchLaggedExcitation, LongLagReadsPastOnlyUpToTheSubframe) {
    const excitation_block block;
    lagged_excitation b;
    fetch_lagged_excitation(b, block.history(), 100);
    for (int m = 0; m < 67; ++m) {
        const int t = m - 100 - 5;
        const float expected = t < 0 ? 1000.0f + static_cast<float>(t) : 1000.0f + static_cast<float>(t - 100);
        EXPECT_EQ(b[m], expected) << m;
    }
}

TEST(FetchLaggedExcitation, LargestDecodedLagReachesOldestHistorySampleOnly) {
    const excitation_block block;
    lagged_excitation b;
    fetch_lagged_excitation(b, block.history(), 143);
    // Entries 0..2 would lie before the history: not read, set to zero.
    EXPECT_EQ(b[0], 0.0f);
    EXPECT_EQ(b[1], 0.0f);
    EXPECT_EQ(b[2], 0.0f);
    EXPECT_EQ(b[3], 1000.0f - 145.0f);
    EXPECT_EQ(b[5], 1000.0f - 143.0f);
}

TEST(FetchLaggedExcitation, ComfortNoiseLagsReadTrueOlderSamplesWhenVouchedFor) {
    // Lag 145 in the last subframe of a comfort-noise frame: entries 3 and 4
    // stand for e[-147] and e[-146], which lie in the same frame's buffer.
    const excitation_block block(180);
    lagged_excitation b;
    fetch_lagged_excitation(b, block.history(), 145, 180);
    EXPECT_EQ(b[3], 1000.0f - 147.0f);
    EXPECT_EQ(b[4], 1000.0f - 146.0f);
    EXPECT_EQ(b[5], 1000.0f - 145.0f);

    // Without the caller's word nothing before the history is read.
    const excitation_block bare;
    fetch_lagged_excitation(b, bare.history(), 145);
    EXPECT_EQ(b[3], 0.0f);
    EXPECT_EQ(b[4], 0.0f);
    EXPECT_EQ(b[5], 1000.0f - 145.0f);
}

// History that is zero except e[-lag] = 1.
std::vector<float> impulse_history(int lag) {
    std::vector<float> h(145 + 60, 0.0f);
    h[145 - lag] = 1.0f;
    return h;
}

TEST(DecodeAcbVector, ShortOpenLoopLagUsesThe85RowCodebook) {
    // 85-row index 1 = (800, 1496, 167, -256, -338) / 16384. With L = 57 the
    // impulse appears at lagged entry 5 and again one period later at 62.
    const std::vector<float> h = impulse_history(57);
    std::array<float, 60> v;
    decode_acb_vector(v, h.data(), 57, 1, 1);
    const float g[5] = {800 * kScale, 1496 * kScale, 167 * kScale, -256 * kScale, -338 * kScale};
    for (int n = 0; n < 60; ++n) {
        float expected = 0.0f;
        if (n <= 2) expected = g[2 - n];                 // g2 at n = 0, g1, g0
        if (n >= 55) expected = g[59 - n];               // g4 at 55 ... g0 at 59
        EXPECT_EQ(v[n], expected) << n;
    }
}

TEST(DecodeAcbVector, LongOpenLoopLagUsesThe170RowCodebookForEveryOffset) {
    // 170-row index 1 = (776, 212, 715, 670, 809) / 16384; g2 weights e[n - L].
    for (int offset = 0; offset <= 3; ++offset) {
        const int lag = 58 + offset - 1;
        const std::vector<float> h = impulse_history(lag);
        std::array<float, 60> v;
        decode_acb_vector(v, h.data(), 58, offset, 1);
        EXPECT_EQ(v[0], 715 * kScale) << offset;
        EXPECT_EQ(v[1], 212 * kScale) << offset;
        EXPECT_EQ(v[2], 776 * kScale) << offset;
    }
}

TEST(DecodeAcbVector, ZeroGainIndexGivesSilence) {
    excitation_block block;
    std::array<float, 60> v;
    for (int lag : {18, 57, 58, 141}) {
        decode_acb_vector(v, block.history(), lag, 3, 0);
        for (float x : v) EXPECT_EQ(x, 0.0f) << lag;
    }
}

TEST(DecodeAcbVector, LargestLagWeightsOldestSampleWithFirstTap) {
    // Open-loop lag 141, offset 3: L = 143, so g0 at n = 0 weights e[-145].
    std::vector<float> h(145 + 60, 0.0f);
    h[0] = 1.0f;
    std::array<float, 60> v;
    decode_acb_vector(v, h.data(), 141, 3, 169);
    // 170-row index 169 = (5297, 8374, 8872, 7694, 6538) / 16384.
    EXPECT_EQ(v[0], 5297 * kScale);
    for (int n = 1; n < 60; ++n) EXPECT_EQ(v[n], 0.0f) << n;
}

}  // namespace
}  // namespace g723
