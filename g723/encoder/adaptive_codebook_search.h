// SPDX-License-Identifier: BSD-2-Clause
// Closed-loop adaptive-codebook search: two or three lags around the
// half frame's lag, and a 5-tap gain row found by a cluster-then-member
// search over the gain codebook selected by the lag.
#pragma once

#include <array>
#include <span>

#include "g723/bitstream/frame_params.h"
#include "g723/tables/acb_gain_tables.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// The 20 correlations of a candidate lag, in the order of a gain row:
// <x,Ft>, half of <Ft,Ft>, then the cross terms <F1,F0>, <F2,F0>, <F2,F1>,
// <F3,F0>, <F3,F1>, <F3,F2>, <F4,F0>, <F4,F1>, <F4,F2>, <F4,F3>. The score
// of a row is its dot product with this vector.
using acb_correlations = std::array<float, kAcbGainRowLength>;

// The five filtered tap signals F0..F4 of one lag.
using filtered_taps = std::array<std::array<float, kSubframeSamples>, 5>;

// Builds F0..F4 for every candidate lag first, first + 1, .. first + count - 1
// by the recursive filtering of the lagged excitation; taps[c] receives
// candidate c. history points at e[-145].
void filter_candidate_taps(std::span<filtered_taps> taps, std::span<const float, kSubframeSamples> h,
                           const float* history, int32_t first_lag);

// The correlation vector of one candidate's filtered taps against target x.
acb_correlations compute_acb_correlations(std::span<const float, kSubframeSamples> x,
                                          const filtered_taps& f);

// Searches subframe j (0..3). x is the target (in: after ringing
// subtraction; out: minus the filtered adaptive excitation); history points
// at e[-145], the oldest of the 145 past excitation samples. Writes the
// subframe's lag_offset and acb_gain_index, and in subframes 0 and 2 the
// chosen lag into the half frame's open_loop_lag. acb receives the adaptive
// excitation.
void search_adaptive_codebook(std::span<float, kSubframeSamples> x,
                              std::span<const float, kSubframeSamples> h, const float* history,
                              frame_params& params, int j, std::span<float, kSubframeSamples> acb);

}  // namespace g723
