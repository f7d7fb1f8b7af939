// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/subtract_ringing.h"

#include <array>

#include "g723/dsp/weighted_synthesis.h"

namespace g723 {

void subtract_ringing(std::span<float, kSubframeSamples> target, const lpc_vector& a,
                      const weighting_coefficients& w, int32_t lag, float gain, float* s_mem,
                      float* u_mem) {
    static constexpr std::array<float, kSubframeSamples> silence{};
    weighted_synthesis(silence, a, w, s_mem, u_mem);
    // The comb's delay line runs from the stored weighted synthesis on into
    // the zero-input response just computed.
    const float* u = u_mem + 1;
    for (int n = 0; n < kSubframeSamples; ++n) target[n] -= u[n] - gain * u[n - lag];
}

}  // namespace g723
