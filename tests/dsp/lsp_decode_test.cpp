// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lsp_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "g723/tables/lsp_tables.h"

namespace g723 {
namespace {

// Coefficients 1..10 of A(z) = (P(z) + Q(z)) / 2 built in double precision
// from exact cosines, negated as in lpc_vector: an independent oracle for the
// single-precision conversion.
std::array<double, 10> reference_lpc(const lsp_vector& lsp) {
    auto multiply = [](std::vector<double> p, double q) {
        std::vector<double> r(p.size() + 2, 0.0);
        for (size_t i = 0; i < p.size(); ++i) {
            r[i] += p[i];
            r[i + 1] += q * p[i];
            r[i + 2] += p[i];
        }
        return r;
    };
    std::vector<double> f1{1.0}, f2{1.0};
    for (int i = 0; i < 10; ++i) {
        const double q = -2.0 * std::cos(std::numbers::pi * lsp[i] / 256.0);
        if (i % 2 == 0) f1 = multiply(f1, q); else f2 = multiply(f2, q);
    }
    std::array<double, 10> a{};
    for (int i = 1; i <= 10; ++i) {
        const double p = f1[i] + f1[i - 1];
        const double qz = f2[i] - f2[i - 1];
        a[i - 1] = -0.5 * (p + qz);
    }
    return a;
}

TEST(LspInverseQuantize, MeanVectorIsKeptByIndexZeroAndByALostFrame) {
    // Zero residual and zero prediction; a lost frame ignores its index.
    EXPECT_EQ(lsp_inverse_quantize(0, lsp_dc_vector, 0), lsp_dc_vector);
    EXPECT_EQ(lsp_inverse_quantize(0x123456, lsp_dc_vector, 1), lsp_dc_vector);
}

TEST(LspInverseQuantize, ResidualRowsComeThroughTheIndexMap) {
    // Band 0, transmitted index 1 is (-2.109375, -10.71875, -8.0625); band 2
    // index 1 is (4.6953125, 4.0, -4.234375, 2.609375). Prediction from the
    // mean vector is zero, and both residuals keep the lines well spaced.
    const lsp_vector lsp = lsp_inverse_quantize((1 << 16) | 1, lsp_dc_vector, 0);
    const float band0[3] = {-2.109375f, -10.71875f, -8.0625f};
    const float band2[4] = {4.6953125f, 4.0f, -4.234375f, 2.609375f};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lsp[i], band0[i] + lsp_dc_vector[i]) << i;
    for (int i = 3; i < 6; ++i) EXPECT_EQ(lsp[i], lsp_dc_vector[i]) << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(lsp[6 + i], band2[i] + lsp_dc_vector[6 + i]) << i;
}

// A previous vector whose prediction puts line i of a zero-residual received
// frame at target.
lsp_vector previous_giving(std::initializer_list<std::pair<int, float>> targets) {
    lsp_vector prev = lsp_dc_vector;
    for (auto [i, target] : targets) prev[i] = lsp_dc_vector[i] + (target - lsp_dc_vector[i]) / 0.375f;
    return prev;
}

TEST(LspInverseQuantize, OuterLinesAreBoundedBeforeSpacing) {
    for (auto [low, high] : {std::pair{1.0f, 255.0f}, std::pair{2.9f, 252.1f}}) {
        const lsp_vector lsp = lsp_inverse_quantize(0, previous_giving({{0, low}, {9, high}}), 0);
        EXPECT_EQ(lsp[0], 3.0f) << low;
        EXPECT_EQ(lsp[9], 252.0f) << high;
    }
}

TEST(LspInverseQuantize, CloseNeighboursAreMovedApartSymmetrically) {
    const lsp_vector lsp = lsp_inverse_quantize(0, previous_giving({{4, 100.0f}, {5, 100.5f}}), 0);
    EXPECT_NEAR(lsp[4], 99.25f, 1e-4f);
    EXPECT_NEAR(lsp[5], 101.25f, 1e-4f);
    EXPECT_NEAR(lsp[5] - lsp[4], 2.0f, 1e-4f);
}

TEST(LspInverseQuantize, LostFrameLeansHarderOnThePastAndKeepsWiderSpacing) {
    // Well-spaced previous lines: a concealed frame ignores the index and
    // draws them 0.71875 of the way from the mean towards the past.
    lsp_vector prev = lsp_dc_vector;
    for (int i = 0; i < 10; ++i) prev[i] += i % 2 == 0 ? 3.2f : -1.6f;
    lsp_vector lsp = lsp_inverse_quantize(0xabcdef, prev, 1);
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(lsp[i], lsp_dc_vector[i] + (i % 2 == 0 ? 2.3f : -1.15f), 1e-4f) << i;

    // Previous lines squeezed together; a concealed frame separates them by 4.
    prev = lsp_dc_vector;
    prev[4] = 110.0f;
    prev[5] = 111.0f;
    lsp = lsp_inverse_quantize(0, prev, 1);
    for (int j = 1; j < 10; ++j) EXPECT_GE(lsp[j] - lsp[j - 1], 4.0f - 0.03125f) << j;
}

TEST(LspInverseQuantize, SpacingWithinToleranceEndsTheCorrection) {
    // Lines 100, 101, 103.48: the first step moves 4 and 5 to 99.5 and
    // 101.5, the second moves 5 and 6 to 101.49 and 103.49. Lines 4 and 5
    // are then 1.99 apart, inside the 0.03125 tolerance of 2, so no further
    // pass runs.
    const lsp_vector previous = previous_giving({{4, 100.0f}, {5, 101.0f}, {6, 103.48f}});
    const lsp_vector lsp = lsp_inverse_quantize(0, previous, 0);
    EXPECT_NEAR(lsp[4], 99.5f, 2e-4f);
    EXPECT_NEAR(lsp[5], 101.49f, 2e-4f);
    EXPECT_NEAR(lsp[6], 103.49f, 2e-4f);
}

TEST(LspInverseQuantize, RandomIndicesGiveAscendingSpacedLines) {
    // Decoding a stream of random indices, each against the previous result,
    // as a decoder does: every vector that converged is ordered and spaced,
    // and the lines stay inside the cosine table's range.
    std::mt19937 rng(7);
    lsp_vector prev = lsp_dc_vector;
    int unconverged = 0;
    for (int frame = 0; frame < 20000; ++frame) {
        const int32_t index = static_cast<int32_t>(rng() & 0xffffff);
        const lsp_vector lsp = lsp_inverse_quantize(index, prev, (rng() % 10) == 0);
        bool spaced = true;
        for (int j = 1; j < 10; ++j) spaced = spaced && lsp[j] - lsp[j - 1] >= 2.0f - 0.03125f;
        if (!spaced) ++unconverged;
        for (float w : lsp) {
            ASSERT_TRUE(std::isfinite(w));
            EXPECT_GT(w, -1.0f);
            EXPECT_LT(w, 256.0f);
        }
        prev = lsp;
    }
    EXPECT_LT(unconverged, 20000 / 100);
}

TEST(LspToLpc, MatchesDoublePrecisionPolynomial) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> gap(2.0f, 40.0f);
    for (int trial = 0; trial < 200; ++trial) {
        lsp_vector lsp;
        float w = 3.0f;
        for (int i = 0; i < 10; ++i) {
            w += gap(rng) * 0.5f;
            lsp[i] = std::min(w, 252.0f);
        }
        const lpc_vector a = lsp_to_lpc(lsp);
        const std::array<double, 10> ref = reference_lpc(lsp);
        for (int i = 0; i < 10; ++i) EXPECT_NEAR(a[i], ref[i], 2e-3 * (1.0 + std::abs(ref[i]))) << i;
    }
}

