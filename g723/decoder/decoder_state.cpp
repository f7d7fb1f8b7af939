// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/decoder_state.h"

#include "g723/tables/lsp_tables.h"

namespace g723 {

void open_decoder(g723_decoder& decoder) {
    decoder = g723_decoder{};
    decoder.frame_length = {24, 20};
    decoder.comp_rate = 0;
    decoder.filter_mode = 1;
    reset_decoder(decoder);
}

void reset_decoder(g723_decoder& decoder) {
    reset_decoder_cng(decoder.decoder_cng_state);
    // The comfort-noise level starts silent, so that an untransmitted frame
    // arriving before any speech or SID frame decodes to quiet noise, and a
    // reset decoder behaves exactly like a freshly opened one.
    decoder.decoder_cng_state.noise_gain = 0.0f;
    decoder.erasure_count = 0;
    decoder.concealment_gain = 0.0f;
    decoder.concealment_lag = 0;
    decoder.concealment_seed = 0;
    decoder.tilt_memory = 0.0f;
    decoder.gain_scale_state = 1.0f;
    decoder.previous_lsp = lsp_dc_vector;
    decoder.excitation_buffer.fill(0.0f);
    decoder.synthesis_memory.fill(0.0f);
    decoder.postfilter_input_memory.fill(0.0f);
    decoder.postfilter_output_memory.fill(0.0f);
    decoder.frame_position = 0;
    decoder.frame_counter = 0;
}

}  // namespace g723
