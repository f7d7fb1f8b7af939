// SPDX-License-Identifier: BSD-2-Clause
// The decoder instance record behind a g723_decoder handle: the settings and
// every piece of signal state of one decoder.
#pragma once

#include <array>
#include <cstdint>

#include "g723/silence/cng_state.h"
#include "g723/tables/codec_constants.h"

struct g723_decoder {
    int32_t comp_rate;    // always 0 (6.3 kbit/s)
    int32_t filter_mode;  // 1: pitch postfilter, formant postfilter and gain scaling on
    g723::decoder_cng_state decoder_cng_state;
    int32_t erasure_count;     // consecutive lost frames handled as speech, 0..3
    float concealment_gain;    // fixed-codebook gain for noise concealment
    int32_t concealment_lag;   // pitch lag for periodic concealment, 0 = unvoiced
    int32_t concealment_seed;  // concealment noise state (low 16 bits, sign-extended)
    float tilt_memory;         // formant postfilter tilt compensation
    float gain_scale_state;    // smoothed postfilter gain
    g723::lsp_vector previous_lsp;
    // 145 past excitation samples, then four 240-sample frame slots.
    std::array<float, g723::kExcitationBufferSize> excitation_buffer;
    std::array<float, g723::kLpcOrder> synthesis_memory;          // most recent first
    std::array<float, g723::kLpcOrder> postfilter_input_memory;   // most recent first
    std::array<float, g723::kLpcOrder> postfilter_output_memory;  // most recent first
    std::array<int32_t, 2> frame_length;  // slot bytes per comp_rate
    int32_t frame_position;  // slot of the next frame, 0..3
    int32_t frame_counter;   // frames since frame_position was last 0
};

namespace g723 {

// Settings as after open, then reset_decoder.
void open_decoder(g723_decoder& decoder);
// Every piece of signal state to its reset value; the settings are kept.
void reset_decoder(g723_decoder& decoder);

}  // namespace g723
