// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/weighted_synthesis.h"

#include "g723/dsp/filter_window.h"
#include "g723/dsp/weighted_synthesis_loop.h"

namespace g723::paths {

void weighted_synthesis_narrow(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const weighting_coefficients& w, float* s_mem, float* u_mem) {
    weighted_synthesis_loop<filter_window::narrow>(excitation, a, w, s_mem, u_mem);
}

}  // namespace g723::paths
