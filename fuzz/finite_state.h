// SPDX-License-Identifier: BSD-2-Clause
// The float state of a decoder or encoder record, reached through the static
// library: finite in every field while hostile input goes in.
#pragma once

#include <span>

#include "fuzz/fuzz_check.h"
#include "g723/decoder/decoder_state.h"
#include "g723/encoder/encoder_state.h"

namespace g723::fuzz {

inline bool state_finite(const g723_decoder& d) {
    const float scalars[] = {d.concealment_gain, d.tilt_memory, d.gain_scale_state,
                             d.decoder_cng_state.noise_gain};
    return all_finite(scalars) && all_finite(d.previous_lsp) && all_finite(d.excitation_buffer) &&
           all_finite(d.synthesis_memory) && all_finite(d.postfilter_input_memory) &&
           all_finite(d.postfilter_output_memory) && all_finite(d.decoder_cng_state.sid_lsp);
}

inline bool state_finite(const g723_encoder& e) {
    const encoder_cng_state& cng = e.encoder_cng_state;
    const float scalars[] = {e.hp_previous_input, e.hp_previous_output, e.vad_state.frame_energy,
                             e.vad_state.noise_level, cng.noise_gain};
    bool finite = all_finite(scalars) && all_finite(e.previous_lsp) && all_finite(e.weighted_speech) &&
                  all_finite(e.weighted_synthesis_history) && all_finite(e.excitation_buffer) &&
                  all_finite(e.input_buffer) && all_finite(e.weighting_memory) &&
                  all_finite(e.synthesis_memory) && all_finite(e.vad_state.inverse_filter) &&
                  all_finite(cng.sid_lsp) && all_finite(cng.sid_lpc) && all_finite(cng.sid_acf) &&
                  all_finite(cng.energies);
    for (const auto& acf : cng.acf_history) finite = finite && all_finite(acf);
    return finite;
}

}  // namespace g723::fuzz
