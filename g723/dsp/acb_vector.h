// SPDX-License-Identifier: BSD-2-Clause
// Adaptive-codebook (pitch) excitation: the lagged-excitation buffer and the
// 5-tap adaptive-codebook vector, shared by the decoder, the encoder's search
// and comfort-noise generation.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

inline constexpr int kLaggedExcitationSize = 67;
using lagged_excitation = std::array<float, kLaggedExcitationSize>;

// history points at e[-145], the oldest of the 145 samples before the
// subframe. Entry m of out stands for time m - lag - 5, the last lag past
// samples repeated where that time is not in the past.
//
// older_samples is how many samples of true excitation the caller's buffer
// holds before history (0 unless the caller knows better). An entry whose
// time lies before all of them is set to 0 and nothing there is read. Comfort
// noise uses lags up to 145 in the last subframe of a frame, where the
// oldest taps reach 147 samples back: into the earlier subframes of the same
// frame, which its caller vouches for by passing 60 * subframe here.
void fetch_lagged_excitation(lagged_excitation& out, const float* history, int32_t lag,
                             int32_t older_samples = 0);

// The subframe's adaptive-codebook vector for lag open_loop_lag + lag_offset - 1,
// with the gain row selected by open_loop_lag. older_samples as above.
void decode_acb_vector(std::span<float, kSubframeSamples> out, const float* history,
                       int32_t open_loop_lag, int32_t lag_offset, int32_t acb_gain_index,
                       int32_t older_samples = 0);

}  // namespace g723
