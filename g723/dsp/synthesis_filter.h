// SPDX-License-Identifier: BSD-2-Clause
// LPC synthesis filter 1/A(z): y[n] = x[n] + a1 y[n-1] + ... + a10 y[n-10].
// The decoder's synthesis and the encoder's filter-memory update both run
// through these kernels, so that the two compute every synthesized sample
// with the same operations in the same order and never drift apart.
//
// Summation order, the one order of this filter: x[n] first, then the past
// outputs from the oldest to the newest, a10 y[n-10] first and a1 y[n-1]
// last. The newest output enters last, so that the recursion's critical path
// is one product and one sum per sample.
#pragma once

#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

// One output sample; y points at the output's own position, y[-1] .. y[-10]
// being the ten previous outputs.
inline float synthesis_step(float x, const lpc_vector& a, const float* y) {
    float acc = x;
    for (int i = kLpcOrder - 1; i >= 0; --i) acc += a[i] * y[-1 - i];
    return acc;
}

// Filters one subframe, every output exactly as synthesis_step computes it.
// history points at the most recent past output; history[-1] .. history[-9]
// are older ones. The 60 outputs are written to history[1] .. history[60], so
// the array grows in place across subframes.
void synthesis_filter(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                      float* history);

}  // namespace g723
