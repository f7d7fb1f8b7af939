// SPDX-License-Identifier: BSD-2-Clause
// Correlations of a subframe signal with the impulse response h shifted by
// every even number of samples, as the fixed-codebook search needs them for
// its grid of even pulse positions: out[k] = dot_product(a + 2k, h, 60 - 2k)
// for k = 0 .. 29, each bit for bit as dot_product gives it.
#pragma once

#include <span>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

// a and h hold 60 samples each.
inline void even_lag_correlations(std::span<float, kEvenLags> out, const float* a, const float* h) {
    kernels().even_lag_correlations(out, a, h);
}

namespace paths {
void even_lag_correlations_plain(std::span<float, kEvenLags> out, const float* a, const float* h);
#if G723_SSE2_KERNELS
void even_lag_correlations_sse2(std::span<float, kEvenLags> out, const float* a, const float* h);
void even_lag_correlations_avx2(std::span<float, kEvenLags> out, const float* a, const float* h);
#endif
}  // namespace paths

}  // namespace g723
