// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/pitch_postfilter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "g723/decoder/lag_search.h"
#include "g723/dsp/dot_product.h"
#include "g723/tables/postfilter_tables.h"

namespace g723 {
namespace {

constexpr float kGainThreshold = 0.25f;
constexpr float kEnergyFloor = std::numeric_limits<float>::min();

const float* subframe_start(const float* history, int subframe) {
    return history + kExcitationPast + kSubframeSamples * subframe;
}

// The searches with the winning correlation, which the gains reuse.
correlated_lag backward_search(const float* history, int32_t open_loop_lag, int subframe) {
    const float* cur = subframe_start(history, subframe);
    const int32_t m = lag_search_centre(open_loop_lag);
    const int32_t first = m - kLagSearchHalfWidth, last = m + kLagSearchHalfWidth;
    const correlated_lag best = best_correlated_lag(cur, first, last, kSubframeSamples, -1);
    return {-best.lag, best.correlation};
}

correlated_lag forward_search(const float* history, int32_t open_loop_lag, int subframe) {
    const float* cur = subframe_start(history, subframe);
    const int32_t m = lag_search_centre(open_loop_lag);
    // Only lags whose samples lie inside the current frame.
    const int32_t last =
        std::min(m + kLagSearchHalfWidth, kFrameSamples - kSubframeSamples * (subframe + 1));
    return best_correlated_lag(cur, m - kLagSearchHalfWidth, last, kSubframeSamples, 1);
}

}  // namespace

int32_t backward_pitch_search(const float* history, int32_t open_loop_lag, int subframe) {
    return backward_search(history, open_loop_lag, subframe).lag;
}

int32_t forward_pitch_search(const float* history, int32_t open_loop_lag, int subframe) {
    return forward_search(history, open_loop_lag, subframe).lag;
}

pitch_postfilter_params pitch_postfilter_gains(int32_t offset, float e0, float x, float e,
                                               int32_t comp_rate) {
    // Too weak a periodicity: leave the subframe as it is.
    if (x * x <= kGainThreshold * e * e0) return {offset, 0.0f, 1.0f};
    const float weight = pitch_pf_weights[comp_rate];
    // The unweighted gain x / e is capped at 1.
    const float g = e <= x ? weight : weight * x / e;
    // Energy of the filtered subframe, e0 + 2 g x + g^2 e, restored to e0.
    const float d = (g * e + 2.0f * x) * g + e0;
    const float s = std::fabs(d) < kEnergyFloor ? 0.0f : std::sqrt(e0 / d);
    return {offset, g * s, s};
}

pitch_postfilter_params find_pitch_postfilter(const float* history, int32_t open_loop_lag,
                                              int subframe, int32_t comp_rate) {
    const correlated_lag back = backward_search(history, open_loop_lag, subframe);
    const correlated_lag ahead = forward_search(history, open_loop_lag, subframe);
    const int32_t backward = back.lag, forward = ahead.lag;
    if (backward == 0 && forward == 0) return kNeutralPitchPostfilter;

    // The searches' winning correlations are the cross terms x.
    const float* cur = subframe_start(history, subframe);
    const float e0 = energy(cur, kSubframeSamples);
    float xb = 0.0f, eb = 0.0f, xf = 0.0f, ef = 0.0f;
    if (backward != 0) {
        xb = back.correlation;
        eb = energy(cur + backward, kSubframeSamples);
    }
    if (forward != 0) {
        xf = ahead.correlation;
        ef = energy(cur + forward, kSubframeSamples);
    }

    if (forward == 0) return pitch_postfilter_gains(backward, e0, xb, eb, comp_rate);
    if (backward == 0) return pitch_postfilter_gains(forward, e0, xf, ef, comp_rate);
    // The larger normalized correlation x^2 / e wins; ties go forward.
    if (xf * xf * eb < xb * xb * ef) return pitch_postfilter_gains(backward, e0, xb, eb, comp_rate);
    return pitch_postfilter_gains(forward, e0, xf, ef, comp_rate);
}

void apply_pitch_postfilter(std::span<float, kFrameSamples> working, const float* history,
                            const pitch_postfilter_params& params, int subframe) {
    const float* cur = subframe_start(history, subframe);
    const float* lagged = cur + params.offset;
    float* out = working.data() + kSubframeSamples * subframe;
    for (int n = 0; n < kSubframeSamples; ++n)
        out[n] = params.scale * cur[n] + params.weighted_gain * lagged[n];
}

}  // namespace g723
