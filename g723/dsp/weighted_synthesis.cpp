// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/weighted_synthesis.h"

#include "g723/dsp/filter_window.h"

namespace g723 {

void weighted_synthesis(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                        const weighting_coefficients& w, float* s_mem, float* u_mem) {
    using namespace filter_window;
    constexpr int N = kSubframeSamples;
    float* s = s_mem + 1;
    float* u = u_mem + 1;
    const lanes ca = spread(a.data());
    const lanes cb = spread(w.data());
    const lanes cc = spread(w.data() + kLpcOrder);
    window synthesis = start(excitation[0]);
    window weighted = start(0.0f);
    for (int t = -kLpcOrder; t < 0; ++t) {
        const broadcast st = spread_value(s[t]);
        add(synthesis, ca, st);
        advance(synthesis, excitation[t + kLpcOrder + 1]);
        subtract(weighted, cb, st);
        add(weighted, cc, spread_value(u[t]));
        advance(weighted, 0.0f);
    }
    broadcast st = current(synthesis);
    broadcast partial = current(weighted);
    for (int t = 0; t < N; ++t) {
        const broadcast ut = sum(partial, st);
        s[t] = value_of(st);
        u[t] = value_of(ut);
        add(synthesis, ca, st);
        subtract(weighted, cb, st);
        add(weighted, cc, ut);
        st = successor(synthesis);
        partial = successor(weighted);
        advance(synthesis, t + kLpcOrder + 1 < N ? excitation[t + kLpcOrder + 1] : 0.0f);
        advance(weighted, 0.0f);
    }
}

}  // namespace g723
