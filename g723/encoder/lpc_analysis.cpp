// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/lpc_analysis.h"

#include "g723/dsp/autocorrelation.h"
#include "g723/dsp/levinson_durbin.h"
#include "g723/encoder/tone_history.h"
#include "g723/silence/encoder_comfort_noise.h"
#include "g723/tables/lpc_analysis_tables.h"

namespace g723 {

void analyze_lpc(std::array<lpc_vector, kSubframes>& lpc_out, const float* x, g723_encoder& encoder) {
    subframe_autocorrelations acfs;
    const float* r_lags[kSubframes];
    float r0[kSubframes];
    for (int j = 0; j < kSubframes; ++j) {
        // The window of subframe j spans the subframe and 60 samples either side.
        static_assert(kLpcWindowLength == kAnalysisLength);
        std::array<float, kLpcWindowLength> s;
        const float* in = x + kSubframeSamples * j;
        for (int n = 0; n < kLpcWindowLength; ++n) s[n] = lpc_window[n] * in[n];

        std::array<float, kAcfLength>& r = acfs[j];
        autocorrelation(r, s);
        r[0] = r[0] * kWhiteNoiseCorrection;
        for (int k = 1; k <= kLpcOrder; ++k) r[k] = r[k] * lag_window[k - 1];
        r_lags[j] = r.data() + 1;
        r0[j] = r[0];
    }
    // The four subframes' recursions side by side.
    static_assert(kSubframes <= kMaxLevinsonLanes);
    levinson_result results[kSubframes];
    levinson_durbin_lanes(kSubframes, lpc_out.data(), r_lags, r0, results);
    int16_t history = encoder.tone_history;
    for (int j = 0; j < kSubframes; ++j) history = push_tone_flag(history, results[j].k2);
    encoder.tone_history = decide_tone(history);

    // The comfort-noise filter is estimated from the same corrected and
    // lag-windowed autocorrelations.
    if (encoder.vad_mode == 1) update_cng_autocorrelation(acfs, encoder.encoder_cng_state);
}

}  // namespace g723
