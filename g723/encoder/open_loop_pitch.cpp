// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/open_loop_pitch.h"

#include <array>

#include "g723/dsp/dot_product.h"
#include "g723/dsp/lag_correlations.h"
#include "g723/encoder/open_loop_pitch_stages.h"

namespace g723 {

namespace {

constexpr int kHalfFrame = 120;
// The decimated signal: D[0] = 0, then 131 entries of which the last 60 are
// the current half frame.
constexpr int kDecimatedLength = 132;
constexpr int kDecimatedStart = 72;  // first decimated sample of the half frame
constexpr int kDecimatedWindow = 60;
constexpr int kMinDecimatedLag = 9;
constexpr int kMaxDecimatedLag = 72;
// Coarse result when no lag correlates positively, and the distance (in
// decimated samples) beyond which a later lag must be 4/3 better to win.
constexpr int kDefaultDecimatedLag = 18;
constexpr int kNearbyLags = 18;
constexpr int32_t kMinLag = 20;
constexpr int32_t kMaxLag = 143;

// Energy of the window of `length` samples `lag` samples before `now`, from
// that of the window one sample later: its newest sample leaves, one older
// sample enters.
float slide_energy(float e, const float* now, int length, int lag) {
    const float leaving = now[length - lag];
    const float entering = now[-lag];
    return e - leaving * leaving + entering * entering;
}

constexpr int kDecimatedLags = kMaxDecimatedLag - kMinDecimatedLag + 1;
static_assert(kDecimatedLags == kCorrelationLags && kDecimatedWindow == kCorrelationLength);

}  // namespace

int32_t coarse_pitch_candidate(const float* x) {
    std::array<float, kDecimatedLength> d;
    d[0] = 0.0f;
    // Sample m is centred on x[2m - 144]: entry 131 is centred on x[118].
    for (int m = 1; m < kDecimatedLength; ++m)
        d[m] = 0.25f * x[2 * m - 145] + 0.5f * x[2 * m - 144] + 0.25f * x[2 * m - 143];

    const float* now = d.data() + kDecimatedStart;
    // Energy of the 60 decimated samples ending one lag before; starts as E(8).
    float e = energy(now - (kMinDecimatedLag - 1), kDecimatedWindow);
    // Cr(k) of the half frame with itself k decimated samples back.
    std::array<float, kDecimatedLags> crs;
    lag_correlations(crs, now, kMinDecimatedLag);
    int best = kDefaultDecimatedLag;
    float max = 0.0f;
    for (int k = kMinDecimatedLag; k <= kMaxDecimatedLag; ++k) {
        e = slide_energy(e, now, kDecimatedWindow, k);
        const float cr = crs[k - kMinDecimatedLag];
        if (!(cr > 0.0f)) continue;
        // E may round to 0 here: the criterion is then infinite and wins.
        const float v = cr * cr / e;
        if ((v > max && k - best < kNearbyLags) || 0.75f * v > max) {
            best = k;
            max = v;
        }
    }
    int32_t lag = 2 * best;
    if (lag < kMinLag) lag = kMinLag;
    if (lag > kMaxLag) lag = kMaxLag;
    return lag;
}

int32_t refine_pitch_candidate(const float* x, int32_t l) {
    // Energies of the 120 samples ending l samples before the half frame's
    // end, run from E(L-2) through E(L+1).
    const float e_start = energy(x - (l - 2), kHalfFrame);
    std::array<float, 3> e;
    e[0] = slide_energy(e_start, x, kHalfFrame, l - 1);
    e[1] = slide_energy(e[0], x, kHalfFrame, l);
    e[2] = slide_energy(e[1], x, kHalfFrame, l + 1);
    std::array<float, 3> v;
    for (int i = 0; i < 3; ++i) {
        if (e[i] == 0.0f) return l;
        const float cr = dot_product(x, x - (l - 1 + i), kHalfFrame);
        v[i] = cr * cr / e[i];
    }

    // Shorter of L-1 and L on a tie; L+1 against that winner on a tie.
    int winner = v[0] < v[1] ? 1 : 0;
    if (!(v[winner] > v[2])) winner = 2;

    if (winner == 2 && slide_energy(e[2], x, kHalfFrame, l + 2) == 0.0f) return l;
    if (winner == 0 && e_start == 0.0f) return l;
    return l - 1 + winner;
}

int32_t estimate_open_loop_pitch(const float* half_frame) {
    return refine_pitch_candidate(half_frame, coarse_pitch_candidate(half_frame));
}

}  // namespace g723
