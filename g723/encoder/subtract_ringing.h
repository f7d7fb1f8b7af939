// SPDX-License-Identifier: BSD-2-Clause
// Subframe target: the harmonically shaped weighted speech minus the ringing
// of the combined filter's memories (its zero-input response).
#pragma once

#include <cstdint>
#include <span>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// target holds the shaped weighted speech of the subframe and receives the
// target. s_mem points at the most recent synthesized sample (s_mem[-9] ..
// s_mem[0] are read), u_mem at the most recent weighted synthesis sample
// (u_mem[-146] .. u_mem[0] may be read). s_mem[1..60] and u_mem[1..60] are
// used as scratch; nothing at or before position 0 changes.
void subtract_ringing(std::span<float, kSubframeSamples> target, const lpc_vector& a,
                      const weighting_coefficients& w, int32_t lag, float gain, float* s_mem,
                      float* u_mem);

}  // namespace g723
