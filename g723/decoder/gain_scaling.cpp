// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/gain_scaling.h"

namespace g723 {

void scale_postfilter_gain(std::span<float, kSubframeSamples> speech, float ratio,
                           float& gain_scale_state) {
    const float increment = gain_scaling_increment(ratio);
    float state = gain_scale_state;
    for (float& x : speech) x = gain_scaling_sample(x, increment, state);
    gain_scale_state = state;
}

}  // namespace g723
