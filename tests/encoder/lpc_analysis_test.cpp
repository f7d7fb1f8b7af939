// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/lpc_analysis.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>

#include "g723/encoder/encoder_state.h"
#include "g723/encoder/tone_history.h"
#include "g723/tables/lpc_analysis_tables.h"

namespace g723 {
namespace {

constexpr int kAnalysisSpan = 360;  // one frame plus 60 samples either side
constexpr double kPi = 3.14159265358979323846;

std::unique_ptr<g723_encoder> fresh_encoder() {
    auto encoder = std::make_unique<g723_encoder>();
    open_encoder(*encoder);
    return encoder;
}

// The whole analysis of subframe j in double: window from its formula,
// autocorrelation, noise floor, lag window, recursion.
std::array<double, kLpcOrder + 1> reference_autocorrelation(const float* x, int j) {
    std::array<double, 180> s;
    for (int n = 0; n < 180; ++n)
        s[n] = (0.54 - 0.46 * std::cos(2.0 * kPi * n / 179.0)) * x[60 * j + n];
    std::array<double, kLpcOrder + 1> r{};
    for (int k = 0; k <= kLpcOrder; ++k)
        for (int n = k; n < 180; ++n) r[k] += s[n] * s[n - k];
    r[0] *= 1.0 + 1.0 / 1024.0;
    for (int k = 1; k <= kLpcOrder; ++k) r[k] *= lag_window[k - 1];
    return r;
}

std::array<double, kLpcOrder> reference_levinson(const std::array<double, kLpcOrder + 1>& r) {
    std::array<double, kLpcOrder> a{};
    double err = r[0];
    for (int i = 1; i <= kLpcOrder; ++i) {
        double t = r[i];
        for (int j = 1; j < i; ++j) t -= a[j - 1] * r[i - j];
        const double k = t / err;
        std::array<double, kLpcOrder> before = a;
        a[i - 1] = k;
        for (int j = 1; j < i; ++j) a[j - 1] = before[j - 1] - k * before[i - j - 1];
        err *= 1.0 - k * k;
    }
    return a;
}

TEST(LpcWindow, EveryEntryIsTheRoundedHammingValue) {
    for (int n = 0; n < kLpcWindowLength; ++n) {
        const double exact = 0.54 - 0.46 * std::cos(2.0 * kPi * n / 179.0);
        EXPECT_EQ(lpc_window[n], static_cast<float>(std::round(32768.0 * exact) / 32768.0)) << n;
        EXPECT_EQ(lpc_window[n], lpc_window[kLpcWindowLength - 1 - n]) << n;
    }
    EXPECT_NEAR(lpc_window[0], 0.079987f, 1e-6f);
    EXPECT_NEAR(lpc_window[1], 0.080292f, 1e-6f);
    EXPECT_NEAR(lpc_window[45], 0.544037f, 1e-6f);
    EXPECT_NEAR(lpc_window[89], 0.999939f, 1e-6f);
}

TEST(LpcAnalysis, EachSubframeWindowSitsSixtySamplesFurtherOn) {
    // Noise through a filter whose resonance moves over the span, so every
    // window position gives a different filter.
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 500.0);
    std::array<float, kAnalysisSpan> x;
    double y1 = 0.0, y2 = 0.0;
    for (int n = 0; n < kAnalysisSpan; ++n) {
        const double w = 0.3 + 2.2 * n / kAnalysisSpan;
        const double y = 2.0 * 0.9 * std::cos(w) * y1 - 0.81 * y2 + noise(rng);
        y2 = y1;
        y1 = y;
        x[n] = static_cast<float>(y);
    }
    auto encoder = fresh_encoder();
    std::array<lpc_vector, kSubframes> lpc;
    analyze_lpc(lpc, x.data(), *encoder);
    for (int j = 0; j < kSubframes; ++j) {
        const std::array<double, kLpcOrder> expected = reference_levinson(reference_autocorrelation(x.data(), j));
        for (int i = 0; i < kLpcOrder; ++i) EXPECT_NEAR(lpc[j][i], expected[i], 2e-3) << "subframe " << j << " a" << i + 1;
    }
    // Different positions give clearly different filters.
    EXPECT_GT(std::fabs(lpc[0][0] - lpc[3][0]), 0.3f);
}

TEST(LpcAnalysis, SilenceGivesFlatFiltersAndTheToneDecisionAfterFourFrames) {
    auto encoder = fresh_encoder();
    std::array<float, kAnalysisSpan> x{};
    std::array<lpc_vector, kSubframes> lpc;
    for (int frame = 1; frame <= 4; ++frame) {
        for (auto& v : lpc) v.fill(1.0f);
        analyze_lpc(lpc, x.data(), *encoder);
        for (const lpc_vector& v : lpc)
            for (float a : v) EXPECT_EQ(a, 0.0f);
        const uint16_t history = static_cast<uint16_t>(encoder->tone_history);
        const uint16_t flags = static_cast<uint16_t>((1u << (4 * frame)) - 1u);
        if (frame < 4) {
            EXPECT_EQ(history, flags) << "frame " << frame;  // no decision with 12 of 15 flags
        } else {
            EXPECT_EQ(history, 0xffffu);
        }
    }
}

TEST(LpcAnalysis, PureToneIsFlaggedAndSpeechLikeNoiseIsNot) {
    auto encoder = fresh_encoder();
    std::array<float, kAnalysisSpan> x;
    for (int n = 0; n < kAnalysisSpan; ++n) x[n] = static_cast<float>(8000.0 * std::sin(2.0 * kPi * 600.0 / 8000.0 * n));
    std::array<lpc_vector, kSubframes> lpc;
    analyze_lpc(lpc, x.data(), *encoder);
    EXPECT_EQ(encoder->tone_history, 0x000f);

    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 3000.0f);
    for (float& v : x) v = noise(rng);
    analyze_lpc(lpc, x.data(), *encoder);
    EXPECT_EQ(encoder->tone_history, 0x00f0);
}

