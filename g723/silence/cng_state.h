// SPDX-License-Identifier: BSD-2-Clause
// Comfort-noise state of the encoder and of the decoder.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

inline constexpr int kAcfLength = kLpcOrder + 1;  // r0..r10
inline constexpr int16_t kCngSeedStart = 12345;   // seed after reset and after every speech frame

struct encoder_cng_state {
    float noise_gain;                                // smoothed comfort-noise level
    int32_t previous_frame_type;                     // 1 speech, 2 SID, 0 untransmitted
    std::array<std::array<float, kAcfLength>, 4> acf_history;  // current frame first
    lsp_vector sid_lsp;                              // quantized LSPs of the comfort-noise filter
    lpc_vector sid_lpc;                              // comfort-noise filter before quantization
    std::array<float, kAcfLength> sid_acf;           // autocorrelation of 1, -a1, .., -a10 (k >= 1 doubled)
    std::array<float, 3> energies;                   // residual energies, current silence frame first
    int32_t energy_count;                            // energies entering the SID gain, 1..3
    int16_t sid_gain_index;                          // last transmitted SID gain index
    int16_t sid_gain;                                // its decoded level
    int16_t noise_seed;                              // comfort-noise random seed
};

struct decoder_cng_state {
    float noise_gain;             // smoothed comfort-noise level
    int32_t previous_frame_type;  // final frame type of the previous frame
    lsp_vector sid_lsp;           // LSPs of the comfort noise
    int16_t sid_gain;             // decoded SID level
    int16_t noise_seed;           // comfort-noise random seed
};

// Leaves sid_lsp, sid_acf, energies, energy_count, sid_gain_index and
// sid_gain alone: the first silence frame after a reset is always a SID
// frame and writes them before they are read. They are zeroed at open.
void reset_encoder_cng(encoder_cng_state& state);
// Leaves noise_gain alone; the decoder reset gives it its start value.
void reset_decoder_cng(decoder_cng_state& state);

}  // namespace g723
