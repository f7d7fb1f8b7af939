// SPDX-License-Identifier: BSD-2-Clause
// The weighted synthesis loop over a layout of the filter window
// (filter_window.h), written once for the kernels of weighted_synthesis.h.
// Each kernel's source includes it after everything else, so that the loop
// is compiled for that kernel's instruction set and nothing else is: the
// AVX-512 kernel's source includes it inside a region compiled for
// AVX-512, so that the loop and the window's AVX-512 helpers share one
// target and one calling convention at every optimisation level (left to
// the default target and to the inliner, the loop passes the 16-lane
// window in memory to helpers that take it in registers when nothing is
// inlined, as in an unoptimised build). The loop has internal linkage, so
// that each source keeps its own copy for its own target.
#pragma once

#include <span>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/tables/codec_constants.h"

namespace g723::paths {
namespace {  // NOLINT(cert-dcl59-cpp,google-build-namespaces): one copy per target

template <class W>
void weighted_synthesis_loop(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
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
}  // namespace g723::paths
