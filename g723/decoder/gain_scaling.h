// SPDX-License-Identifier: BSD-2-Clause
// Postfilter gain scaling: brings the postfiltered speech back to the level
// of the synthesized speech with a per-sample smoothed gain.
#pragma once

#include <span>

#include "g723/dsp/gain_scaling_step.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// ratio is the formant postfilter's level-restoring gain; gain_scale_state
// carries the smoothed gain across subframes and frames.
void scale_postfilter_gain(std::span<float, kSubframeSamples> speech, float ratio,
                           float& gain_scale_state);

}  // namespace g723
