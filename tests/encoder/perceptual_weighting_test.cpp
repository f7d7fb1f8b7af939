// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/perceptual_weighting.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace g723 {
namespace {

constexpr int kHistory = kLpcOrder;

TEST(PerceptualWeighting, FlatFilterPassesTheInputAndKeepsItsLastOutputs) {
    std::array<lpc_vector, kSubframes> lpc{};
    std::array<weighting_coefficients, kSubframes> weights;
    compute_weighting_coefficients(weights, lpc);
    std::array<float, kHistory + kFrameSamples> x;
    for (int n = 0; n < static_cast<int>(x.size()); ++n) x[n] = static_cast<float>((n * 37) % 101 - 50);
    std::array<float, kLpcOrder> memory;
    memory.fill(123.0f);
    std::array<float, kFrameSamples> y;
    apply_weighting_filter(x.data() + kHistory, y, weights, memory);
    for (int m = 0; m < kFrameSamples; ++m) EXPECT_EQ(y[m], x[kHistory + m]) << m;
    for (int i = 0; i < kLpcOrder; ++i) EXPECT_EQ(memory[i], y[kFrameSamples - 1 - i]) << i;
}

TEST(PerceptualWeighting, MatchesTheDifferenceEquationAcrossSubframesAndFrames) {
    // Four different filters and nonzero histories on both sides: the input
    // history comes from before x, the output history from the memory.
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> coefficient(-0.4f, 0.4f);
    std::normal_distribution<float> noise(0.0f, 2000.0f);
    std::array<lpc_vector, kSubframes> lpc;
    for (auto& v : lpc)
        for (int i = 0; i < kLpcOrder; ++i) v[i] = coefficient(rng) / static_cast<float>(i + 1);
    std::array<weighting_coefficients, kSubframes> weights;
    compute_weighting_coefficients(weights, lpc);

    constexpr int kFrames = 2;
    std::array<float, kHistory + kFrames * kFrameSamples> x;
    for (float& v : x) v = noise(rng);
    std::array<float, kLpcOrder> memory;
    for (float& v : memory) v = noise(rng);

    // Reference in double, with y[-1 - i] = memory[i].
    std::array<double, kHistory + kFrames * kFrameSamples> ref;
    for (int i = 0; i < kLpcOrder; ++i) ref[kHistory - 1 - i] = memory[i];
    for (int m = 0; m < kFrames * kFrameSamples; ++m) {
        const int j = (m % kFrameSamples) / kSubframeSamples;
        double acc = x[kHistory + m];
        for (int i = 1; i <= kLpcOrder; ++i) {
            acc -= lpc[j][i - 1] * std::pow(0.9, i) * x[kHistory + m - i];
            acc += lpc[j][i - 1] * std::pow(0.5, i) * ref[kHistory + m - i];
        }
        ref[kHistory + m] = acc;
    }

    for (int frame = 0; frame < kFrames; ++frame) {
        std::array<float, kFrameSamples> y;
        apply_weighting_filter(x.data() + kHistory + frame * kFrameSamples, y, weights, memory);
        for (int m = 0; m < kFrameSamples; ++m)
            EXPECT_NEAR(y[m], ref[kHistory + frame * kFrameSamples + m], 0.05) << "frame " << frame << " sample " << m;
    }
}

}  // namespace
}  // namespace g723
