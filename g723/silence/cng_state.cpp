// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/cng_state.h"

#include "g723/tables/lsp_tables.h"

namespace g723 {

void reset_encoder_cng(encoder_cng_state& state) {
    state.noise_gain = 0.0f;
    state.previous_frame_type = kFrameSpeech;
    for (auto& acf : state.acf_history) acf.fill(0.0f);
    state.sid_lpc.fill(0.0f);
    state.noise_seed = kCngSeedStart;
}

void reset_decoder_cng(decoder_cng_state& state) {
    state.sid_gain = 0;
    state.previous_frame_type = kFrameSpeech;
    state.sid_lsp = lsp_dc_vector;
    state.noise_seed = kCngSeedStart;
}

}  // namespace g723
