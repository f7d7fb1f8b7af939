// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/synthesis_filter.h"

#include "g723/dsp/filter_window.h"

namespace g723 {

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

// The narrow window on every kernel path: this recursion is bound by its
// one chain of sums, which the wide window's lane moves make longer.
void synthesis_filter(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a, float* history) {
    filter<filter_window::narrow>(excitation, a, history);
}

}  // namespace g723
