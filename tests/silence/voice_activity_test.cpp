// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/voice_activity.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "g723/encoder/encoder_state.h"
#include "g723/silence/vad_state.h"

namespace g723 {
namespace {

using frame = std::array<float, kFrameSamples>;

frame constant_frame(float value) {
    frame f;
    f.fill(value);
    return f;
}

struct detector : ::testing::Test {
    g723_encoder encoder{};
    void SetUp() override { open_encoder(encoder); }
    int32_t run(const frame& f) { return detect_voice_activity(f.data(), encoder.vad_mode, encoder.tone_history, encoder.vad_state); }
    vad_state& vad() { return encoder.vad_state; }
};

TEST_F(detector, OffReportsSpeechAndLeavesTheStateAlone) {
    encoder.vad_mode = 0;
    vad().adapt_count = 4;
    vad().noise_level = 5000.0f;
    const vad_state before = vad();
    EXPECT_EQ(run(constant_frame(0.0f)), 1);
    EXPECT_EQ(std::memcmp(&before, &vad(), sizeof(vad_state)), 0);
}

TEST_F(detector, FirstFrameAfterResetMeasuresThePlainEnergy) {
    frame f = constant_frame(0.0f);
    for (int n = 0; n < kFrameSamples; ++n) f[n] = (n < 60) ? 30000.0f : 50.0f;  // 0..59 unread by E
    EXPECT_EQ(run(f), 1);  // hangover of the reset
    // No whitening yet: 180 samples of 50^2 over 360, below the threshold.
    EXPECT_NEAR(vad().frame_energy, 1250.0f, 1250.0f * 1e-6f);
    EXPECT_EQ(vad().adapt_count, 0) << "lag 1 after reset proves no periodicity";
    // Noise level compared the previous energy 1024 with 1024 (no follow),
    // then rose by 1/32.
    EXPECT_EQ(vad().noise_level, 1056.0f);
    EXPECT_EQ(vad().hangover, 2);
}

TEST_F(detector, ToneFlagCountsAsPeriodicity) {
    vad().lag_history = {1, 1, 1, 1};  // no periodicity evidence from the lags
    encoder.tone_history = static_cast<int16_t>(0x8000);
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().adapt_count, 2);
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().adapt_count, 4);
    run(constant_frame(0.0f));
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().adapt_count, 6) << "clamped";
    encoder.tone_history = 0x7FFF;  // 15 flags but no decision bit
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().adapt_count, 5);
}

TEST_F(detector, PeriodicityNeedsAllFourLagsNearMultiplesOfTheShortest) {
    struct lag_case {
        std::array<int32_t, 4> lags;
        int32_t adapt_after;
    };
    const std::array<lag_case, 6> cases = {{
        {{40, 80, 121, 39}, 2},   // 121 is 4 from 117 and 156 is not below 149
        {{40, 80, 120, 39}, 5},   // 120 is 3 from 117
        {{60, 60, 61, 63}, 5},    // all within 3 of 60
        {{145, 146, 148, 147}, 5},  // one multiple below 149, all four near it
        {{146, 147, 148, 149}, 2},  // the shortest lag counts as 145: 149 is 4 away
        {{50, 50, 50, 54}, 2},    // 54 is 4 from 50 and 100 too far
    }};
    for (const lag_case& c : cases) {
        open_encoder(encoder);
        vad().adapt_count = 3;
        vad().lag_history = c.lags;
        run(constant_frame(0.0f));
        EXPECT_EQ(vad().adapt_count, c.adapt_after) << c.lags[0] << " " << c.lags[1] << " " << c.lags[2]
                                                    << " " << c.lags[3];
    }
}

TEST_F(detector, LagHistoryMovesOneFrameOlder) {
    vad().lag_history = {20, 21, 77, 78};
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().lag_history[0], 77);
    EXPECT_EQ(vad().lag_history[1], 78);
}

