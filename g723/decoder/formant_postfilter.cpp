// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/formant_postfilter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "g723/dsp/dot_product.h"
#include "g723/dsp/gain_scaling_step.h"
#include "g723/dsp/postfilter_sections.h"
#include "g723/tables/postfilter_tables.h"

namespace g723 {
namespace {

constexpr float kTiltOld = 0.75f;
constexpr float kTiltNew = 0.25f;
constexpr float kTiltCompensation = 0.25f;
// An energy not above this counts as silence.
constexpr float kEnergyFloor = std::numeric_limits<float>::min();

// An earlier subframe still to be scaled by the gain scaling.
struct earlier_subframe {
    float* speech;
    float ratio;
    float* gain_scale_state;
};

template <bool kScaleEarlier>
float filter_subframe(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                      float* input_history, float* output_history, float& tilt_memory,
                      const earlier_subframe& earlier) {
    // Numerator and denominator of A(z/0.65) / A(z/0.75).
    std::array<float, kLpcOrder> b, c;
    for (int i = 0; i < kLpcOrder; ++i) {
        b[i] = formant_pf_zero_weights[i] * a[i];
        c[i] = formant_pf_pole_weights[i] * a[i];
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
    std::copy(speech.begin(), speech.end(), s);

    // The zero part depends on the input only; the pole part runs on it,
    // beside the gain scaling of the earlier subframe when there is one.
    std::array<float, kSubframeSamples> zero_part;
    postfilter_zero_part(zero_part, s, b);
    if constexpr (kScaleEarlier)
        postfilter_pole_part_and_gain_scaling(
            u, zero_part, c, std::span<float, kSubframeSamples>(earlier.speech, kSubframeSamples),
            gain_scaling_increment(earlier.ratio), *earlier.gain_scale_state);
    else
        postfilter_pole_part(u, zero_part, c);

    // Tilt compensation: u[n] - 0.25 * tilt * u[n-1].
    for (int n = 0; n < kSubframeSamples; ++n) speech[n] = u[n] - tilt * u[n - 1];

    const float e = energy(speech.data(), kSubframeSamples);
    return e > kEnergyFloor ? std::sqrt(r0 / e) : 1.0f;
}

}  // namespace

float formant_postfilter(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                         float* input_history, float* output_history, float& tilt_memory) {
    return filter_subframe<false>(speech, a, input_history, output_history, tilt_memory, {});
}

float formant_postfilter(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                         float* input_history, float* output_history, float& tilt_memory,
                         std::span<float, kSubframeSamples> earlier, float earlier_ratio,
                         float& gain_scale_state) {
    return filter_subframe<true>(speech, a, input_history, output_history, tilt_memory,
                                 {earlier.data(), earlier_ratio, &gain_scale_state});
}

}  // namespace g723
