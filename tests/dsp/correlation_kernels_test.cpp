// SPDX-License-Identifier: BSD-2-Clause
// The correlation kernels of every path against dot_product, which defines
// each sum's order: bit for bit, for every lag, on signals of very different
// scales and with exact zeros, so that the lanes' partial sums, tails, masks
// and combining order are all exercised.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>

#include "g723/dsp/autocorrelation.h"
#include "g723/dsp/dot_product.h"
#include "g723/dsp/even_lag_correlations.h"
#include "g723/dsp/lag_correlations.h"
#include "g723/dsp/response_filter.h"
#include "kernel_tables.h"

namespace g723 {
namespace {

template <std::size_t n>
std::array<float, n> random_signal(std::mt19937& rng, int trial) {
    // Wide dynamic range: sums that round differently in another order.
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-20, 20);
    std::array<float, n> s;
    for (float& v : s) v = trial % 4 == 3 && v < 0.0f ? 0.0f : std::ldexp(sample(rng), exponent(rng));
    if (trial % 5 == 4)
        for (std::size_t i = 0; i < n; i += 3) s[i] = 0.0f;
    return s;
}

TEST(CorrelationKernels, LagCorrelationsOfEveryPathAreDotProducts) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        const int min_lag = 1 + trial % 17;
        const auto signal = random_signal<200>(rng, trial);
        const float* x = signal.data() + 130;
        for (const kernel_table& kernels : supported_kernel_tables()) {
            std::array<float, kCorrelationLags> out;
            kernels.lag_correlations(out, x, min_lag);
            for (int j = 0; j < kCorrelationLags; ++j)
                ASSERT_EQ(std::bit_cast<uint32_t>(out[j]),
                          std::bit_cast<uint32_t>(dot_product(x, x - (min_lag + j), kCorrelationLength)))
                    << kernel_path_name(kernels.path) << " trial " << trial << " lag " << min_lag + j;
        }
    }
}

TEST(CorrelationKernels, AutocorrelationsOfEveryPathAreDotProducts) {
    std::mt19937 rng(13);
    for (int trial = 0; trial < 200; ++trial) {
        const auto s = random_signal<kAnalysisLength>(rng, trial);
        for (const kernel_table& kernels : supported_kernel_tables()) {
            std::array<float, kLpcOrder + 1> r;
            kernels.autocorrelation(r, s);
            for (int k = 0; k <= kLpcOrder; ++k)
                ASSERT_EQ(std::bit_cast<uint32_t>(r[k]),
                          std::bit_cast<uint32_t>(dot_product(s.data() + k, s.data(), kAnalysisLength - k)))
                    << kernel_path_name(kernels.path) << " trial " << trial << " lag " << k;
        }
    }
}

TEST(CorrelationKernels, EvenLagCorrelationsOfEveryPathAreDotProducts) {
    std::mt19937 rng(12);
    for (int trial = 0; trial < 300; ++trial) {
        const auto a = random_signal<kSubframeSamples>(rng, trial);
        const auto h = random_signal<kSubframeSamples>(rng, trial + 1);
        for (const kernel_table& kernels : supported_kernel_tables()) {
            // The target against h, and h against itself.
            for (const float* signal : {a.data(), h.data()}) {
                std::array<float, kEvenLags> out;
                kernels.even_lag_correlations(out, signal, h.data());
                for (int k = 0; k < kEvenLags; ++k)
                    ASSERT_EQ(std::bit_cast<uint32_t>(out[k]),
                              std::bit_cast<uint32_t>(dot_product(signal + 2 * k, h.data(), kSubframeSamples - 2 * k)))
                        << kernel_path_name(kernels.path) << " trial " << trial << " k " << k;
            }
        }
    }
}

// The response filtering of every path against the sums written out, each
// output from +0 in increasing i, the zero terms past its own time included
// (they decide the sign of a zero output).
TEST(CorrelationKernels, ResponseFilteringOfEveryPathSumsInIncreasingOrder) {
    std::mt19937 rng(13);
    for (int trial = 0; trial < 200; ++trial) {
        const auto h = random_signal<kSubframeSamples>(rng, trial);
        const auto x = random_signal<kSubframeSamples>(rng, trial + 2);
        const int count = trial % 4 == 0 ? kSubframeSamples : 1 + trial % kSubframeSamples;
        std::array<float, kSubframeSamples> expected;
        for (int n = 0; n < kSubframeSamples; ++n) {
            float sum = 0.0f;
            for (int i = 0; i < count; ++i) sum += (n >= i ? h[n - i] : 0.0f) * x[i];
            expected[n] = sum;
        }
        for (const kernel_table& kernels : supported_kernel_tables()) {
            std::array<float, kSubframeSamples> y;
            y.fill(1.0f);  // overwritten, not added to
            kernels.filter_by_response(y, h, x.data(), count);
            for (int n = 0; n < kSubframeSamples; ++n)
                ASSERT_EQ(std::bit_cast<uint32_t>(y[n]), std::bit_cast<uint32_t>(expected[n]))
                    << kernel_path_name(kernels.path) << " trial " << trial << " n " << n;
        }
    }
}

}  // namespace
}  // namespace g723
