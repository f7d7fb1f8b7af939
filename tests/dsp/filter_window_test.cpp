// SPDX-License-Identifier: BSD-2-Clause
// The block kernels of the recursive filters, on every kernel path, against
// their one-sample steps, which define each output's order of summation:
// every output bit for bit, the sign of zero included, and nothing written
// outside the subframe.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/dsp/synthesis_filter.h"
#include "g723/dsp/weighted_synthesis.h"
#include "kernel_tables.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;
constexpr int P = kLpcOrder;

// Ten past values, the subframe, and two guard values on either side.
using signal = std::array<float, 2 + P + N + 2>;

struct filter_case {
    lpc_vector a;
    weighting_coefficients w;
    std::array<float, N> x;
    signal s, u;  // past values at [2 .. 11], the subframe from [12]
};

filter_case random_case(std::mt19937& rng, float scale) {
    std::uniform_real_distribution<float> coefficient(-0.4f, 0.4f), sample(-scale, scale);
    filter_case c;
    for (float& v : c.a) v = coefficient(rng);
    for (float& v : c.w) v = coefficient(rng);
    for (float& v : c.x) v = sample(rng);
    for (float& v : c.s) v = sample(rng);
    for (float& v : c.u) v = sample(rng);
    return c;
}

bool same_bits(const signal& p, const signal& q) { return std::memcmp(p.data(), q.data(), sizeof(signal)) == 0; }

void expect_path_matches_steps(const kernel_table& kernels, const filter_case& c) {
    SCOPED_TRACE(kernel_path_name(kernels.path));
    const int first = 2 + P;
    // Synthesis alone.
    signal ref = c.s, out = c.s;
    for (int n = 0; n < N; ++n) ref[first + n] = synthesis_step(c.x[n], c.a, &ref[first + n]);
    synthesis_filter(c.x, c.a, &out[first - 1]);
    EXPECT_TRUE(same_bits(ref, out)) << "synthesis_filter";

    // Pole-zero alone, on the given input.
    signal uref = c.u, uout = c.u;
    for (int n = 0; n < N; ++n) uref[first + n] = pole_zero_step(&c.s[first + n], &uref[first + n], c.w);
    pole_zero_filter(&c.s[first], &uout[first], c.w);
    EXPECT_TRUE(same_bits(uref, uout)) << "pole_zero_filter";

    // Both in one pass.
    signal sref = c.s, sout = c.s;
    uref = c.u;
    uout = c.u;
    for (int n = 0; n < N; ++n) {
        sref[first + n] = synthesis_step(c.x[n], c.a, &sref[first + n]);
        uref[first + n] = pole_zero_step(&sref[first + n], &uref[first + n], c.w);
    }
    kernels.weighted_synthesis(c.x, c.a, c.w, &sout[first - 1], &uout[first - 1]);
    EXPECT_TRUE(same_bits(sref, sout) && same_bits(uref, uout)) << "weighted_synthesis";
}

void expect_kernels_match_steps(const filter_case& c) {
    for (const kernel_table& kernels : supported_kernel_tables()) expect_path_matches_steps(kernels, c);
}

TEST(FilterKernels, EveryOutputEqualsItsStepBitForBit) {
    std::mt19937 rng(7);
    for (float scale : {1e-30f, 1.0f, 3e4f})
        for (int trial = 0; trial < 50; ++trial) expect_kernels_match_steps(random_case(rng, scale));
}

TEST(FilterKernels, SilenceKeepsTheStepsSignedZeros) {
    std::mt19937 rng(11);
    filter_case c = random_case(rng, 1.0f);
    c.x.fill(0.0f);
    c.s.fill(-0.0f);
    c.u.fill(-0.0f);
    expect_kernels_match_steps(c);
    c.s.fill(0.0f);
    expect_kernels_match_steps(c);
}

}  // namespace
}  // namespace g723
