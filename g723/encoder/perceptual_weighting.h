// SPDX-License-Identifier: BSD-2-Clause
// Perceptual weighting filter W(z) = A(z/0.9) / A(z/0.5) of the input speech.
#pragma once

#include <array>
#include <span>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

void compute_weighting_coefficients(std::array<weighting_coefficients, kSubframes>& weights_out,
                                    const std::array<lpc_vector, kSubframes>& lpc);

// x points at the first sample of the frame being coded (x[-10] .. x[239]
// are read); memory holds the last ten outputs, most recent first, and is
// updated.
void apply_weighting_filter(const float* x, std::span<float, kFrameSamples> y,
                            const std::array<weighting_coefficients, kSubframes>& weights,
                            std::array<float, kLpcOrder>& memory);

}  // namespace g723
