// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/weighted_synthesis.h"

#include "g723/dsp/filter_window.h"
#include "g723/dsp/filter_window_avx512.h"

namespace g723::paths {

namespace {

template <class W>
void filter(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
            const weighting_coefficients& w, float* s_mem, float* u_mem) {
    constexpr int N = kSubframeSamples;
    float* s = s_mem + 1;
    float* u = u_mem + 1;
    const typename W::lanes ca = W::spread(a.data());
    const typename W::lanes cb = W::spread(w.data());
    const typename W::lanes cc = W::spread(w.data() + kLpcOrder);
    typename W::window synthesis = W::start(excitation[0]);
    typename W::window weighted = W::start(0.0f);
    for (int t = -kLpcOrder; t < 0; ++t) {
        const typename W::broadcast st = W::spread_value(s[t]);
        W::add(synthesis, ca, st);
        if (t == -1)
            W::subtract_with_next(weighted, cb, st, W::successor(synthesis));
        else
            W::subtract(weighted, cb, st);
        W::advance(synthesis, excitation[t + kLpcOrder + 1]);
        W::add(weighted, cc, W::spread_value(u[t]));
        W::advance(weighted, 0.0f);
    }
    typename W::broadcast st = W::current(synthesis);
    typename W::broadcast ut = W::current(weighted);
    for (int t = 0; t < N; ++t) {
        s[t] = W::value_of(st);
        u[t] = W::value_of(ut);
        W::add(synthesis, ca, st);
        const typename W::broadcast next = W::successor(synthesis);
        W::subtract_with_next(weighted, cb, st, next);
        W::add(weighted, cc, ut);
        st = next;
        ut = W::successor(weighted);
        W::advance(synthesis, t + kLpcOrder + 1 < N ? excitation[t + kLpcOrder + 1] : 0.0f);
        W::advance(weighted, 0.0f);
    }
}

}  // namespace

void weighted_synthesis_narrow(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const weighting_coefficients& w, float* s_mem, float* u_mem) {
    filter<filter_window::narrow>(excitation, a, w, s_mem, u_mem);
}

#if G723_X86_KERNELS
G723_TARGET_AVX512_KERNEL void weighted_synthesis_avx512(std::span<const float, kSubframeSamples> excitation,
                                                         const lpc_vector& a, const weighting_coefficients& w,
                                                         float* s_mem, float* u_mem) {
    filter<filter_window::wide>(excitation, a, w, s_mem, u_mem);
}
#endif

}  // namespace g723::paths
