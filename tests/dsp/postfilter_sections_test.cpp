// SPDX-License-Identifier: BSD-2-Clause
// The formant postfilter's sections on every path against the plain loops
// that define their sums: every output and the gain state bit for bit, the
// sign of zero included, and nothing written outside the subframe.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>

#include "g723/dsp/gain_scaling_step.h"
#include "g723/dsp/postfilter_sections.h"
#include "kernel_tables.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;
constexpr int P = kLpcOrder;

template <std::size_t n>
void expect_same_bits(const std::array<float, n>& expected, const std::array<float, n>& got, const char* what,
                      const kernel_table& kernels, int trial) {
    for (std::size_t i = 0; i < n; ++i)
        ASSERT_EQ(std::bit_cast<uint32_t>(expected[i]), std::bit_cast<uint32_t>(got[i]))
            << what << " [" << i << "] on " << kernel_path_name(kernels.path) << ", trial " << trial;
}

TEST(PostfilterSections, EveryPathGivesThePlainLoopsBits) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> coefficient(-0.6f, 0.6f), sample(-3000.0f, 3000.0f);
    const kernel_table plain = kernels_for(kernel_path::plain);
    for (int trial = 0; trial < 300; ++trial) {
        lpc_vector b, c;
        for (float& v : b) v = coefficient(rng);
        for (float& v : c) v = coefficient(rng);
        // Ten past values, the subframe, and a guard value on either side.
        std::array<float, 1 + P + N + 1> s, u;
        for (float& v : s) v = trial % 7 == 6 ? 0.0f : sample(rng);
        for (float& v : u) v = trial % 7 == 6 ? -0.0f : sample(rng);
        std::array<float, N> earlier;
        for (float& v : earlier) v = sample(rng);
        const float increment = gain_scaling_increment(coefficient(rng) + 1.0f);
        const float gain = coefficient(rng) + 1.0f;

        std::array<float, N> zero_expected;
        plain.postfilter_zero_part(zero_expected, s.data() + 1 + P, b);
        auto u_expected = u;
        plain.postfilter_pole_part(u_expected.data() + 1 + P, zero_expected, c);
        auto u_scaled_expected = u;
        auto earlier_expected = earlier;
        float gain_expected = gain;
        plain.postfilter_pole_part_and_gain_scaling(u_scaled_expected.data() + 1 + P, zero_expected, c,
                                                    earlier_expected, increment, gain_expected);
        // The fused kernel is the two recursions apart.
        expect_same_bits(u_expected, u_scaled_expected, "fused pole output", plain, trial);
        float separate_gain = gain;
        for (int n = 0; n < N; ++n)
            ASSERT_EQ(std::bit_cast<uint32_t>(gain_scaling_sample(earlier[n], increment, separate_gain)),
                      std::bit_cast<uint32_t>(earlier_expected[n]));

        for (const kernel_table& kernels : supported_kernel_tables()) {
            std::array<float, N> zero;
            kernels.postfilter_zero_part(zero, s.data() + 1 + P, b);
            expect_same_bits(zero_expected, zero, "zero part", kernels, trial);
            auto u_got = u;
            kernels.postfilter_pole_part(u_got.data() + 1 + P, zero_expected, c);
            expect_same_bits(u_expected, u_got, "pole output", kernels, trial);
            auto u_scaled = u;
            auto earlier_got = earlier;
            float gain_got = gain;
            kernels.postfilter_pole_part_and_gain_scaling(u_scaled.data() + 1 + P, zero_expected, c, earlier_got,
                                                          increment, gain_got);
            expect_same_bits(u_expected, u_scaled, "fused pole output", kernels, trial);
            expect_same_bits(earlier_expected, earlier_got, "gain-scaled subframe", kernels, trial);
            ASSERT_EQ(std::bit_cast<uint32_t>(gain_expected), std::bit_cast<uint32_t>(gain_got));
        }
    }
}

}  // namespace
}  // namespace g723
