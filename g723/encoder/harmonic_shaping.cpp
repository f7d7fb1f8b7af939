// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/harmonic_shaping.h"

#include "g723/dsp/dot_product.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

namespace {

// Lags searched: the open-loop lag and three either side.
constexpr int kLagSpread = 3;
constexpr int kCandidates = 2 * kLagSpread + 1;
// Shaping only when the normalised correlation exceeds 0.375; the gain is
// 0.3125 times the correlation ratio, which is capped at 1.
constexpr float kMinNormalisedCorrelation = 0.375f;
constexpr float kShapingGain = 0.3125f;

}  // namespace

harmonic_shaping find_harmonic_shaping(const float* subframe, int32_t open_loop_lag) {
    const float* x = subframe;
    const float ex = energy(x, kSubframeSamples);

    const int32_t first_lag = open_loop_lag - kLagSpread;
    float e = energy(x - first_lag, kSubframeSamples);
    float c_best = 0.0f;
    float c2_best = 0.0f;
    float e_best = 1.0f;
    int j_best = -1;
    for (int j = 0; j < kCandidates; ++j) {
        const int32_t lag = first_lag + j;
        if (j > 0) {
            const float entering = x[-lag];
            const float leaving = x[kSubframeSamples - lag];
            e = e + entering * entering - leaving * leaving;
        }
        const float cr = dot_product(x, x - lag, kSubframeSamples);
        if (!(e > 0.0f && cr > 0.0f)) continue;
        // Cr^2 / E compared without division; a tie keeps the shorter lag.
        const float c2 = cr * cr;
        if (c2 * e_best > c2_best * e) {
            c_best = cr;
            c2_best = c2;
            e_best = e;
            j_best = j;
        }
    }
    if (j_best < 0) return {open_loop_lag, 0.0f};

    harmonic_shaping result{first_lag + j_best, 0.0f};
    if (c2_best > kMinNormalisedCorrelation * ex * e_best)
        result.gain = c_best > e_best ? kShapingGain : kShapingGain * c_best / e_best;
    return result;
}

void apply_harmonic_shaping(float* out, const float* w, int offset, int32_t lag, float gain) {
    for (int n = 0; n < kSubframeSamples; ++n) out[offset + n] = w[offset + n] - gain * w[offset + n - lag];
}

}  // namespace g723
