// SPDX-License-Identifier: BSD-2-Clause
// State of the voice activity detector, held in the encoder record.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

struct vad_state {
    int32_t hangover;                  // frames still forced to speech
    int32_t active_count;              // recent raw speech decisions, 0..3
    float frame_energy;                // whitened energy of the last analysed frame
    float noise_level;                 // running noise estimate, 128..131071
    int32_t adapt_count;               // pitch-periodicity evidence, 0..6
    std::array<int32_t, 4> lag_history;  // open-loop lags: frame before last, then last frame
    lpc_vector inverse_filter;         // whitening filter a1..a10
};

void reset_vad(vad_state& state);

}  // namespace g723
