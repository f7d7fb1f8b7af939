// SPDX-License-Identifier: BSD-2-Clause
// Formant postfilter: the pole-zero section A(z/0.65) / A(z/0.75) with a
// first-order tilt compensation driven by the speech's own spectral tilt.
#pragma once

#include <span>

#include "g723/tables/codec_constants.h"

namespace g723 {

// Filters one subframe of synthesized speech in place. input_history and
// output_history point at the most recent past input (synthesized speech)
// and past pole-zero output; [-1] .. [-9] are older ones. The subframe's 60
// inputs and outputs are appended at [1] .. [60]. tilt_memory is the smoothed
// first normalized autocorrelation. Returns the gain sqrt(input energy /
// output energy) that restores the subframe's level.
float formant_postfilter(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                         float* input_history, float* output_history, float& tilt_memory);

// The same, and meanwhile the gain scaling of an earlier subframe (a
// different one), exactly as scale_postfilter_gain(earlier, earlier_ratio,
// gain_scale_state) would do it: the two recursions then run side by side.
float formant_postfilter(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                         float* input_history, float* output_history, float& tilt_memory,
                         std::span<float, kSubframeSamples> earlier, float earlier_ratio,
                         float& gain_scale_state);

}  // namespace g723
