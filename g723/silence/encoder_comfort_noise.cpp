// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/encoder_comfort_noise.h"

#include <algorithm>
#include <cstdlib>

#include "g723/dsp/dot_product.h"
#include "g723/dsp/levinson_durbin.h"
#include "g723/dsp/lpc_to_lsp.h"
#include "g723/dsp/lsp_decode.h"
#include "g723/dsp/lsp_quantize.h"
#include "g723/silence/comfort_noise_excitation.h"

namespace g723 {

namespace {

// A comfort-noise filter fits a frame while the residual energy it leaves
// stays below this multiple of the frame's own best residual energy.
constexpr float kSpectralDistanceLimit = 1.213623046875f;
// A gain index this far from the last transmitted one calls for a new SID.
constexpr int32_t kGainIndexTolerance = 3;
constexpr int32_t kEnergiesAveraged = 3;

using autocorrelation = std::array<float, kAcfLength>;

// LPC filter of an autocorrelation r0..r10; returns the residual energy.
float lpc_of(lpc_vector& a, const autocorrelation& r) {
    return levinson_durbin(a, r.data() + 1, r[0]).error;
}

// Autocorrelation of the filter's impulse 1, -a1, .., -a10, the terms for
// lags 1..10 doubled, so that its dot product with a frame's autocorrelation
// is the residual energy the filter leaves on that frame.
autocorrelation filter_autocorrelation(const lpc_vector& a) {
    autocorrelation out;
    out[0] = 1.0f + energy(a.data(), kLpcOrder);
    for (int k = 1; k <= kLpcOrder; ++k)
        out[k] = 2.0f * (dot_product(a.data(), a.data() + k, kLpcOrder - k) - a[k - 1]);
    return out;
}

float residual_energy(const autocorrelation& frame_acf, const autocorrelation& filter_acf) {
    return dot_product(frame_acf.data(), filter_acf.data(), kAcfLength);
}

}  // namespace

void update_cng_autocorrelation(const subframe_autocorrelations& acfs, encoder_cng_state& state) {
    for (int entry = 3; entry > 0; --entry) state.acf_history[entry] = state.acf_history[entry - 1];
    for (int k = 0; k < kAcfLength; ++k)
        state.acf_history[0][k] = ((acfs[0][k] + acfs[1][k]) + acfs[2][k]) + acfs[3][k];
}

int32_t encode_silence_frame(float* excitation, const float* history, frame_params& params,
                             std::array<lpc_vector, kSubframes>& lpc_out, encoder_cng_state& cng,
                             vad_state& vad, int32_t single_sid, lsp_vector& previous_lsp) {
    const autocorrelation& current_acf = cng.acf_history[0];

    cng.energies[2] = cng.energies[1];
    cng.energies[1] = cng.energies[0];
    lpc_vector current_lpc;
    cng.energies[0] = lpc_of(current_lpc, current_acf);

    const bool after_speech = cng.previous_frame_type == kFrameSpeech;
    int32_t frame_type = kFrameUntransmitted;
    int16_t gain_index;
    if (after_speech) {
        // Every silence period opens with a SID frame carrying the current
        // frame's energy alone.
        frame_type = kFrameSid;
        cng.energy_count = 1;
        gain_index = quantize_sid_gain(cng.energies.data(), 1);
    } else {
        cng.energy_count = std::min(cng.energy_count + 1, kEnergiesAveraged);
        gain_index = quantize_sid_gain(cng.energies.data(), cng.energy_count);
        if (single_sid == 0) {
            // A frame without any signal (a muted input) leaves no residual
            // under any filter: 0 against 0 is no change of spectrum.
            const float distance = residual_energy(current_acf, cng.sid_acf);
            const bool spectrum_changed =
                distance > 0.0f && distance >= kSpectralDistanceLimit * cng.energies[0];
            const bool level_changed = std::abs(gain_index - cng.sid_gain_index) > kGainIndexTolerance;
            if (spectrum_changed || level_changed) frame_type = kFrameSid;
        }
    }

    if (frame_type == kFrameSid) {
        // The comfort-noise envelope of the three frames before this one,
        // unless it fits this frame badly; then this frame's own.
        autocorrelation average;
        for (int k = 0; k < kAcfLength; ++k)
            average[k] = (cng.acf_history[1][k] + cng.acf_history[2][k]) + cng.acf_history[3][k];
        lpc_of(cng.sid_lpc, average);
        if (vad.adapt_count == 0) vad.inverse_filter = cng.sid_lpc;
        cng.sid_acf = filter_autocorrelation(cng.sid_lpc);
        if (!(kSpectralDistanceLimit * cng.energies[0] > residual_energy(current_acf, cng.sid_acf))) {
            cng.sid_lpc = current_lpc;
            cng.sid_acf = filter_autocorrelation(cng.sid_lpc);
        }

        // Quantize, then decode as the decoder will, so that both sides run
        // the comfort noise through the same filters.
        lsp_vector lsp = lpc_to_lsp(cng.sid_lpc, previous_lsp);
        params.lsp_index = lsp_quantize(lsp, previous_lsp);
        cng.sid_lsp = lsp_inverse_quantize(params.lsp_index, previous_lsp, 0);

        params.subframes[0].fixed_gain_index = gain_index;
        cng.sid_gain_index = gain_index;
        cng.sid_gain = decode_sid_gain(gain_index);
    }

    cng.noise_gain = glide_noise_level(cng.sid_gain, cng.noise_gain, after_speech);

    generate_cng_excitation(cng.noise_gain, history, excitation, cng.noise_seed, params);
    lsp_interpolate(lpc_out, cng.sid_lsp, previous_lsp);
    cng.previous_frame_type = frame_type;
    return frame_type;
}

}  // namespace g723
