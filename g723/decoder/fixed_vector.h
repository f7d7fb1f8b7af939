// SPDX-License-Identifier: BSD-2-Clause
// MP-MLQ fixed-codebook excitation: signed pulses of one amplitude on one
// grid, optionally repeated at the pitch lag.
#pragma once

#include <cstdint>
#include <span>

#include "g723/bitstream/frame_params.h"

namespace g723 {

// out[n] = sum over m >= 0 of in[n - m * lag]; in and out may be the same.
void repeat_pulse_train(std::span<const float, kSubframeSamples> in,
                        std::span<float, kSubframeSamples> out, int32_t lag);

// The fixed-codebook vector of subframe 0..3; an out-of-range position code
// gives an all-zero vector.
void decode_fixed_vector(std::span<float, kSubframeSamples> out, const subframe_params& params,
                         int32_t open_loop_lag, int subframe);

}  // namespace g723
