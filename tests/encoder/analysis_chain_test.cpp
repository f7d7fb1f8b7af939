// SPDX-License-Identifier: BSD-2-Clause
// The analysis half of the encoder on hostile input, frame after frame: LPC
// analysis, weighting, open-loop pitch, harmonic noise shaping and LSP
// quantization must stay finite and in range whatever the signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "g723/dsp/lpc_to_lsp.h"
#include "g723/dsp/lsp_quantize.h"
#include "g723/encoder/encoder_state.h"
#include "g723/encoder/harmonic_shaping.h"
#include "g723/encoder/lpc_analysis.h"
#include "g723/encoder/open_loop_pitch.h"
#include "g723/encoder/perceptual_weighting.h"
#include "g723/tables/lsp_tables.h"

namespace g723 {
namespace {

constexpr int kFrames = 12;

void run_analysis(const std::string& name, const std::function<float(int)>& signal) {
    SCOPED_TRACE(name);
    auto encoder = std::make_unique<g723_encoder>();
    open_encoder(*encoder);
    // Input: 120 past samples, then the new frame. Weighted speech: 147 past
    // samples, then the frame being coded.
    std::array<float, kInputPast + kFrameSamples> input{};
    std::array<float, kWeightedPast + kFrameSamples> weighted{};
    lsp_vector previous_lsp = lsp_dc_vector;
    for (int frame = 0; frame < kFrames; ++frame) {
        std::copy(input.end() - kInputPast, input.end(), input.begin());
        std::copy(weighted.end() - kWeightedPast, weighted.end(), weighted.begin());
        for (int n = 0; n < kFrameSamples; ++n) {
            const float v = std::clamp(signal(frame * kFrameSamples + n), -32768.0f, 32767.0f);
            input[kInputPast + n] = std::round(v);
        }

        std::array<lpc_vector, kSubframes> lpc;
        analyze_lpc(lpc, input.data(), *encoder);
        for (const lpc_vector& a : lpc)
            for (float v : a) ASSERT_TRUE(std::isfinite(v)) << "frame " << frame;

        std::array<weighting_coefficients, kSubframes> weights;
        compute_weighting_coefficients(weights, lpc);
        float* frame_start = weighted.data() + kWeightedPast;
        apply_weighting_filter(input.data() + 60, std::span<float, kFrameSamples>(frame_start, kFrameSamples), weights,
                               encoder->weighting_memory);
        for (int n = 0; n < kFrameSamples; ++n) {
            ASSERT_TRUE(std::isfinite(frame_start[n])) << "frame " << frame << " sample " << n;
            ASSERT_LT(std::fabs(frame_start[n]), 1e7f) << "frame " << frame << " sample " << n;
        }

        std::array<int32_t, 2> lags;
        for (int half = 0; half < 2; ++half) {
            lags[half] = estimate_open_loop_pitch(frame_start + 120 * half);
            ASSERT_GE(lags[half], 19);
            ASSERT_LE(lags[half], 144);
        }
        for (int k = 0; k < kSubframes; ++k) {
            const harmonic_shaping h = find_harmonic_shaping(frame_start + 60 * k, lags[k / 2]);
            EXPECT_GE(h.lag, lags[k / 2] - 3);
            EXPECT_LE(h.lag, lags[k / 2] + 3);
            EXPECT_GE(h.gain, 0.0f);
            EXPECT_LE(h.gain, 0.3125f);
        }

        lsp_vector lsp = lpc_to_lsp(lpc[3], previous_lsp);
        for (int k = 0; k < kLpcOrder; ++k) {
            ASSERT_TRUE(std::isfinite(lsp[k]));
            if (k > 0) {
                ASSERT_LT(lsp[k - 1], lsp[k]);
            }
        }
        const int32_t index = lsp_quantize(lsp, previous_lsp);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 1 << 24);
        // Stand-in for the decoded vector: the frame's own LSPs, so that the
        // prediction memory moves as it would in the encoder.
        previous_lsp = lpc_to_lsp(lpc[3], previous_lsp);
    }
}

TEST(AnalysisChain, StaysFiniteAndInRangeOnHostileInput) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> full_scale(-32768, 32767);
    run_analysis("digital silence", [](int) { return 0.0f; });
    run_analysis("DC", [](int) { return 20000.0f; });
    run_analysis("full-scale square wave", [](int n) { return (n / 20) % 2 ? 32767.0f : -32768.0f; });
    run_analysis("clipped sine", [](int n) { return static_cast<float>(90000.0 * std::sin(0.05 * n)); });
    run_analysis("pure tone", [](int n) { return static_cast<float>(10000.0 * std::sin(2.0 * 3.14159265 * 1000.0 / 8000.0 * n)); });
    run_analysis("full-scale white noise", [&](int) { return static_cast<float>(full_scale(rng)); });
    run_analysis("single clicks", [](int n) { return n % 97 == 0 ? 32767.0f : 0.0f; });
    run_analysis("Nyquist", [](int n) { return n % 2 ? 32767.0f : -32768.0f; });
}

}  // namespace
}  // namespace g723
