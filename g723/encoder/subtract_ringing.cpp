#include "g723/encoder/subtract_ringing.h"

#include "g723/dsp/synthesis_filter.h"

namespace g723 {

void subtract_ringing(std::span<float, kSubframeSamples> target, const lpc_vector& a,
                      const weighting_coefficients& w, int32_t lag, float gain, float* s_mem,
                      float* u_mem) {
    float* s = s_mem + 1;
    float* u = u_mem + 1;
    for (int n = 0; n < kSubframeSamples; ++n) {
        s[n] = synthesis_step(0.0f, a, s + n);
        u[n] = pole_zero_step(s + n, u + n, w);
        // The comb's delay line runs from the stored weighted synthesis on
        // into the zero-input response computed earlier in this pass.
        target[n] -= u[n] - gain * u[n - lag];
    }
}

}  // namespace g723
