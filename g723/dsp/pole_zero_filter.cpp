// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/pole_zero_filter.h"

#include "g723/dsp/filter_window.h"
#include "g723/dsp/filter_window_avx512.h"

namespace g723::paths {

namespace {

template <class W>
void filter(const float* s, float* u, const weighting_coefficients& w) {
    const typename W::lanes b = W::spread(w.data());
    const typename W::lanes c = W::spread(w.data() + kLpcOrder);
    typename W::window acc = W::start(0.0f);
    for (int t = -kLpcOrder; t < 0; ++t) {
        W::subtract(acc, b, W::spread_value(s[t]));
        W::add(acc, c, W::spread_value(u[t]));
        W::advance(acc, 0.0f);
    }
    typename W::broadcast partial = W::current(acc);
    for (int t = 0; t < kSubframeSamples; ++t) {
        const typename W::broadcast input = W::spread_value(s[t]);
        const typename W::broadcast out = W::sum(partial, input);
        u[t] = W::value_of(out);
        W::subtract(acc, b, input);
        W::add(acc, c, out);
        partial = W::successor(acc);
        W::advance(acc, 0.0f);
    }
}

}  // namespace

void pole_zero_filter_narrow(const float* s, float* u, const weighting_coefficients& w) {
    filter<filter_window::narrow>(s, u, w);
}

#if G723_X86_KERNELS
G723_TARGET_AVX512_KERNEL void pole_zero_filter_avx512(const float* s, float* u, const weighting_coefficients& w) {
    filter<filter_window::wide>(s, u, w);
}
#endif

}  // namespace g723::paths
