// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/acb_vector.h"

#include <algorithm>

#include "g723/tables/acb_gain_tables.h"

namespace g723 {
namespace {

constexpr int kTaps = 5;
// Entries before this one precede the lag itself (e[-L-5] .. e[-L-1]).
constexpr int kLaggedPast = 5;

}  // namespace

void fetch_lagged_excitation(lagged_excitation& out, const float* history, int32_t lag,
                             int32_t older_samples) {
    const int32_t reach = kExcitationPast + std::max<int32_t>(older_samples, 0);
    // A lag beyond the buffer's reach or below one sample cannot come from a
    // decoded frame; keep the reads inside the buffer all the same.
    const int32_t l = std::clamp<int32_t>(lag, 1, reach);
    const float* now = history + kExcitationPast;  // e[0], the subframe's first sample

    for (int m = 0; m < kLaggedPast; ++m) {
        const int32_t time = m - l - kLaggedPast;
        out[m] = time >= -reach ? now[time] : 0.0f;
    }
    // The last l past samples, repeated with period l over the subframe and
    // the two taps beyond it.
    const float* period = now - l;
    for (int m = kLaggedPast; m < kLaggedExcitationSize; m += l)
        std::copy_n(period, std::min<int32_t>(l, kLaggedExcitationSize - m), out.begin() + m);
}

void decode_acb_vector(std::span<float, kSubframeSamples> out, const float* history,
                       int32_t open_loop_lag, int32_t lag_offset, int32_t acb_gain_index,
                       int32_t older_samples) {
    lagged_excitation lagged;
    fetch_lagged_excitation(lagged, history, open_loop_lag + lag_offset - 1, older_samples);

    // The gain codebook follows the half frame's open-loop lag, not the
    // subframe's own lag.
    const int selector = acb_gain_selector(open_loop_lag);
    const int row = acb_gain_index_to_row[kAcbGainRows85 * selector + acb_gain_index];
    const acb_gain_row& gains = acb_gain_codebooks[selector][row];

    // Tap g0 weights e[n - L - 2], tap g4 e[n - L + 2].
    for (int n = 0; n < kSubframeSamples; ++n) {
        const float* b = lagged.data() + n + 3;
        float v = gains[0] * b[0];
        for (int t = 1; t < kTaps; ++t) v += gains[t] * b[t];
        out[n] = v;
    }
}

}  // namespace g723
