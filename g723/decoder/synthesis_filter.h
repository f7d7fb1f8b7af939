// LPC synthesis filter 1/A(z): y[n] = x[n] + a1 y[n-1] + ... + a10 y[n-10].
// The decoder's synthesis and the encoder's filter-memory update both run
// through synthesis_filter, so that the two compute every synthesized sample
// with the same operations in the same order and never drift apart.
#pragma once

#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

// One output sample; y points at the output's own position, y[-1] .. y[-10]
// being the ten previous outputs. The eight older terms are summed as a tree
// and the two newest come last: everything before a1 y[n-1] is known a
// sample ahead, so the recursion costs one multiply and one add per sample
// rather than a chain of ten adds.
inline float synthesis_step(float x, const lpc_vector& a, const float* y) {
    const float older = ((a[9] * y[-10] + a[8] * y[-9]) + (a[7] * y[-8] + a[6] * y[-7])) +
                        ((a[5] * y[-6] + a[4] * y[-5]) + (a[3] * y[-4] + a[2] * y[-3]));
    return (x + older + a[1] * y[-2]) + a[0] * y[-1];
}

// Filters one subframe. history points at the most recent past output;
// history[-1] .. history[-9] are older ones. The 60 outputs are written to
// history[1] .. history[60], so the array grows in place across subframes.
inline void synthesis_filter(std::span<const float, kSubframeSamples> excitation,
                             const lpc_vector& a, float* history) {
    float* y = history + 1;
    for (int n = 0; n < kSubframeSamples; ++n) y[n] = synthesis_step(excitation[n], a, y + n);
}

}  // namespace g723
