// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/decoder_comfort_noise.h"

#include "g723/dsp/lsp_decode.h"
#include "g723/silence/comfort_noise_excitation.h"

namespace g723 {

void decode_silence_frame(int32_t frame_type, frame_params& params, float* excitation,
                          const float* history, std::array<lpc_vector, kSubframes>& lpc_out,
                          decoder_cng_state& cng, lsp_vector& previous_lsp) {
    const bool after_speech = cng.previous_frame_type == kFrameSpeech;

    if (frame_type == kFrameSid) {
        cng.sid_gain = decode_sid_gain(params.subframes[0].fixed_gain_index);
        cng.sid_lsp = lsp_inverse_quantize(params.lsp_index, previous_lsp, 0);
    } else if (after_speech) {
        // Silence without a SID: the level comes from the excitation energy
        // that the last good speech frame left in noise_gain (quantized like
        // a SID level), the spectrum stays that of the last speech frame.
        cng.sid_gain = decode_sid_gain(quantize_sid_gain(&cng.noise_gain, 0));
    }

    cng.noise_gain = glide_noise_level(cng.sid_gain, cng.noise_gain, after_speech);

    generate_cng_excitation(cng.noise_gain, history, excitation, cng.noise_seed, params);
    lsp_interpolate(lpc_out, cng.sid_lsp, previous_lsp);
}

}  // namespace g723
