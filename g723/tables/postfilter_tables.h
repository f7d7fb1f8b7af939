// SPDX-License-Identifier: BSD-2-Clause
// Weights of the decoder's postfilters: the formant postfilter's pole-zero
// section A(z/0.65) / A(z/0.75) and the pitch postfilter's weight per rate.
#pragma once

#include <array>

#include "g723/tables/codec_constants.h"

namespace g723 {

// 0.65^i and 0.75^i for i = 1..10.
inline constexpr std::array<float, kLpcOrder> formant_pf_zero_weights = {
    0.65f, 0.4225f, 0.274625f, 0.178506f, 0.116029f,
    0.075419f, 0.049022f, 0.031864f, 0.020712f, 0.013463f};
inline constexpr std::array<float, kLpcOrder> formant_pf_pole_weights = {
    0.75f, 0.5625f, 0.421875f, 0.316406f, 0.237305f,
    0.177979f, 0.133484f, 0.100113f, 0.075085f, 0.056314f};

// Indexed by comp_rate; the 0.25 entry belongs to the 5.3 kbit/s rate.
inline constexpr std::array<float, 2> pitch_pf_weights = {0.1875f, 0.25f};

}  // namespace g723
