// SPDX-License-Identifier: BSD-2-Clause
// One sample of the postfilter gain scaling: the smoothed gain moves toward
// the level-restoring ratio and scales the sample. The decoder's gain scaling
// and the kernel that runs it beside the formant pole recursion share it.
#pragma once

namespace g723 {

// The smoothed gain moves toward the ratio by this much per sample.
inline float gain_scaling_increment(float ratio) { return 0.0625f * ratio; }

// One sample: the smoothed gain takes its next value, and scales x with a
// slight boost that makes up for the smoothing's lag behind rising levels.
inline float gain_scaling_sample(float x, float increment, float& state) {
    state = 0.9375f * state + increment;
    return 1.0625f * state * x;
}

}  // namespace g723
