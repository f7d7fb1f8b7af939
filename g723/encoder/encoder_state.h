// SPDX-License-Identifier: BSD-2-Clause
// The encoder instance record behind a g723_encoder handle: the settings and
// every piece of signal state of one encoder.
#pragma once

#include <array>
#include <cstdint>

#include "g723/silence/cng_state.h"
#include "g723/silence/vad_state.h"
#include "g723/tables/codec_constants.h"

struct g723_encoder {
    int32_t filter_mode;  // 1: input high-pass filter on
    int32_t comp_rate;    // always 0 (6.3 kbit/s)
    g723::vad_state vad_state;
    int32_t vad_mode;     // 1: silence compression on
    g723::encoder_cng_state encoder_cng_state;
    int32_t single_sid;   // nonzero: one SID frame per silence period
    float hp_previous_input;
    float hp_previous_output;
    g723::lsp_vector previous_lsp;  // quantized LSPs of the previous frame
    // Multi-frame buffers: past samples, then four 240-sample frame slots.
    // The two weighted buffers keep 147 past samples so that the harmonic
    // noise shaping comb, which reaches 147 samples before a subframe, always
    // reads the true older signal.
    std::array<float, g723::kWeightedBufferSize> weighted_speech;
    std::array<float, g723::kWeightedBufferSize> weighted_synthesis_history;
    std::array<float, g723::kExcitationBufferSize> excitation_buffer;
    std::array<float, g723::kInputBufferSize> input_buffer;
    std::array<float, g723::kLpcOrder> weighting_memory;   // most recent first
    std::array<float, g723::kLpcOrder> synthesis_memory;   // most recent first
    std::array<int32_t, 2> frame_length;                   // slot bytes per comp_rate
    int32_t frame_position;  // slot of the next frame, 0..3
    int32_t frame_counter;   // frames since frame_position was last 0
    int16_t tone_history;    // per-subframe tone flags; bit 15 is the tone decision
};

namespace g723 {

// Settings as after open, then reset_encoder.
void open_encoder(g723_encoder& encoder);
// Every piece of signal state to its reset value, detector and comfort-noise
// states included; vad_mode back to 1. Other settings are kept.
void reset_encoder(g723_encoder& encoder);

}  // namespace g723