TEST(LspToLpc, LinesOutsideTheTableStayFiniteAndInBounds) {
    // A garbled index can leave lines outside 0..511; the lookup must stay in
    // the table (AddressSanitizer would flag it) and the filter stay finite.
    const lsp_vector wild = {-40.5f, -3.25f, -0.5f, 0.0f, 128.0f, 255.9f, 510.99f, 511.0f, 600.25f, 1e9f};
    const lpc_vector a = lsp_to_lpc(wild);
    for (float v : a) EXPECT_TRUE(std::isfinite(v));
}

TEST(LspInterpolate, SubframesMoveFromPreviousToNew) {
    lsp_vector prev = lsp_dc_vector;
    lsp_vector next;
    for (int i = 0; i < 10; ++i) next[i] = 10.0f + 22.0f * static_cast<float>(i);
    const lsp_vector old = prev;
    std::array<lpc_vector, 4> lpc;
    lsp_interpolate(lpc, next, prev);

    EXPECT_EQ(prev, next);
    const float weights[4] = {0.75f, 0.5f, 0.25f, 0.0f};
    for (int s = 0; s < 4; ++s) {
        lsp_vector mixed;
        for (int i = 0; i < 10; ++i) mixed[i] = weights[s] * old[i] + (1.0f - weights[s]) * next[i];
        const std::array<double, 10> ref = reference_lpc(mixed);
        for (int i = 0; i < 10; ++i) EXPECT_NEAR(lpc[s][i], ref[i], 2e-3 * (1.0 + std::abs(ref[i]))) << s << ',' << i;
    }
    EXPECT_EQ(lpc[3], lsp_to_lpc(next));
}

}  // namespace
}  // namespace g723
