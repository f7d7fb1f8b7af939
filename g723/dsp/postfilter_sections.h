// SPDX-License-Identifier: BSD-2-Clause
// The two sections of the formant postfilter's pole-zero filter A(z/0.65) /
// A(z/0.75), and the pole section run side by side with the gain scaling of
// an earlier subframe (two independent recursions whose chains of sums then
// overlap).
//
// Summation orders, the one order of each section:
//   zero:  s[n] - (((b0 s[n-1] + b1 s[n-2]) + (b2 s[n-3] + b3 s[n-4]))
//                  + ((b4 s[n-5] + b5 s[n-6]) + (b6 s[n-7] + b7 s[n-8]))
//                  + (b8 s[n-9] + b9 s[n-10]))
//   pole:  u[n] = ((zero[n] + (hi + ((c5 u[n-6] + c4 u[n-5]) + (c3 u[n-4] + c2 u[n-3]))))
//                  + c1 u[n-2]) + c0 u[n-1]
//          with hi = (c9 u[n-10] + c8 u[n-9]) + (c7 u[n-8] + c6 u[n-7]).
#pragma once

#include <span>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

// zero[n] for the subframe; s points at its first input, s[-1] .. s[-10]
// being the ten before it.
inline void postfilter_zero_part(std::span<float, kSubframeSamples> zero, const float* s, const lpc_vector& b) {
    kernels().postfilter_zero_part(zero, s, b);
}

// u[0] .. u[59] from the zero part; u[-1] .. u[-10] are the past outputs.
inline void postfilter_pole_part(float* u, std::span<const float, kSubframeSamples> zero, const lpc_vector& c) {
    kernels().postfilter_pole_part(u, zero, c);
}

// The same, and meanwhile the gain scaling of an earlier subframe in place,
// sample by sample as gain_scaling_sample(earlier[n], increment, gain_state).
inline void postfilter_pole_part_and_gain_scaling(float* u, std::span<const float, kSubframeSamples> zero,
                                                  const lpc_vector& c, std::span<float, kSubframeSamples> earlier,
                                                  float increment, float& gain_state) {
    kernels().postfilter_pole_part_and_gain_scaling(u, zero, c, earlier, increment, gain_state);
}

namespace paths {
void postfilter_zero_part_plain(std::span<float, kSubframeSamples> zero, const float* s, const lpc_vector& b);
void postfilter_pole_part_plain(float* u, std::span<const float, kSubframeSamples> zero, const lpc_vector& c);
void postfilter_pole_part_and_gain_scaling_plain(float* u, std::span<const float, kSubframeSamples> zero,
                                                 const lpc_vector& c, std::span<float, kSubframeSamples> earlier,
                                                 float increment, float& gain_state);
#if G723_SSE2_KERNELS
void postfilter_zero_part_sse2(std::span<float, kSubframeSamples> zero, const float* s, const lpc_vector& b);
void postfilter_zero_part_avx2(std::span<float, kSubframeSamples> zero, const float* s, const lpc_vector& b);
void postfilter_pole_part_sse2(float* u, std::span<const float, kSubframeSamples> zero, const lpc_vector& c);
void postfilter_pole_part_and_gain_scaling_sse2(float* u, std::span<const float, kSubframeSamples> zero,
                                                const lpc_vector& c, std::span<float, kSubframeSamples> earlier,
                                                float increment, float& gain_state);
void postfilter_zero_part_avx512(std::span<float, kSubframeSamples> zero, const float* s, const lpc_vector& b);
#endif
}  // namespace paths

}  // namespace g723
