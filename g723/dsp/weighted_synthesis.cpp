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
        add(synthesis, ca, s[t]);
        advance(synthesis, excitation[t + kLpcOrder + 1]);
        subtract(weighted, cb, s[t]);
        add(weighted, cc, u[t]);
        advance(weighted, 0.0f);
    }
    for (int t = 0; t < N; ++t) {
        const float st = current(synthesis);
        s[t] = st;
        const float ut = current(weighted) + st;
        u[t] = ut;
        add(synthesis, ca, st);
        advance(synthesis, t + kLpcOrder + 1 < N ? excitation[t + kLpcOrder + 1] : 0.0f);
        subtract(weighted, cb, st);
        add(weighted, cc, ut);
        advance(weighted, 0.0f);
    }
}

}  // namespace g723
