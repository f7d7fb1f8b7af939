#include "g723/encoder/update_filter_memories.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/encoder/filter_test_support.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;

TEST(UpdateFilterMemoriesTest, FourSubframesFollowTheContinuousFilterCascade) {
    const lpc_vector a = test::stable_lpc();
    const weighting_coefficients w = test::weights_of(a);
    const std::vector<float> e = test::random_signal(4 * N, 4000.0f, 5);

    std::vector<float> s(kLpcOrder + 4 * N, 0.0f);
    std::vector<float> u(kWeightedPast + 4 * N, 0.0f);
    for (int k = 0; k < 4; ++k)
        update_filter_memories(std::span<const float, N>(&e[k * N], N), a, w, &s[kLpcOrder - 1 + k * N],
                               &u[kWeightedPast - 1 + k * N]);

    const std::vector<double> reference =
        test::reference_weighted_synthesis(std::vector<double>(e.begin(), e.end()), a, w);
    double scale = 0.0;
    for (double v : reference) scale = std::max(scale, std::fabs(v));
    for (int n = 0; n < 4 * N; ++n) EXPECT_NEAR(u[kWeightedPast + n], reference[n], 1e-5 * scale) << n;
    // Nothing before the first new sample is written.
    for (int n = 0; n < kLpcOrder; ++n) EXPECT_EQ(s[n], 0.0f);
    for (int n = 0; n < kWeightedPast; ++n) EXPECT_EQ(u[n], 0.0f);
}

TEST(UpdateFilterMemoriesTest, ZeroFilterPassesTheExcitationThrough) {
    const lpc_vector zero{};
    const weighting_coefficients none{};
    const std::vector<float> e = test::random_signal(N, 100.0f, 8);
    std::vector<float> s(kLpcOrder + N, 0.0f), u(kLpcOrder + N, 0.0f);
    update_filter_memories(std::span<const float, N>(e.data(), N), zero, none, &s[kLpcOrder - 1],
                           &u[kLpcOrder - 1]);
    for (int n = 0; n < N; ++n) {
        EXPECT_EQ(s[kLpcOrder + n], e[n]);
        EXPECT_EQ(u[kLpcOrder + n], e[n]);
    }
}

}  // namespace
}  // namespace g723
