// SPDX-License-Identifier: BSD-2-Clause
// Conversion of float samples to 16-bit PCM: rounding half away from zero,
// saturating to -32768 .. 32767; a value that is not a number gives -32768.
#pragma once

#include <cstdint>
#include <span>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

int16_t float_to_pcm(float x);

// A frame, every sample exactly as float_to_pcm gives it.
inline void round_to_pcm(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
    kernels().round_to_pcm(in, out);
}

namespace paths {
void round_to_pcm_plain(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out);
#if G723_SSE2_KERNELS
void round_to_pcm_sse2(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out);
void round_to_pcm_avx2(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out);
#endif
}  // namespace paths

}  // namespace g723
