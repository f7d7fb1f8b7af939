// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/synthesis_filter.h"

#include "g723/dsp/filter_window.h"
#include "g723/dsp/filter_window_avx512.h"

namespace g723::paths {

namespace {

template <class W>
void filter(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a, float* history) {
    constexpr int N = kSubframeSamples;
    float* y = history + 1;
    const typename W::lanes c = W::spread(a.data());
    typename W::window w = W::start(excitation[0]);
    // The ten past outputs enter the sums of the first outputs.
    for (int t = -kLpcOrder; t < 0; ++t) {
        W::add(w, c, W::spread_value(y[t]));
        W::advance(w, excitation[t + kLpcOrder + 1]);
    }
    typename W::broadcast out = W::current(w);
    for (int t = 0; t < N; ++t) {
        y[t] = W::value_of(out);
        W::add(w, c, out);
        out = W::successor(w);
        W::advance(w, t + kLpcOrder + 1 < N ? excitation[t + kLpcOrder + 1] : 0.0f);
    }
}

}  // namespace

void synthesis_filter_narrow(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                             float* history) {
    filter<filter_window::narrow>(excitation, a, history);
}

#if G723_X86_KERNELS
G723_TARGET_AVX512_KERNEL void synthesis_filter_avx512(std::span<const float, kSubframeSamples> excitation,
                                                       const lpc_vector& a, float* history) {
    filter<filter_window::wide>(excitation, a, history);
}
#endif

}  // namespace g723::paths
