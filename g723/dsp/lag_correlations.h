// SPDX-License-Identifier: BSD-2-Clause
// Correlations of a window of signal with itself at a run of lags, as the
// open-loop pitch search needs them on the decimated half frame: out[j] =
// dot_product(x, x - (min_lag + j), 60) for j = 0 .. 63, each bit for bit as
// dot_product gives it (eight partial sums, the tail, the fixed combining
// order).
#pragma once

#include <span>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

// Reads x[-(min_lag + 63)] .. x[59].
inline void lag_correlations(std::span<float, kCorrelationLags> out, const float* x, int min_lag) {
    kernels().lag_correlations(out, x, min_lag);
}

namespace paths {
void lag_correlations_plain(std::span<float, kCorrelationLags> out, const float* x, int min_lag);
#if G723_SSE2_KERNELS
void lag_correlations_sse2(std::span<float, kCorrelationLags> out, const float* x, int min_lag);
void lag_correlations_avx2(std::span<float, kCorrelationLags> out, const float* x, int min_lag);
void lag_correlations_avx512(std::span<float, kCorrelationLags> out, const float* x, int min_lag);
#endif
}  // namespace paths

}  // namespace g723
