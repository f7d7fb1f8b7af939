// SPDX-License-Identifier: BSD-2-Clause
// The pole-zero step of the perceptual weighting filter A(z/0.9) / A(z/0.5):
// u[n] = s[n] - sum b_i s[n-i] + sum c_i u[n-i], i = 1..10. The weighting of
// the input speech, the combined impulse response, the ringing and the
// filter-memory update all compute it in one order: from zero, for i = 10
// down to 2 first - b_i s[n-i] then + c_i u[n-i]; then the input's two
// newest terms as one, (s[n] - b_1 s[n-1]); and c_1 u[n-1] last. The newest
// output enters last and alone, so that the recursion's critical path is
// one product and one sum per sample; the input, known before the output
// before it, is added ahead of it.
#pragma once

#include <array>

#include "g723/tables/codec_constants.h"

namespace g723 {

// Numerator coefficients b1..b10 at 0..9, denominator coefficients c1..c10
// at 10..19.
using weighting_coefficients = std::array<float, 2 * kLpcOrder>;

// s and u point at the current sample's positions; s[-1].., u[-1].. are the
// past input and output values.
inline float pole_zero_step(const float* s, const float* u, const weighting_coefficients& w) {
    float acc = 0.0f;
    for (int i = kLpcOrder - 1; i >= 1; --i) {
        acc -= w[i] * s[-1 - i];
        acc += w[kLpcOrder + i] * u[-1 - i];
    }
    acc += s[0] - w[0] * s[-1];
    return acc + w[kLpcOrder] * u[-1];
}

// Filters one subframe, every output exactly as pole_zero_step computes it:
// s[0] .. s[59] in, u[0] .. u[59] out; s[-10] .. s[-1] and u[-10] .. u[-1]
// are the past input and output values.
void pole_zero_filter(const float* s, float* u, const weighting_coefficients& w);

}  // namespace g723
