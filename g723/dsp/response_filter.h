// SPDX-License-Identifier: BSD-2-Clause
// A signal filtered by a subframe's impulse response (the zero-state response
// of the weighted synthesis filter), as the adaptive-codebook search filters
// its candidate excitation and the chosen one:
//   y[n] = sum over i = 0 .. min(n, count - 1) of h[n - i] x[i],
// every y[n] summed from +0 in increasing i. The terms with i > n are exact
// zeros (h before its start) and are added too, as the plain loop adds them.
#pragma once

#include <span>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

// x holds count samples, count at most 60.
inline void filter_by_response(std::span<float, kSubframeSamples> y, std::span<const float, kSubframeSamples> h,
                               const float* x, int count) {
    kernels().filter_by_response(y, h, x, count);
}

namespace paths {
void filter_by_response_plain(std::span<float, kSubframeSamples> y, std::span<const float, kSubframeSamples> h,
                              const float* x, int count);
#if G723_SSE2_KERNELS
void filter_by_response_sse2(std::span<float, kSubframeSamples> y, std::span<const float, kSubframeSamples> h,
                             const float* x, int count);
void filter_by_response_avx2(std::span<float, kSubframeSamples> y, std::span<const float, kSubframeSamples> h,
                             const float* x, int count);
void filter_by_response_avx512(std::span<float, kSubframeSamples> y, std::span<const float, kSubframeSamples> h,
                                const float* x, int count);
#endif
}  // namespace paths

}  // namespace g723
