// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/levinson_durbin.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace g723 {
namespace {

// Solves the Toeplitz normal equations sum_j a_j R(|i-j|) = R(i) by Gaussian
// elimination in double: an independent check of the recursion.
std::array<double, kLpcOrder> solve_normal_equations(const std::array<float, kLpcOrder + 1>& r) {
    double m[kLpcOrder][kLpcOrder + 1];
    for (int i = 0; i < kLpcOrder; ++i) {
        for (int j = 0; j < kLpcOrder; ++j) m[i][j] = r[std::abs(i - j)];
        m[i][kLpcOrder] = r[i + 1];
    }
    for (int c = 0; c < kLpcOrder; ++c)
        for (int i = c + 1; i < kLpcOrder; ++i) {
            const double f = m[i][c] / m[c][c];
            for (int j = c; j <= kLpcOrder; ++j) m[i][j] -= f * m[c][j];
        }
    std::array<double, kLpcOrder> a{};
    for (int i = kLpcOrder - 1; i >= 0; --i) {
        double v = m[i][kLpcOrder];
        for (int j = i + 1; j < kLpcOrder; ++j) v -= m[i][j] * a[j];
        a[i] = v / m[i][i];
    }
    return a;
}

TEST(LevinsonDurbin, FirstOrderProcessGivesItsPoleWithThePositiveSignConvention) {
    // R(k) = 0.8^k is the autocorrelation of x[n] = 0.8 x[n-1] + e[n]:
    // A(z) = 1 - 0.8 z^-1, so a1 = +0.8 and every other coefficient 0.
    std::array<float, kLpcOrder> r;
    for (int k = 1; k <= kLpcOrder; ++k) r[k - 1] = static_cast<float>(std::pow(0.8, k));
    lpc_vector a;
    const levinson_result result = levinson_durbin(a, r.data(), 1.0f);
    EXPECT_NEAR(a[0], 0.8f, 1e-6f);
    for (int i = 1; i < kLpcOrder; ++i) EXPECT_NEAR(a[i], 0.0f, 1e-5f) << "a" << i + 1;
    EXPECT_NEAR(result.k2, 0.0f, 1e-5f);
    EXPECT_NEAR(result.error, 0.36f, 1e-5f);
}

TEST(LevinsonDurbin, MatchesTheNormalEquationsOfARandomSignal) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 1000.0);
    // A resonant AR(2) signal: a strong formant, far from white.
    std::vector<double> x(400, 0.0);
    for (size_t n = 2; n < x.size(); ++n) x[n] = 1.6 * x[n - 1] - 0.8 * x[n - 2] + noise(rng);
    std::array<float, kLpcOrder + 1> r;
    for (int k = 0; k <= kLpcOrder; ++k) {
        double sum = 0.0;
        for (size_t n = k; n < x.size(); ++n) sum += x[n] * x[n - k];
        r[k] = static_cast<float>(sum);
    }
    lpc_vector a;
    const levinson_result result = levinson_durbin(a, r.data() + 1, r[0]);
    const std::array<double, kLpcOrder> expected = solve_normal_equations(r);
    for (int i = 0; i < kLpcOrder; ++i) EXPECT_NEAR(a[i], expected[i], 2e-3) << "a" << i + 1;
    EXPECT_NEAR(a[0], 1.6, 0.15);
    EXPECT_NEAR(a[1], -0.8, 0.15);
    // A peaked spectrum drives k2 towards -1.
    EXPECT_LT(result.k2, -0.6f);
    EXPECT_GT(result.error, 0.0f);
    EXPECT_LT(result.error, r[0]);
}

TEST(LevinsonDurbin, GuardStopsAtTheFirstStage) {
    // All zero; R1 equal to R0 (err > |t| fails on equality); R0 not a number.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::array<std::pair<float, float>, 3> cases = {{{0.0f, 0.0f}, {1.0f, 1.0f}, {nan, 0.0f}}};
    for (const auto& [r0, r1] : cases) {
        std::array<float, kLpcOrder> r{};
        r[0] = r1;
        lpc_vector a;
        a.fill(5.0f);
        EXPECT_EQ(levinson_durbin(a, r.data(), r0).k2, -1.0f) << r0;
        for (float v : a) EXPECT_EQ(v, 0.0f) << r0;
    }
}

TEST(LevinsonDurbin, LateFailureKeepsCompletedStagesAndReportsMinusOne) {
    // Stage 1: k = 0.5, err = 0.75. Stage 2: t = 0.25 - 0.5 * 0.5 = 0, so
    // k2 = 0. Stage 3: R3 = 5 exceeds the error and stops the recursion.
    std::array<float, kLpcOrder> r{};
    r[0] = 0.5f;
    r[1] = 0.25f;
    r[2] = 5.0f;
    lpc_vector a;
    const levinson_result result = levinson_durbin(a, r.data(), 1.0f);
    EXPECT_EQ(result.k2, -1.0f);
    EXPECT_EQ(a[0], 0.5f);
    for (int i = 1; i < kLpcOrder; ++i) EXPECT_EQ(a[i], 0.0f) << "a" << i + 1;
    EXPECT_EQ(result.error, 0.75f);
}

TEST(LevinsonDurbin, ReportsTheSecondReflectionCoefficientExactly) {
    // The autocorrelation of x[n] = -0.95 x[n-2] + e[n] (odd lags 0, each even
    // lag -0.95 times the one before): stage 1 gives k = 0, stage 2 exactly
    // k2 = R2 / R0 = -0.95, and every later stage predicts perfectly.
    std::array<float, kLpcOrder> r{};
    float even = 1.0f;
    for (int k = 2; k <= kLpcOrder; k += 2) r[k - 1] = even = even * -0.95f;
    lpc_vector a;
    EXPECT_EQ(levinson_durbin(a, r.data(), 1.0f).k2, -0.95f);
    for (int i = 0; i < kLpcOrder; ++i) EXPECT_EQ(a[i], i == 1 ? -0.95f : 0.0f) << "a" << i + 1;
}

}  // namespace
}  // namespace g723
