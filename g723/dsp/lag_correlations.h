// SPDX-License-Identifier: BSD-2-Clause
// Correlations of a window of signal with itself at a run of lags, as the
// open-loop pitch search needs them: out[j] = dot_product(x, x - (min_lag +
// j), length) for j = 0 .. lags - 1, each bit for bit as dot_product gives
// it (eight partial sums, the tail, the fixed combining order).
#pragma once

#include "g723/dsp/kernel_paths.h"

namespace g723 {

inline constexpr int kMaxCorrelationLength = 120;

// lags is a multiple of 8, length at most kMaxCorrelationLength; reads x[-(min_lag + lags - 1)] .. x[length - 1].
inline void lag_correlations(float* out, int lags, const float* x, int min_lag, int length) {
    kernels().lag_correlations(out, lags, x, min_lag, length);
}

namespace paths {
void lag_correlations_plain(float* out, int lags, const float* x, int min_lag, int length);
#if G723_X86_KERNELS
void lag_correlations_sse2(float* out, int lags, const float* x, int min_lag, int length);
void lag_correlations_avx2(float* out, int lags, const float* x, int min_lag, int length);
#endif
}  // namespace paths

}  // namespace g723
