// SPDX-License-Identifier: BSD-2-Clause
// Postfilter gain scaling: brings the postfiltered speech back to the level
// of the synthesized speech with a per-sample smoothed gain.
#pragma once

#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

// The smoothed gain moves toward the ratio by this much per sample.
inline float gain_scaling_increment(float ratio) { return 0.0625f * ratio; }

// One sample: the smoothed gain takes its next value, and scales x with a
// slight boost that makes up for the smoothing's lag behind rising levels.
inline float gain_scaling_sample(float x, float increment, float& state) {
    state = 0.9375f * state + increment;
    return 1.0625f * state * x;
}

// ratio is the formant postfilter's level-restoring gain; gain_scale_state
// carries the smoothed gain across subframes and frames.
void scale_postfilter_gain(std::span<float, kSubframeSamples> speech, float ratio,
                           float& gain_scale_state);

}  // namespace g723
