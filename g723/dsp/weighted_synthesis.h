// SPDX-License-Identifier: BSD-2-Clause
// Synthesis and perceptual weighting in one pass: s = 1/A(z) x, then
// u = A(z/0.9) / A(z/0.5) s, each sample exactly as synthesis_step and
// pole_zero_step compute it. The encoder's ringing (zero input) and its
// filter-memory update (the chosen excitation) run through it; the two
// recursions overlap.
#pragma once

#include <span>

#include "g723/dsp/kernel_paths.h"
#include "g723/dsp/pole_zero_filter.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// s_mem and u_mem point at the most recent synthesized and weighted sample;
// the ten before them (inclusive) are read, and the subframe's 60 outputs of
// each stage are written at [1] .. [60].
inline void weighted_synthesis(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const weighting_coefficients& w, float* s_mem, float* u_mem) {
    kernels().weighted_synthesis(excitation, a, w, s_mem, u_mem);
}

namespace paths {
void weighted_synthesis_narrow(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const weighting_coefficients& w, float* s_mem, float* u_mem);
#if G723_X86_KERNELS
void weighted_synthesis_avx512(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const weighting_coefficients& w, float* s_mem, float* u_mem);
#endif
}  // namespace paths

}  // namespace g723
