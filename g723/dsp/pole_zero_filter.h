// SPDX-License-Identifier: BSD-2-Clause
// The pole-zero step of the perceptual weighting filter A(z/0.9) / A(z/0.5):
// u[n] = s[n] - sum b_i s[n-i] + sum c_i u[n-i], i = 1..10. The weighting of
// the input speech, the combined impulse response, the ringing and the
// filter-memory update all compute it in one order: from zero, for i = 10
// down to 1 first - b_i s[n-i] then + c_i u[n-i], and s[n] last. The newest
// output enters last but one, so that the recursion's critical path is one
// product and two sums per sample.
#pragma once

#include <array>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

// Numerator coefficients b1..b10 at 0..9, denominator coefficients c1..c10
// at 10..19.
using weighting_coefficients = std::array<float, 2 * kLpcOrder>;

// s and u point at the current sample's positions; s[-1].., u[-1].. are the
// past input and output values.
inline float pole_zero_step(const float* s, const float* u, const weighting_coefficients& w) {
    float acc = 0.0f;
    for (int i = kLpcOrder - 1; i >= 0; --i) {
        acc -= w[i] * s[-1 - i];
        acc += w[kLpcOrder + i] * u[-1 - i];
    }
    return acc + s[0];
}

// Filters one subframe, every output exactly as pole_zero_step computes it:
// s[0] .. s[59] in, u[0] .. u[59] out; s[-10] .. s[-1] and u[-10] .. u[-1]
// are the past input and output values.
inline void pole_zero_filter(const float* s, float* u, const weighting_coefficients& w) {
    kernels().pole_zero_filter(s, u, w);
}

namespace paths {
void pole_zero_filter_narrow(const float* s, float* u, const weighting_coefficients& w);
#if G723_X86_KERNELS
void pole_zero_filter_avx512(const float* s, float* u, const weighting_coefficients& w);
#endif
}  // namespace paths

}  // namespace g723
