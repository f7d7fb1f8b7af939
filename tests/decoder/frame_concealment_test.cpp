// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/frame_concealment.h"

#include <gtest/gtest.h>

#include <vector>

namespace g723 {
namespace {

// 145 history samples then 240 frame samples; frame sample t at 145 + t.
struct frame_excitation {
    std::vector<float> data = std::vector<float>(385, 0.0f);
    float* history() { return data.data(); }
    float& at(int t) { return data[145 + t]; }
};

TEST(ConcealmentRandom, SequenceFromResetSeed) {
    int32_t seed = 0;
    const int32_t expected[] = {259, 4126, -12783, 24988, -22657, -7558};
    for (int32_t v : expected) {
        EXPECT_EQ(concealment_random(seed), v);
        EXPECT_EQ(seed, v);
    }
}

TEST(ConcealLostFrame, UnvoicedGivesScaledNoiseAndClearsHistory) {
    frame_excitation x;
    for (float& v : x.data) v = 77.0f;
    std::array<float, 240> working;
    int32_t seed = 0;
    conceal_lost_frame(working, x.history(), 0, 19.5f, 1, seed);
    int32_t check = 0;
    for (int n = 0; n < 240; ++n)
        EXPECT_EQ(working[n], static_cast<float>(concealment_random(check)) * 19.5f / 32768.0f) << n;
    EXPECT_EQ(seed, check);  // the generator continues across frames
    for (float v : x.data) EXPECT_EQ(v, 0.0f);
}

TEST(ConcealLostFrame, VoicedRepeatsTheLastPeriodAttenuated) {
    frame_excitation x;
    for (int i = 0; i < 145; ++i) x.data[i] = static_cast<float>(i);
    std::array<float, 240> working;
    int32_t seed = 5;
    conceal_lost_frame(working, x.history(), 18, 100.0f, 2, seed);
    for (int n = 0; n < 240; ++n) {
        const float expected = 0.75f * static_cast<float>(145 - 18 + n % 18);
        EXPECT_EQ(x.at(n), expected) << n;
        EXPECT_EQ(working[n], expected) << n;
    }
    for (int i = 0; i < 145; ++i) EXPECT_EQ(x.data[i], static_cast<float>(i));  // history kept
    EXPECT_EQ(seed, 5);
}

TEST(ConcealLostFrame, ThirdLossMutesAndClearsHistory) {
    frame_excitation x;
    for (float& v : x.data) v = -3.0f;
    std::array<float, 240> working;
    working.fill(9.0f);
    int32_t seed = 0;
    conceal_lost_frame(working, x.history(), 40, 100.0f, 3, seed);
    for (float v : working) EXPECT_EQ(v, 0.0f);
    for (float v : x.data) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(seed, 0);
}

TEST(FindConcealmentLag, PeriodicEndIsVoicedAndStoresEnergy) {
    frame_excitation x;
    for (int i = 0; i < 385; ++i) x.data[i] = (i % 50) < 5 ? 1000.0f : -20.0f;
    x.at(239) = 300.0f;  // the window is the frame's last 120 samples, this one included
    decoder_cng_state cng{};
    cng.noise_gain = -1.0f;
    EXPECT_EQ(find_concealment_lag(x.history(), 49, cng), 50);
    double e = 0;
    for (int t = 120; t < 240; ++t) e += double(x.at(t)) * x.at(t);
    EXPECT_NEAR(cng.noise_gain, e, 1e-6 * e);
    // The largest open-loop lag searches up to 144, reaching the oldest
    // history sample without leaving the buffer; a period of 145 is not
    // among the candidates.
    frame_excitation y;
    for (int i = 0; i < 385; ++i) y.data[i] = (i % 144) < 3 ? 1000.0f : 0.0f;
    EXPECT_EQ(find_concealment_lag(y.history(), 141, cng), 144);
    for (int i = 0; i < 385; ++i) y.data[i] = (i % 145) < 3 ? 1000.0f : 0.0f;
    EXPECT_NE(find_concealment_lag(y.history(), 141, cng), 145);
}

TEST(FindConcealmentLag, NoPositiveCorrelationIsUnvoicedAndKeepsNoiseGain) {
    frame_excitation x;
    x.at(120) = 500.0f;  // a lone sample correlates with nothing
    decoder_cng_state cng{};
    cng.noise_gain = 42.0f;
    EXPECT_EQ(find_concealment_lag(x.history(), 100, cng), 0);
    EXPECT_EQ(cng.noise_gain, 42.0f);
}

TEST(FindConcealmentLag, VoicingThresholdIsStrict) {
    // R(100) = 1 from samples 200 and 100; E_L = 1 (only sample 100 in the
    // lagged window); E = 1 + the cluster, placed where no searched lag
    // pairs it with anything.
    for (int cluster : {7, 6}) {
        frame_excitation x;
        x.at(200) = 1.0f;
        x.at(100) = 1.0f;
        for (int c = 0; c < cluster; ++c) x.at(140 + c) = 1.0f;
        decoder_cng_state cng{};
        const int32_t lag = find_concealment_lag(x.history(), 100, cng);
        EXPECT_EQ(cng.noise_gain, static_cast<float>(1 + cluster));
        // R^2 = 1 against 0.125 * E * E_L: equal at E = 8 -> unvoiced.
        EXPECT_EQ(lag, cluster == 7 ? 0 : 100) << cluster;
    }
}

}  // namespace
}  // namespace g723
