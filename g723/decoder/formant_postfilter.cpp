#include "g723/decoder/formant_postfilter.h"

#include <cmath>

#include "g723/decoder/dot_product.h"
#include "g723/encoder/pole_zero_filter.h"
#include "g723/tables/postfilter_tables.h"

namespace g723 {
namespace {

constexpr float kTiltOld = 0.75f;
constexpr float kTiltNew = 0.25f;
constexpr float kTiltCompensation = 0.25f;
// Smallest normal float: below it an energy counts as silence.
constexpr float kEnergyFloor = 1.1754944e-38f;

}  // namespace

float formant_postfilter(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                         float* input_history, float* output_history, float& tilt_memory) {
    weighting_coefficients w;
    for (int i = 0; i < kLpcOrder; ++i) {
        w[i] = formant_pf_zero_weights[i] * a[i];
        w[kLpcOrder + i] = formant_pf_pole_weights[i] * a[i];
    }

    // Spectral tilt of the unfiltered subframe; the compensation below
    // already uses the smoothed value including this subframe.
    const float r0 = energy(speech.data(), kSubframeSamples);
    const float r1 = dot_product(speech.data(), speech.data() + 1, kSubframeSamples - 1);
    const float k = r0 > kEnergyFloor ? r1 / r0 : 0.0f;
    tilt_memory = kTiltOld * tilt_memory + kTiltNew * k;
    const float tilt = kTiltCompensation * tilt_memory;

    float* s = input_history + 1;
    float* u = output_history + 1;
    for (int n = 0; n < kSubframeSamples; ++n) {
        s[n] = speech[n];
        u[n] = pole_zero_step(s + n, u + n, w);
        speech[n] = u[n] - tilt * u[n - 1];
    }

    const float e = energy(speech.data(), kSubframeSamples);
    return e > kEnergyFloor ? std::sqrt(r0 / e) : 1.0f;
}

}  // namespace g723
