// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/harmonic_shaping.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace g723 {
namespace {

constexpr int kPast = 147;  // the comb reaches lag 144 + 3
constexpr int kSubframe = 60;

// Weighted speech around one subframe: 147 past samples, then 60.
struct subframe_buffer {
    std::array<float, kPast + kSubframe> samples{};
    float& operator[](int n) { return samples[kPast + n]; }  // n = -147 .. 59
    const float* subframe() const { return samples.data() + kPast; }
};

// Small integers throughout, so that every correlation and energy is exact.
std::array<float, kSubframe> random_pattern(unsigned seed) {
    std::mt19937 rng(seed);
    std::array<float, kSubframe> p;
    for (float& v : p) v = static_cast<float>(static_cast<int>(rng() % 7) - 3);
    return p;
}

TEST(HarmonicShaping, PerfectlyPeriodicSubframeGetsTheFullGain) {
    const std::array<float, kSubframe> p = random_pattern(1);
    subframe_buffer x;
    for (int n = -kPast; n < kSubframe; ++n) x[n] = p[(n + 5 * 50) % 50];
    for (int32_t open_loop : {47, 50, 53}) {
        const harmonic_shaping h = find_harmonic_shaping(x.subframe(), open_loop);
        EXPECT_EQ(h.lag, 50) << open_loop;
        EXPECT_EQ(h.gain, 0.3125f) << open_loop;
    }
}

TEST(HarmonicShaping, ReachesThreeLagsBeyondTheLongestOpenLoopLag) {
    const std::array<float, kSubframe> p = random_pattern(2);
    subframe_buffer x;
    for (int n = 0; n < kSubframe; ++n) x[n] = x[n - 147] = p[n];
    const harmonic_shaping h = find_harmonic_shaping(x.subframe(), 144);
    EXPECT_EQ(h.lag, 147);
    EXPECT_EQ(h.gain, 0.3125f);
}

TEST(HarmonicShaping, NoPositiveCorrelationMeansNoShaping) {
    subframe_buffer x;
    for (int n = 0; n < kSubframe; ++n) x[n] = 1000.0f;
    EXPECT_EQ(find_harmonic_shaping(x.subframe(), 100).gain, 0.0f);  // silent history
    for (int n = -kPast; n < 0; ++n) x[n] = -1000.0f;                // anti-correlated history
    const harmonic_shaping h = find_harmonic_shaping(x.subframe(), 100);
    EXPECT_EQ(h.lag, 100);
    EXPECT_EQ(h.gain, 0.0f);
}

TEST(HarmonicShaping, TiesKeepTheShortestLag) {
    subframe_buffer x;
    for (int n = -kPast; n < kSubframe; ++n) x[n] = 1.0f;
    const harmonic_shaping h = find_harmonic_shaping(x.subframe(), 80);
    EXPECT_EQ(h.lag, 77);
    EXPECT_EQ(h.gain, 0.3125f);
}

// The subframe is scale * p + q with q orthogonal to p and the history holds
// p at lag 100, so that Cr = scale * P, E = P and Ex = scale^2 P + Q exactly.
subframe_buffer periodic_plus_orthogonal(float scale, int q_pairs) {
    std::array<float, kSubframe> p;
    for (int n = 0; n < kSubframe; ++n) p[n] = (n * 7) % 3 == 0 ? -3.0f : 3.0f;
    subframe_buffer x;
    for (int n = 0; n < kSubframe; ++n) {
        x[n - 100] = p[n];
        x[n] = scale * p[n];
    }
    // Each pair adds +-5 once along p and once against it: 50 to Q, 0 to the
    // cross term.
    for (int i = 0, n = 0; i < q_pairs; ++i, n += 2) {
        x[n] += p[n] > 0 ? 5.0f : -5.0f;
        x[n + 1] += p[n + 1] > 0 ? -5.0f : 5.0f;
    }
    return x;
}

TEST(HarmonicShaping, GainFollowsTheNormalisedCorrelation) {
    // P = 540. With 18 pairs Q = 900 and Cr^2 / (Ex E) = 540 / 1440 = 0.375
    // exactly: no shaping.
    harmonic_shaping h = find_harmonic_shaping(periodic_plus_orthogonal(1.0f, 18).subframe(), 100);
    EXPECT_EQ(h.lag, 100);
    EXPECT_EQ(h.gain, 0.0f);
    // 17 pairs: 540 / 1390 is above 0.375; Cr = E gives the full gain.
    h = find_harmonic_shaping(periodic_plus_orthogonal(1.0f, 17).subframe(), 100);
    EXPECT_EQ(h.lag, 100);
    EXPECT_EQ(h.gain, 0.3125f);
}

TEST(HarmonicShaping, GainScalesWithTheCorrelationRatioCappedAtOne) {
    // History twice the subframe's periodic part: Cr / E = 0.5.
    subframe_buffer half = periodic_plus_orthogonal(1.0f, 0);
    for (int n = -kPast; n < 0; ++n) half[n] *= 2.0f;
    harmonic_shaping h = find_harmonic_shaping(half.subframe(), 100);
    EXPECT_EQ(h.lag, 100);
    EXPECT_EQ(h.gain, 0.15625f);
    // Subframe twice its history: Cr / E = 2 is capped at 1.
    h = find_harmonic_shaping(periodic_plus_orthogonal(2.0f, 0).subframe(), 100);
    EXPECT_EQ(h.lag, 100);
    EXPECT_EQ(h.gain, 0.3125f);
    // One sample against one three times its size at lag 100: Cr = 3, E = 9,
    // Ex = 1. 0.3125 * Cr = 0.9375 is exact, so the gain is 5/48 rounded once
    // to single precision; scaling the rounded ratio 1/3 instead lands one
    // step away.
    subframe_buffer third;
    third[0] = 1.0f;
    third[-100] = 3.0f;
    h = find_harmonic_shaping(third.subframe(), 100);
    EXPECT_EQ(h.lag, 100);
    EXPECT_EQ(h.gain, static_cast<float>(5.0 / 48.0));
}

TEST(HarmonicShapingFilter, SubtractsTheScaledLaggedWeightedSpeech) {
    // w spans two subframes of history and two of the frame; the comb of the
    // second subframe reaches back into the history.
    std::array<float, 240> w;
    for (int i = 0; i < 240; ++i) w[i] = static_cast<float>(i);
    const float* frame = w.data() + 120;
    std::array<float, 120> out;
    out.fill(-1.0f);
    apply_harmonic_shaping(out.data(), frame, 60, 100, 0.25f);
    for (int n = 0; n < 60; ++n) EXPECT_EQ(out[60 + n], (180.0f + n) - 0.25f * (80.0f + n)) << n;
    for (int n = 0; n < 60; ++n) EXPECT_EQ(out[n], -1.0f) << n;  // other subframes untouched

    apply_harmonic_shaping(out.data(), frame, 0, 120, 0.0f);
    for (int n = 0; n < 60; ++n) EXPECT_EQ(out[n], frame[n]) << n;
}

}  // namespace
}  // namespace g723
