// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/pole_zero_filter.h"

#include "g723/dsp/filter_window.h"

namespace g723 {

namespace {

template <class W>
void filter(const float* s, float* u, const weighting_coefficients& w) {
    const typename W::lanes b = W::spread(w.data());
    const typename W::lanes c = W::spread(w.data() + kLpcOrder);
    typename W::window acc = W::start(0.0f);
    for (int t = -kLpcOrder; t < 0; ++t) {
        const typename W::broadcast input = W::spread_value(s[t]);
        if (t == -1)
            W::subtract_with_next(acc, b, input, W::spread_value(s[0]));
        else
            W::subtract(acc, b, input);
        W::add(acc, c, W::spread_value(u[t]));
        W::advance(acc, 0.0f);
    }
    typename W::broadcast out = W::current(acc);
    for (int t = 0; t < kSubframeSamples; ++t) {
        u[t] = W::value_of(out);
        // After the last output, the successor is never read.
        const float next = t + 1 < kSubframeSamples ? s[t + 1] : 0.0f;
        W::subtract_with_next(acc, b, W::spread_value(s[t]), W::spread_value(next));
        W::add(acc, c, out);
        out = W::successor(acc);
        W::advance(acc, 0.0f);
    }
}

}  // namespace

// The narrow window on every kernel path, as for the synthesis filter.
void pole_zero_filter(const float* s, float* u, const weighting_coefficients& w) {
    filter<filter_window::narrow>(s, u, w);
}

}  // namespace g723
