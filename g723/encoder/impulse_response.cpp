#include "g723/encoder/impulse_response.h"

#include <array>

#include "g723/decoder/synthesis_filter.h"

namespace g723 {

void compute_impulse_response(std::span<float, kSubframeSamples> h, const lpc_vector& a,
                              const weighting_coefficients& w, int32_t lag, float gain) {
    // Ten zero states in front of each stage's 60 outputs.
    std::array<float, kLpcOrder + kSubframeSamples> s{};
    std::array<float, kLpcOrder + kSubframeSamples> u{};
    for (int n = 0; n < kSubframeSamples; ++n) {
        float* sn = &s[kLpcOrder + n];
        *sn = synthesis_step(n == 0 ? 1.0f : 0.0f, a, sn);
        u[kLpcOrder + n] = pole_zero_step(sn, &u[kLpcOrder + n], w);
    }
    const float* un = &u[kLpcOrder];
    for (int n = 0; n < kSubframeSamples; ++n) h[n] = un[n];
    // The comb reads the unshaped weighted response, so it stays one FIR tap
    // even when the lag is shorter than half a subframe.
    for (int n = lag; n < kSubframeSamples; ++n) h[n] = un[n] - gain * un[n - lag];
}

}  // namespace g723
