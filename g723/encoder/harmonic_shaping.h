// SPDX-License-Identifier: BSD-2-Clause
// Harmonic noise shaping: per-subframe comb P(z) = 1 - gain z^-lag around the
// open-loop lag, applied to the weighted speech.
#pragma once

#include <cstdint>

namespace g723 {

struct harmonic_shaping {
    int32_t lag;
    float gain;  // 0: no shaping
};

// subframe points at the subframe's first weighted-speech sample; reads its 60
// samples and up to open_loop_lag + 3 samples before it.
harmonic_shaping find_harmonic_shaping(const float* subframe, int32_t open_loop_lag);

// out[offset + n] = w[offset + n] - gain * w[offset + n - lag], n = 0..59;
// w is the current frame of weighted speech (negative indices are history).
void apply_harmonic_shaping(float* out, const float* w, int offset, int32_t lag, float gain);

}  // namespace g723
