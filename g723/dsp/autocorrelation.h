// SPDX-License-Identifier: BSD-2-Clause
// Autocorrelation of one windowed LPC analysis block at lags 0 .. 10:
// r[k] = dot_product(s + k, s, 180 - k), each bit for bit as dot_product
// gives it (eight partial sums, the tail, the fixed combining order).
#pragma once

#include <span>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

inline void autocorrelation(std::span<float, kLpcOrder + 1> r, std::span<const float, kAnalysisLength> s) {
    kernels().autocorrelation(r, s);
}

namespace paths {
void autocorrelation_plain(std::span<float, kLpcOrder + 1> r, std::span<const float, kAnalysisLength> s);
#if G723_SSE2_KERNELS
void autocorrelation_sse2(std::span<float, kLpcOrder + 1> r, std::span<const float, kAnalysisLength> s);
#endif
#if G723_X86_KERNELS
void autocorrelation_avx2(std::span<float, kLpcOrder + 1> r, std::span<const float, kAnalysisLength> s);
void autocorrelation_avx512(std::span<float, kLpcOrder + 1> r, std::span<const float, kAnalysisLength> s);
#endif
}  // namespace paths

}  // namespace g723
