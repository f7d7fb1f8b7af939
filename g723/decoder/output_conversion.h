// SPDX-License-Identifier: BSD-2-Clause
// Conversion of the decoder's float output to 16-bit PCM.
#pragma once

#include <cstdint>
#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

// Rounds half away from zero and saturates to -32768 .. 32767; a value that
// is not a number gives -32768.
int16_t float_to_pcm(float x);

void output_to_pcm(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out);

}  // namespace g723
