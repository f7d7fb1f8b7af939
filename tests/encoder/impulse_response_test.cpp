// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/impulse_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/encoder/filter_test_support.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;

class ImpulseResponseTest : public ::testing::Test {
protected:
    lpc_vector a = test::stable_lpc();
    weighting_coefficients w = test::weights_of(a);
    std::vector<double> unshaped;  // synthesis + weighting response, double precision

    void SetUp() override {
        std::vector<double> delta(N, 0.0);
        delta[0] = 1.0;
        unshaped = test::reference_weighted_synthesis(delta, a, w);
    }
};

TEST_F(ImpulseResponseTest, WithoutCombIsTheSynthesisAndWeightingResponse) {
    std::array<float, N> h;
    compute_impulse_response(h, a, w, 40, 0.0f);
    EXPECT_EQ(h[0], 1.0f);
    for (int n = 0; n < N; ++n) EXPECT_NEAR(h[n], unshaped[n], 1e-4 * (1.0 + std::fabs(unshaped[n]))) << n;
}

TEST_F(ImpulseResponseTest, ShortLagCombReadsTheUnshapedResponse) {
    // With lag 7 a comb recursive on its own output would differ from
    // sample 14 on.
    const float gain = 0.3125f;
    std::array<float, N> h;
    compute_impulse_response(h, a, w, 7, gain);
    EXPECT_EQ(h[0], 1.0f);
    for (int n = 0; n < N; ++n) {
        const double expected = unshaped[n] - (n >= 7 ? gain * unshaped[n - 7] : 0.0);
        EXPECT_NEAR(h[n], expected, 1e-4 * (1.0 + std::fabs(expected))) << n;
    }
}

TEST_F(ImpulseResponseTest, CombAtOrBeyondSubframeLengthChangesNothing) {
    std::array<float, N> plain, shaped60, shaped147;
    compute_impulse_response(plain, a, w, 30, 0.0f);
    compute_impulse_response(shaped60, a, w, 60, 0.3f);
    compute_impulse_response(shaped147, a, w, 147, 0.3f);
    EXPECT_EQ(plain, shaped60);
    EXPECT_EQ(plain, shaped147);
}

// The four side-by-side recursions give each subframe exactly its own
// response, whatever the other three filters are.
TEST_F(ImpulseResponseTest, FourAtOnceEqualOneAtATime) {
    std::array<lpc_vector, kSubframes> filters;
    std::array<weighting_coefficients, kSubframes> weights;
    const std::array<harmonic_shaping, kSubframes> shaping = {
        harmonic_shaping{7, 0.3f}, harmonic_shaping{59, 0.1f}, harmonic_shaping{147, 0.3125f},
        harmonic_shaping{30, 0.0f}};
    for (int k = 0; k < kSubframes; ++k) {
        filters[k] = a;
        for (float& c : filters[k]) c *= 1.0f - 0.1f * k;
        weights[k] = test::weights_of(filters[k]);
    }
    std::array<impulse_response, kSubframes> together;
    compute_impulse_responses(together, filters, weights, shaping);
    for (int k = 0; k < kSubframes; ++k) {
        impulse_response alone;
        compute_impulse_response(alone, filters[k], weights[k], shaping[k].lag, shaping[k].gain);
        EXPECT_EQ(together[k], alone) << k;
    }
}

}  // namespace
}  // namespace g723