TEST_F(detector, DigitalSilenceSettlesAtTheNoiseFloor) {
    std::vector<int32_t> decisions;
    for (int i = 0; i < 8; ++i) decisions.push_back(run(constant_frame(0.0f)));
    EXPECT_EQ(decisions, (std::vector<int32_t>{1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(vad().noise_level, 128.0f);
    EXPECT_EQ(vad().frame_energy, 0.0f);
    EXPECT_EQ(vad().hangover, 0);
}

TEST_F(detector, NoiseEstimateFallsToAQuieterFrameAndRisesOnlyWithoutPitch) {
    vad().frame_energy = 500.0f;
    vad().noise_level = 1000.0f;
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().noise_level, (0.75f * 500.0f + 0.25f * 1000.0f) * 1.03125f);

    open_encoder(encoder);
    vad().frame_energy = 2000.0f;  // louder than the estimate: no follow
    vad().noise_level = 1000.0f;
    vad().adapt_count = 3;         // pitch evidence: slow decay only
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().noise_level, 1000.0f * 0.99951171875f);

    open_encoder(encoder);
    vad().frame_energy = 1.0e9f;
    vad().noise_level = 131071.0f;
    run(constant_frame(0.0f));
    EXPECT_EQ(vad().noise_level, 131071.0f) << "held at the ceiling";
}

TEST_F(detector, WhiteningFilterRemovesWhatItPredicts) {
    // a1 = 1 predicts each sample by the one before it, from sample 59 on.
    vad().inverse_filter = {1.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    frame f = constant_frame(700.0f);
    run(f);
    EXPECT_EQ(vad().frame_energy, 0.0f);
    // A step at sample 59 leaves one residual sample of 100 at sample 60.
    for (int n = 0; n < 60; ++n) f[n] = 600.0f;
    run(f);
    EXPECT_NEAR(vad().frame_energy, 100.0f * 100.0f / 360.0f, 1e-3f);
    // Samples before 50 are never read.
    for (int n = 0; n < 50; ++n) f[n] = 1.0e6f;
    run(f);
    EXPECT_NEAR(vad().frame_energy, 100.0f * 100.0f / 360.0f, 1e-3f);
}

TEST(VadThresholdFactor, EndsRowsAndShape) {
    EXPECT_EQ(vad_threshold_factor(128.0f), 5.011872f);
    EXPECT_EQ(vad_threshold_factor(16384.0f), 2.2387211f);
    EXPECT_EQ(vad_threshold_factor(131071.0f), 2.2387211f);
    EXPECT_EQ(vad_threshold_factor(16383.0f), -3.33453718e-05f * 16383.0f + 2.78505182f);
    EXPECT_EQ(vad_threshold_factor(256.0f), -0.00425809715f * 256.0f + 5.55690861f);
    EXPECT_EQ(vad_threshold_factor(256.5f), -0.00189751643f * 256.5f + 4.9526f);
    // The lines follow 10^(0.7 - 0.05 (log2 N - 7)) closely, continuous at
    // the octave ends and falling throughout.
    float previous = 6.0f;
    for (float n = 128.5f; n < 16384.0f; n *= 1.01f) {
        const float f = vad_threshold_factor(n);
        const double exact = std::pow(10.0, 0.7 - 0.05 * (std::log2(double(n)) - 7.0));
        EXPECT_NEAR(f, exact, 0.02 * exact) << n;
        EXPECT_LT(f, previous) << n;
        previous = f;
    }
    for (float edge : {256.0f, 512.0f, 1024.0f, 2048.0f, 4096.0f, 8192.0f, 16384.0f})
        EXPECT_NEAR(vad_threshold_factor(edge), vad_threshold_factor(std::nextafter(edge, 1e9f)), 1e-4f) << edge;
}

// Two samples y, x at n = 238, 239 against a zero filter: E = (y^2 + x^2) / 360.
float energy_of_two_samples(float y, float x) {
    std::array<float, kFrameSamples> f{};
    f[238] = y;
    f[239] = x;
    g723_encoder e{};
    open_encoder(e);
    detect_voice_activity(f.data(), e.vad_mode, e.tone_history, e.vad_state);
    return e.vad_state.frame_energy;
}

TEST_F(detector, EnergyExactlyAtTheThresholdIsSpeech) {
    // With the previous energy 0 the estimate drops to the floor 128, where
    // the threshold is 128 * 5.011872.
    const float threshold = 128.0f * 5.011872f;
    // A sum of squares s whose scaled value is exactly the threshold, then a
    // pair of samples whose squares add up to s.
    float s = threshold * 360.0f;
    for (int i = 0; i < 1000 && s * 0.0027777778f != threshold; ++i)
        s = std::nextafter(s, (s * 0.0027777778f < threshold) ? 1e9f : 0.0f);
    ASSERT_EQ(s * 0.0027777778f, threshold);
    const float x = std::floor(std::sqrt(s)) - 1.0f;
    float y = std::sqrt(s - x * x);
    for (int i = 0; i < 1000 && y * y + x * x != s; ++i) y = std::nextafter(y, (y * y + x * x < s) ? 1e9f : 0.0f);
    ASSERT_EQ(energy_of_two_samples(y, x), threshold);

    const auto decide = [&](float amplitude) {
        open_encoder(encoder);
        vad().hangover = 0;
        vad().frame_energy = 0.0f;
        vad().noise_level = 128.0f;
        frame f{};
        f[238] = amplitude;
        f[239] = x;
        return run(f);
    };
    EXPECT_EQ(decide(y), 1);
    float below = y;
    while (energy_of_two_samples(below, x) >= threshold) below = std::nextafter(below, 0.0f);
    EXPECT_EQ(decide(below), 0);
}

TEST_F(detector, Hangover) {
    const frame loud = constant_frame(1000.0f);
    const frame quiet = constant_frame(0.0f);
    for (int i = 0; i < 6; ++i) run(quiet);
    ASSERT_EQ(run(quiet), 0);

    // One raw-speech frame: it and the next are speech.
    EXPECT_EQ(run(loud), 1);
    EXPECT_EQ(run(quiet), 1);
    EXPECT_EQ(run(quiet), 0);

    // Two in a row: active count 2 holds the hangover at 6; it counts down
    // only once the active count has run back to 0.
    EXPECT_EQ(run(loud), 1);
    EXPECT_EQ(run(loud), 1);
    EXPECT_EQ(vad().hangover, 6);
    std::vector<int32_t> tail;
    for (int i = 0; i < 9; ++i) tail.push_back(run(quiet));
    EXPECT_EQ(tail, (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 0, 0}));

    // A long burst saturates the active count at 3: one more frame of hold.
    for (int i = 0; i < 5; ++i) run(loud);
    EXPECT_EQ(vad().active_count, 3);
    tail.clear();
    for (int i = 0; i < 10; ++i) tail.push_back(run(quiet));
    EXPECT_EQ(tail, (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, 0, 0}));
}

}  // namespace
}  // namespace g723
