// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/encoder_state.h"

#include "g723/tables/lsp_tables.h"

namespace g723 {

void open_encoder(g723_encoder& encoder) {
    encoder = g723_encoder{};  // every field defined, including those reset leaves alone
    encoder.frame_length = {24, 20};
    encoder.filter_mode = 1;
    encoder.comp_rate = 0;
    encoder.vad_mode = 1;
    encoder.single_sid = 1;
    reset_encoder(encoder);
}

void reset_encoder(g723_encoder& encoder) {
    reset_vad(encoder.vad_state);
    reset_encoder_cng(encoder.encoder_cng_state);
    encoder.vad_mode = 1;
    encoder.hp_previous_input = 0.0f;
    encoder.hp_previous_output = 0.0f;
    encoder.previous_lsp = lsp_dc_vector;
    encoder.weighted_speech.fill(0.0f);
    encoder.weighted_synthesis_history.fill(0.0f);
    encoder.excitation_buffer.fill(0.0f);
    encoder.input_buffer.fill(0.0f);
    encoder.weighting_memory.fill(0.0f);
    encoder.synthesis_memory.fill(0.0f);
    encoder.frame_position = 0;
    encoder.frame_counter = 0;
    encoder.tone_history = 0;
}

}  // namespace g723
