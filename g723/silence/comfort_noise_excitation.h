// SPDX-License-Identifier: BSD-2-Clause
// Comfort-noise excitation and SID gain coding, shared by the encoder and the
// decoder so that both build bit-identical comfort noise.
#pragma once

#include <cstdint>

#include "g723/bitstream/frame_params.h"

namespace g723 {

// Advances the 16-bit seed and returns a value in 0 .. n-1 (n at most 8192).
int32_t cng_random(int16_t& seed, int32_t n);

// Fills the 240 samples at excitation with comfort noise of level gain;
// history points 145 samples before excitation (history[145 + n] is
// excitation[n]). Overwrites the random fields of params.
void generate_cng_excitation(float gain, const float* history, float* excitation, int16_t& seed,
                             frame_params& params);

// The comfort-noise level of a silence frame: the SID level itself in the
// first frame after speech, otherwise 1/8 of the way from the previous
// level towards it, on both sides alike.
float glide_noise_level(int16_t sid_gain, float previous_level, bool after_speech);

// 6-bit SID gain index of the scaled sum of energies[0 .. count-1]; count 0
// scales energies[0] alone and overwrites it with the scaled value.
int16_t quantize_sid_gain(float* energies, int32_t count);

// The SID gain level of a 6-bit index.
int16_t decode_sid_gain(int32_t index);

}  // namespace g723
