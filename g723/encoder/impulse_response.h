// SPDX-License-Identifier: BSD-2-Clause
// Impulse response of the combined filter through which the encoder compares
// excitations with the speech: LPC synthesis 1/A(z), perceptual weighting
// A(z/0.9)/A(z/0.5) and the harmonic noise shaping comb 1 - gain z^-lag.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/encoder/harmonic_shaping.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

using impulse_response = std::array<float, kSubframeSamples>;

// First 60 samples of the cascade's response to a unit impulse, all filter
// states zero. h[0] is always exactly 1.
void compute_impulse_response(std::span<float, kSubframeSamples> h, const lpc_vector& a,
                              const weighting_coefficients& w, int32_t lag, float gain);

// The four subframes' responses at once, each exactly as
// compute_impulse_response gives it; the four independent recursions run
// side by side instead of one after another.
void compute_impulse_responses(std::array<impulse_response, kSubframes>& h,
                               const std::array<lpc_vector, kSubframes>& a,
                               const std::array<weighting_coefficients, kSubframes>& w,
                               const std::array<harmonic_shaping, kSubframes>& shaping);

}  // namespace g723
