// SPDX-License-Identifier: BSD-2-Clause
// Levinson-Durbin recursion from an autocorrelation to a 10th-order LPC filter.
#pragma once

#include "g723/tables/codec_constants.h"

namespace g723 {

struct levinson_result {
    float error;  // final prediction error
    float k2;     // reflection coefficient of stage 2; -1.0 when the recursion stopped early
};

// r holds R1..R10, r0 is R0. Writes a1..a10; a recursion stopped by its
// failure guard keeps the coefficients of the completed stages.
levinson_result levinson_durbin(lpc_vector& a_out, const float* r, float r0);

// The same for count (at most kMaxLevinsonLanes) independent
// autocorrelations at once, lane l from r[l] and r0[l] into a_out[l] and
// results[l], each exactly as levinson_durbin computes it alone: the
// recursions' chains of divisions and sums overlap.
inline constexpr int kMaxLevinsonLanes = 4;
void levinson_durbin_lanes(int count, lpc_vector* a_out, const float* const* r, const float* r0,
                           levinson_result* results);

}  // namespace g723
