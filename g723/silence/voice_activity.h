// SPDX-License-Identifier: BSD-2-Clause
// Voice activity detection: whitened frame energy against an adaptive noise
// threshold, pitch periodicity steering the noise estimate, and a hangover.
#pragma once

#include <cstdint>

#include "g723/silence/vad_state.h"

namespace g723 {

// The factor by which the whitened frame energy must reach the noise level
// noise_level (128 .. 131071) for a frame to count as speech.
float vad_threshold_factor(float noise_level);

// frame points at the 240 conditioned samples of the newest input slot
// (samples 50..239 are read); tone_history holds the encoder's per-subframe
// tone flags, bit 15 the tone decision. Returns 1 for speech, 0 for silence;
// always 1 with vad_mode 0, leaving vad alone.
int32_t detect_voice_activity(const float* frame, int32_t vad_mode, int16_t tone_history, vad_state& vad);

}  // namespace g723
