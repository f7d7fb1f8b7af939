// SPDX-License-Identifier: BSD-2-Clause
// The decoder's short lag searches around the open-loop lag (pitch postfilter
// and concealment): the lag with the largest positive correlation.
#pragma once

#include <algorithm>
#include <cstdint>

#include "g723/dsp/dot_product.h"

namespace g723 {

inline constexpr int32_t kLagSearchHalfWidth = 3;
// The farthest backward lag, 142 + 3, stays inside the 145-sample history.
inline constexpr int32_t kLagSearchCap = 142;

// Centre of a search. The lower bound only matters for a lag no frame can
// carry; it keeps every tried lag at least one sample.
inline int32_t lag_search_centre(int32_t open_loop_lag) {
    return std::clamp<int32_t>(open_loop_lag, kLagSearchHalfWidth + 1, kLagSearchCap);
}

struct correlated_lag {
    int32_t lag;
    float correlation;
};

// Over k = first .. last in increasing order, the correlation of x[0..n) with
// x[step * k ..] (step -1: backward, +1: forward). A lag replaces the best only
// on a strictly greater value, starting from 0, so ties keep the shorter lag;
// lag 0 when no correlation is positive.
inline correlated_lag best_correlated_lag(const float* x, int32_t first, int32_t last, int n,
                                          int step) {
    float best = 0.0f;
    int32_t lag = 0;
    for (int32_t k = first; k <= last; ++k) {
        const float r = dot_product(x, x + step * k, n);
        if (r > best) {
            best = r;
            lag = k;
        }
    }
    return {lag, best};
}

}  // namespace g723
