// The pole-zero step of the perceptual weighting filter A(z/0.9) / A(z/0.5):
// u[n] = s[n] - sum b_i s[n-i] + sum c_i u[n-i], i = 1..10. The weighting of
// the input speech, the combined impulse response, the ringing and the
// filter-memory update all use this one step.
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
    float acc = s[0];
    for (int i = 0; i < kLpcOrder; ++i) acc -= w[i] * s[-1 - i];
    for (int i = 0; i < kLpcOrder; ++i) acc += w[kLpcOrder + i] * u[-1 - i];
    return acc;
}

}  // namespace g723
