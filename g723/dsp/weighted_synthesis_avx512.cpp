// SPDX-License-Identifier: BSD-2-Clause
// The AVX-512 kernel of the weighted synthesis: the loop of
// weighted_synthesis_loop.h on the 16-lane window, the loop compiled for
// AVX-512 as a whole (see there). Everything the loop uses is included
// first, outside the region, so that the inline functions of the other
// headers keep the default target.
#include <span>

#include "g723/dsp/filter_window_avx512.h"
#include "g723/dsp/kernel_paths.h"
#include "g723/dsp/pole_zero_filter.h"
#include "g723/dsp/weighted_synthesis.h"
#include "g723/tables/codec_constants.h"

#if G723_X86_KERNELS
G723_BEGIN_AVX512_REGION
#include "g723/dsp/weighted_synthesis_loop.h"

namespace g723::paths {

void weighted_synthesis_avx512(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const weighting_coefficients& w, float* s_mem, float* u_mem) {
    weighted_synthesis_loop<filter_window::wide>(excitation, a, w, s_mem, u_mem);
}

}  // namespace g723::paths
G723_END_AVX512_REGION
#endif
