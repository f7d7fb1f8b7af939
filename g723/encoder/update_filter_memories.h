// SPDX-License-Identifier: BSD-2-Clause
// Advances the encoder's synthesis and weighted-synthesis memories by one
// subframe of excitation, exactly as the decoder synthesizes it.
#pragma once

#include <span>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// s_mem and u_mem point at the most recent synthesized and weighted
// synthesis samples; the subframe's 60 new values go to s_mem[1..60] and
// u_mem[1..60].
void update_filter_memories(std::span<const float, kSubframeSamples> excitation,
                            const lpc_vector& a, const weighting_coefficients& w, float* s_mem,
                            float* u_mem);

}  // namespace g723
