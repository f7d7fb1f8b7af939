// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/subtract_ringing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "g723/encoder/impulse_response.h"
#include "g723/encoder/update_filter_memories.h"
#include "tests/encoder/filter_test_support.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;
constexpr int kPastSubframes = 5;

// Synthesized and weighted synthesis signals grown in place by
// update_filter_memories over a few subframes of random excitation, laid out
// as the encoder lays them: ten and 147 past samples before the subframe.
struct filter_memories {
    std::vector<float> s = std::vector<float>(kLpcOrder + (kPastSubframes + 1) * N, 0.0f);
    std::vector<float> u = std::vector<float>(kWeightedPast + (kPastSubframes + 1) * N, 0.0f);

    float* s_mem(int subframe) { return &s[kLpcOrder - 1 + subframe * N]; }
    float* u_mem(int subframe) { return &u[kWeightedPast - 1 + subframe * N]; }

    void run_past(const lpc_vector& a, const weighting_coefficients& w, unsigned seed) {
        const std::vector<float> e = test::random_signal(kPastSubframes * N, 3000.0f, seed);
        for (int k = 0; k < kPastSubframes; ++k)
            update_filter_memories(std::span<const float, N>(&e[k * N], N), a, w, s_mem(k), u_mem(k));
    }
};

class SubtractRingingTest : public ::testing::Test {
protected:
    lpc_vector a = test::stable_lpc();
    weighting_coefficients w = test::weights_of(a);
};

class RingingSuperpositionTest : public SubtractRingingTest,
                                 public ::testing::WithParamInterface<int> {};

TEST_F(SubtractRingingTest, ZeroMemoriesGiveNoRinging) {
    filter_memories m;
    const std::vector<float> speech = test::random_signal(N, 1000.0f, 7);
    std::array<float, N> target;
    std::copy(speech.begin(), speech.end(), target.begin());
    subtract_ringing(target, a, w, 40, 0.3f, m.s_mem(0), m.u_mem(0));
    for (int n = 0; n < N; ++n) EXPECT_EQ(target[n], speech[n]);
}

TEST_F(SubtractRingingTest, LeavesThePastUntouchedAndScratchMatchesAZeroExcitationUpdate) {
    filter_memories m;
    m.run_past(a, w, 11);
    const std::vector<float> s_before(m.s.begin(), m.s.begin() + kLpcOrder + kPastSubframes * N);
    const std::vector<float> u_before(m.u.begin(), m.u.begin() + kWeightedPast + kPastSubframes * N);

    std::array<float, N> target{};
    subtract_ringing(target, a, w, 147, 0.25f, m.s_mem(kPastSubframes), m.u_mem(kPastSubframes));
    EXPECT_TRUE(std::equal(s_before.begin(), s_before.end(), m.s.begin()));
    EXPECT_TRUE(std::equal(u_before.begin(), u_before.end(), m.u.begin()));

    // The zero-input response left as scratch is exactly what the memory
    // update computes for an all-zero excitation.
    const std::vector<float> zero_input(m.u.end() - N, m.u.end());
    const std::array<float, N> silence{};
    update_filter_memories(silence, a, w, m.s_mem(kPastSubframes), m.u_mem(kPastSubframes));
    for (int n = 0; n < N; ++n) EXPECT_EQ(m.u[m.u.size() - N + n], zero_input[n]) << n;
    // With an all-zero target the ringing of the comb-free stages is that
    // zero-input response itself, here shaped by the comb at lag 147.
    for (int n = 0; n < N; ++n) {
        const float* q = m.u_mem(kPastSubframes) + 1;
        EXPECT_FLOAT_EQ(-target[n], q[n] - 0.25f * q[n - 147]) << n;
    }
}

// Superposition: ringing plus the zero-state response h * e must equal the
// comb applied to the weighted synthesis that the memory update produces
// from the same state. This ties the impulse response, the ringing and the
// update to one filter cascade.
TEST_P(RingingSuperpositionTest, RingingPlusFilteredExcitationMatchesTheMemoryUpdate) {
    const int lag = GetParam();
    const float gain = 0.28f;
    filter_memories m;
    m.run_past(a, w, 23 + lag);

    std::array<float, N> target{};
    subtract_ringing(target, a, w, lag, gain, m.s_mem(kPastSubframes), m.u_mem(kPastSubframes));
    std::array<float, N> h;
    compute_impulse_response(h, a, w, lag, gain);

    const std::vector<float> e = test::random_signal(N, 2000.0f, 99);
    update_filter_memories(std::span<const float, N>(e.data(), N), a, w, m.s_mem(kPastSubframes),
                           m.u_mem(kPastSubframes));
    const float* q = m.u_mem(kPastSubframes) + 1;
    double scale = 0.0;
    for (int n = 0; n < N; ++n) scale = std::max(scale, std::fabs(double(q[n])));
    for (int n = 0; n < N; ++n) {
        double zero_state = 0.0;
        for (int i = 0; i <= n; ++i) zero_state += double(h[n - i]) * e[i];
        const double combed = double(q[n]) - double(gain) * q[n - lag];
        EXPECT_NEAR(-double(target[n]) + zero_state, combed, 1e-4 * scale) << "lag " << lag << " n " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(CombLags, RingingSuperpositionTest, ::testing::Values(18, 59, 60, 100, 147));

}  // namespace
}  // namespace g723
