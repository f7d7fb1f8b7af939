// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/pitch_postfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace g723 {
namespace {

// A frame excitation: 145 history samples then 240 frame samples. Frame
// sample t sits at index 145 + t.
struct frame_excitation {
    std::vector<float> data = std::vector<float>(145 + 240, 0.0f);
    const float* history() const { return data.data(); }
    float& at(int t) { return data[145 + t]; }
};

// Periodic with the given period over history and frame; within one period
// the values are pseudo-random, so only multiples of the period correlate.
frame_excitation periodic(int period, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    std::vector<float> cycle(period);
    for (float& v : cycle) v = noise(rng);
    frame_excitation x;
    for (int i = 0; i < 385; ++i) x.data[i] = cycle[i % period];
    return x;
}

TEST(PitchPostfilter, SilentExcitationIsLeftUnchanged) {
    const frame_excitation x;
    std::array<float, 240> working;
    working.fill(5.0f);
    for (int k = 0; k < 4; ++k) {
        const pitch_postfilter_params p = find_pitch_postfilter(x.history(), 60, k, 0);
        EXPECT_EQ(p.offset, 0);
        EXPECT_EQ(p.weighted_gain, 0.0f);
        EXPECT_EQ(p.scale, 1.0f);
        apply_pitch_postfilter(working, x.history(), p, k);
    }
    for (float v : working) EXPECT_EQ(v, 0.0f);
}

TEST(PitchPostfilter, BackwardSearchCoversThreeLagsEitherSideOfTheCap) {
    // Open-loop lag 141 searches 138..144; a period of 144 is found, and the
    // oldest history sample is read for subframe 0 without leaving the buffer.
    EXPECT_EQ(backward_pitch_search(periodic(144).history(), 141, 0), -144);
    EXPECT_EQ(backward_pitch_search(periodic(138).history(), 141, 0), -138);
    // Open-loop lag 18 searches 15..21.
    EXPECT_EQ(backward_pitch_search(periodic(15).history(), 18, 1), -15);
    EXPECT_EQ(backward_pitch_search(periodic(21).history(), 18, 2), -21);
    // 22 is outside the window; no lag of 15..21 correlates with it.
    const frame_excitation far = periodic(22, 5);
    const int32_t got = backward_pitch_search(far.history(), 18, 0);
    EXPECT_NE(got, -22);
}

TEST(PitchPostfilter, ForwardSearchStaysInsideTheFrame) {
    const frame_excitation x = periodic(60);
    EXPECT_EQ(forward_pitch_search(x.history(), 60, 0), 60);
    EXPECT_EQ(forward_pitch_search(x.history(), 60, 2), 60);  // 60 is the longest lag there
    EXPECT_EQ(forward_pitch_search(x.history(), 60, 3), 0);   // nothing after the frame
    const frame_excitation y = periodic(64);
    EXPECT_EQ(forward_pitch_search(y.history(), 64, 2), 0);   // M - 3 = 61 > 60
    EXPECT_EQ(forward_pitch_search(y.history(), 64, 1), 64);
}

TEST(PitchPostfilter, PeriodicExcitationTiesGoForward) {
    // Perfectly periodic: backward and forward correlations are identical,
    // X = E = E0, and the tie keeps the forward lag.
    const frame_excitation x = periodic(40);
    const pitch_postfilter_params p = find_pitch_postfilter(x.history(), 40, 0, 0);
    EXPECT_EQ(p.offset, 40);
    EXPECT_NEAR(p.scale, std::sqrt(1.0 / 1.41015625), 1e-6);
    EXPECT_NEAR(p.weighted_gain, 0.1875 * std::sqrt(1.0 / 1.41015625), 1e-6);
    // Subframe 3 can only look back.
    EXPECT_EQ(find_pitch_postfilter(x.history(), 40, 3, 0).offset, -40);
}

TEST(PitchPostfilter, ApplicationMixesTheSubframeWithTheExcitationOneOffsetAway) {
    // out = scale * cur[n] + weighted_gain * cur[n + offset], into the
    // working signal's own subframe only.
    frame_excitation x;
    for (int i = 0; i < 385; ++i) x.data[i] = static_cast<float>(i % 97);
    std::array<float, 240> working;
    working.fill(-1.0f);
    apply_pitch_postfilter(working, x.history(), {-30, 0.5f, 2.0f}, 1);
    apply_pitch_postfilter(working, x.history(), {25, 0.25f, 4.0f}, 2);
    for (int n = 0; n < 60; ++n) {
        EXPECT_EQ(working[n], -1.0f);
        EXPECT_EQ(working[60 + n], 2.0f * x.at(60 + n) + 0.5f * x.at(30 + n)) << n;
        EXPECT_EQ(working[120 + n], 4.0f * x.at(120 + n) + 0.25f * x.at(145 + n)) << n;
        EXPECT_EQ(working[180 + n], -1.0f);
    }
}

TEST(PitchPostfilter, StrongerBackwardCorrelationWins) {
    // Periodic history and first subframe; the rest of the frame is noise,
    // so the forward candidate correlates only weakly.
    frame_excitation x = periodic(30);
    std::mt19937 rng(9);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    for (int t = 60; t < 240; ++t) x.at(t) = noise(rng);
    const pitch_postfilter_params p = find_pitch_postfilter(x.history(), 30, 0, 0);
    EXPECT_EQ(p.offset, -30);
}

TEST(PitchPostfilterGains, GainIsCappedAndWeighted) {
    // X = E and X = 2E both give the full weight 0.1875.
    for (float x : {4.0f, 8.0f}) {
        const pitch_postfilter_params p = pitch_postfilter_gains(-50, 10.0f, x, 4.0f, 0);
        const float g = 0.1875f;
        const float s = std::sqrt(10.0f / ((g * 4.0f + 2.0f * x) * g + 10.0f));
        EXPECT_EQ(p.offset, -50);
        EXPECT_FLOAT_EQ(p.scale, s);
        EXPECT_FLOAT_EQ(p.weighted_gain, g * s);
    }
    // E > X: the gain falls to 0.1875 * X / E.
    // (9 > 0.25 * 6 * 4, so the subframe is filtered.)
    const pitch_postfilter_params p = pitch_postfilter_gains(20, 4.0f, 3.0f, 6.0f, 0);
    const float g = 0.1875f * 3.0f / 6.0f;
    EXPECT_FLOAT_EQ(p.weighted_gain / p.scale, g);
    EXPECT_FLOAT_EQ(p.scale, std::sqrt(4.0f / ((g * 6.0f + 6.0f) * g + 4.0f)));
}

TEST(PitchPostfilterGains, WeakCorrelationPassesUnchanged) {
    // X^2 exactly 0.25 E E0 (1 = 0.25 * 1 * 4): no filtering.
    pitch_postfilter_params p = pitch_postfilter_gains(-30, 4.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(p.weighted_gain, 0.0f);
    EXPECT_EQ(p.scale, 1.0f);
    // Just above it, the subframe is filtered.
    p = pitch_postfilter_gains(-30, 4.0f, 1.001f, 1.0f, 0);
    EXPECT_GT(p.weighted_gain, 0.0f);
    EXPECT_LT(p.scale, 1.0f);
}

TEST(PitchPostfilterGains, FilteredEnergyBelowTheSmallestNormalFloatGivesScaleZero) {
    // E0 = 1e-39 with a correlation 1e-19 against an energy of 10: the
    // filtered energy D = (g E + 2 X) g + E0 is about 1.4e-39.
    const pitch_postfilter_params p = pitch_postfilter_gains(-30, 1e-39f, 1e-19f, 10.0f, 0);
    EXPECT_EQ(p.scale, 0.0f);
    EXPECT_EQ(p.weighted_gain, 0.0f);
}

}  // namespace
}  // namespace g723
