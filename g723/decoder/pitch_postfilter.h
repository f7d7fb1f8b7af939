// SPDX-License-Identifier: BSD-2-Clause
// Pitch postfilter: emphasizes the pitch periodicity of decoded excitation
// by mixing each subframe with the excitation one period before or after it,
// at the subframe's own energy.
#pragma once

#include <cstdint>
#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

struct pitch_postfilter_params {
    int32_t offset;       // < 0: backward by -offset samples, > 0: forward, 0: none
    float weighted_gain;  // gain of the lagged excitation, scale included
    float scale;          // gain of the subframe itself
};

inline constexpr pitch_postfilter_params kNeutralPitchPostfilter{0, 0.0f, 1.0f};

// history points at the frame's history base: 145 past excitation samples,
// then the frame's 240 decoded samples. subframe is 0..3, open_loop_lag that
// of the subframe's half frame.
int32_t backward_pitch_search(const float* history, int32_t open_loop_lag, int subframe);
int32_t forward_pitch_search(const float* history, int32_t open_loop_lag, int subframe);

// Gains for the chosen offset from the subframe energy e0, its correlation x
// with the lagged excitation and that excitation's energy e.
pitch_postfilter_params pitch_postfilter_gains(int32_t offset, float e0, float x, float e,
                                               int32_t comp_rate);

pitch_postfilter_params find_pitch_postfilter(const float* history, int32_t open_loop_lag,
                                              int subframe, int32_t comp_rate);

// Writes subframe 0..3 of the frame's working signal from the excitation.
void apply_pitch_postfilter(std::span<float, kFrameSamples> working, const float* history,
                            const pitch_postfilter_params& params, int subframe);

}  // namespace g723