TEST(LpcAnalysis, FeedsTheComfortNoiseHistoryOnlyWithSilenceCompression) {
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 2000.0f);
    std::array<float, kAnalysisSpan> x;
    for (float& v : x) v = noise(rng);
    std::array<lpc_vector, kSubframes> lpc;

    auto encoder = fresh_encoder();
    encoder->vad_mode = 0;
    for (auto& entry : encoder->encoder_cng_state.acf_history) entry.fill(7.0f);
    const auto before = encoder->encoder_cng_state.acf_history;
    analyze_lpc(lpc, x.data(), *encoder);
    EXPECT_EQ(encoder->encoder_cng_state.acf_history, before);

    encoder->vad_mode = 1;
    encoder->encoder_cng_state.acf_history[0].fill(1.0f);
    analyze_lpc(lpc, x.data(), *encoder);
    const auto& history = encoder->encoder_cng_state.acf_history;
    for (int k = 0; k <= kLpcOrder; ++k) {
        double sum = 0.0;
        for (int j = 0; j < kSubframes; ++j) sum += reference_autocorrelation(x.data(), j)[k];
        EXPECT_NEAR(history[0][k], sum, 1e-5 * history[0][0]) << "R" << k;
        EXPECT_EQ(history[1][k], 1.0f);  // the previous newest entry moved one place older
        EXPECT_EQ(history[3][k], 7.0f);
    }
}

TEST(ToneHistory, FlagThresholdIsStrict) {
    EXPECT_EQ(push_tone_flag(0, -0.95f), 0);
    EXPECT_EQ(push_tone_flag(0, std::nextafter(-0.95f, -1.0f)), 1);
    EXPECT_EQ(push_tone_flag(0, -1.0f), 1);
    EXPECT_EQ(push_tone_flag(0, 0.5f), 0);
    // The history shifts as a 16-bit value: bit 15 falls off.
    EXPECT_EQ(push_tone_flag(static_cast<int16_t>(0xc000), -1.0f), static_cast<int16_t>(0x8001));
}

TEST(ToneHistory, DecisionNeedsFourteenOfTheFifteenNewestFlags) {
    EXPECT_EQ(static_cast<uint16_t>(decide_tone(0x7ffe)), 0xfffeu);  // 14 set
    EXPECT_EQ(static_cast<uint16_t>(decide_tone(0x3ffe)), 0x3ffeu);  // 13 set
    // An old decision is withdrawn when the flags no longer support it.
    EXPECT_EQ(static_cast<uint16_t>(decide_tone(static_cast<int16_t>(0x8fff))), 0x0fffu);
}

}  // namespace
}  // namespace g723
