// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/levinson_durbin.h"

#include <cmath>

namespace g723 {

levinson_result levinson_durbin(lpc_vector& a_out, const float* r, float r0) {
    lpc_vector a{};
    float err = r0;
    float k2 = 0.0f;
    for (int i = 1; i <= kLpcOrder; ++i) {
        // R(i) less its prediction by the order i-1 filter.
        float t = r[i - 1];
        for (int j = 1; j < i; ++j) t -= a[j - 1] * r[i - j - 1];
        // A reflection coefficient of magnitude 1 or more (or a NaN) means the
        // autocorrelation is not positive definite: keep the completed stages
        // and report the subframe as tone-like.
        if (!(err > std::fabs(t))) {
            k2 = -1.0f;
            break;
        }
        const float k = t / err;
        if (i == 2) k2 = k;
        const lpc_vector before = a;
        a[i - 1] = k;
        err = err * (1.0f - k * k);
        for (int j = 1; j < i; ++j) a[j - 1] = before[j - 1] - k * before[i - j - 1];
    }
    a_out = a;
    return {err, k2};
}

}  // namespace g723
