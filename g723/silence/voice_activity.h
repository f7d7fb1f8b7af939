// Voice activity detection: whitened frame energy against an adaptive noise
// threshold, pitch periodicity steering the noise estimate, and a hangover.
#pragma once

#include <cstdint>

#include "g723/encoder/encoder_state.h"

namespace g723 {

// The factor by which the whitened frame energy must reach the noise level
// noise_level (128 .. 131071) for a frame to count as speech.
float vad_threshold_factor(float noise_level);

// frame points at the 240 conditioned samples of the newest input slot
// (samples 50..239 are read). Returns 1 for speech, 0 for silence; always 1
// with vad_mode 0.
int32_t detect_voice_activity(const float* frame, g723_encoder& encoder);

}  // namespace g723
