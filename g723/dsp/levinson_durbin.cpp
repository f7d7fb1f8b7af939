// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/levinson_durbin.h"

#include <cmath>

namespace g723 {

void levinson_durbin_lanes(int count, lpc_vector* a_out, const float* const* r, const float* r0,
                           levinson_result* results) {
    // Each lane runs exactly the one recursion's operations; the lanes are
    // independent, so the processor overlaps their chains of divisions and
    // sums.
    lpc_vector a[kMaxLevinsonLanes]{};
    float err[kMaxLevinsonLanes];
    float k2[kMaxLevinsonLanes];
    bool running[kMaxLevinsonLanes];
    for (int l = 0; l < count; ++l) {
        err[l] = r0[l];
        k2[l] = 0.0f;
        running[l] = true;
    }
    for (int i = 1; i <= kLpcOrder; ++i) {
        for (int l = 0; l < count; ++l) {
            if (!running[l]) continue;
            const float* rl = r[l];
            lpc_vector& al = a[l];
            // R(i) less its prediction by the order i-1 filter.
            float t = rl[i - 1];
            for (int j = 1; j < i; ++j) t -= al[j - 1] * rl[i - j - 1];
            // A reflection coefficient of magnitude 1 or more (or a NaN)
            // means the autocorrelation is not positive definite: keep the
            // completed stages and report the subframe as tone-like.
            if (!(err[l] > std::fabs(t))) {
                k2[l] = -1.0f;
                running[l] = false;
                continue;
            }
            const float k = t / err[l];
            if (i == 2) k2[l] = k;
            const lpc_vector before = al;
            al[i - 1] = k;
            err[l] = err[l] * (1.0f - k * k);
            for (int j = 1; j < i; ++j) al[j - 1] = before[j - 1] - k * before[i - j - 1];
        }
    }
    for (int l = 0; l < count; ++l) {
        a_out[l] = a[l];
        results[l] = {err[l], k2[l]};
    }
}

levinson_result levinson_durbin(lpc_vector& a_out, const float* r, float r0) {
    levinson_result result;
    levinson_durbin_lanes(1, &a_out, &r, &r0, &result);
    return result;
}

}  // namespace g723
