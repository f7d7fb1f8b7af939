// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/synthesis_filter.h"

#include "g723/dsp/filter_window.h"

namespace g723 {

void synthesis_filter(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                      float* history) {
    using namespace filter_window;
    constexpr int N = kSubframeSamples;
    float* y = history + 1;
    const lanes c = spread(a.data());
    window w = start(excitation[0]);
    // The ten past outputs enter the sums of the first outputs.
    for (int t = -kLpcOrder; t < 0; ++t) {
        add(w, c, spread_value(y[t]));
        advance(w, excitation[t + kLpcOrder + 1]);
    }
    broadcast out = current(w);
    for (int t = 0; t < N; ++t) {
        y[t] = value_of(out);
        add(w, c, out);
        out = successor(w);
        advance(w, t + kLpcOrder + 1 < N ? excitation[t + kLpcOrder + 1] : 0.0f);
    }
}

}  // namespace g723
