// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/pole_zero_filter.h"

#include "g723/dsp/filter_window.h"

namespace g723 {

void pole_zero_filter(const float* s, float* u, const weighting_coefficients& w) {
    using namespace filter_window;
    const lanes b = spread(w.data());
    const lanes c = spread(w.data() + kLpcOrder);
    window acc = start(0.0f);
    for (int t = -kLpcOrder; t < 0; ++t) {
        subtract(acc, b, spread_value(s[t]));
        add(acc, c, spread_value(u[t]));
        advance(acc, 0.0f);
    }
    broadcast partial = current(acc);
    for (int t = 0; t < kSubframeSamples; ++t) {
        const broadcast input = spread_value(s[t]);
        const broadcast out = sum(partial, input);
        u[t] = value_of(out);
        subtract(acc, b, input);
        add(acc, c, out);
        partial = successor(acc);
        advance(acc, 0.0f);
    }
}

}  // namespace g723
