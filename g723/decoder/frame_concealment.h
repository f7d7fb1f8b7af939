// SPDX-License-Identifier: BSD-2-Clause
// Frame erasure concealment: after each good speech frame, the voicing of
// its end and a pitch lag; for a lost speech frame, a pitch-periodic
// continuation of the past excitation or scaled noise, fading out, and
// silence from the third consecutive loss on.
#pragma once

#include <cstdint>
#include <span>

#include "g723/silence/cng_state.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// Consecutive lost frames after which the output is muted.
inline constexpr int32_t kMutedErasureCount = 3;
// Per lost frame attenuation of the excitation and of the noise gain.
inline constexpr float kConcealmentAttenuation = 0.75f;

// history points at the frame's history base (145 past samples, then the
// 240 decoded samples). Returns the concealment lag, 0 for unvoiced. When a
// positively correlated lag exists, stores the energy of the frame's last
// 120 samples into cng.noise_gain, the level of comfort noise that might
// follow without a SID frame.
int32_t find_concealment_lag(const float* history, int32_t open_loop_lag, decoder_cng_state& cng);

// One step of the concealment noise generator (16-bit linear congruential;
// seed holds the low 16 bits sign-extended). Returns the new seed.
int32_t concealment_random(int32_t& seed);

// Builds a lost frame's excitation into working and into the frame's slot
// (history + 145 .. history + 384), clearing the history where the adaptive
// codebook of the next good frame must start from silence.
void conceal_lost_frame(std::span<float, kFrameSamples> working, float* history, int32_t lag,
                        float gain, int32_t erasure_count, int32_t& seed);

}  // namespace g723
