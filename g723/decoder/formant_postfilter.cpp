#include "g723/decoder/formant_postfilter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "g723/dsp/dot_product.h"
#include "g723/tables/postfilter_tables.h"

namespace g723 {
namespace {

constexpr float kTiltOld = 0.75f;
constexpr float kTiltNew = 0.25f;
constexpr float kTiltCompensation = 0.25f;
// An energy not above this counts as silence.
constexpr float kEnergyFloor = std::numeric_limits<float>::min();

}  // namespace

float formant_postfilter(std::span<float, kSubframeSamples> speech, const lpc_vector& a,
                         float* input_history, float* output_history, float& tilt_memory) {
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

    // The zero part depends on the input only: s[n] - sum b_i s[n-i].
    std::array<float, kSubframeSamples> zero_part;
    for (int n = 0; n < kSubframeSamples; ++n) {
        const float* x = s + n;
        const float taps = ((b[0] * x[-1] + b[1] * x[-2]) + (b[2] * x[-3] + b[3] * x[-4])) +
                           ((b[4] * x[-5] + b[5] * x[-6]) + (b[6] * x[-7] + b[7] * x[-8])) +
                           (b[8] * x[-9] + b[9] * x[-10]);
        zero_part[n] = x[0] - taps;
    }

    // The pole part, + sum c_i u[n-i]. The older outputs are summed as a
    // tree and the two newest come last, so that the recursion itself costs
    // one multiply and one add per sample.
    for (int n = 0; n < kSubframeSamples; ++n) {
        float* y = u + n;
        const float older = ((c[9] * y[-10] + c[8] * y[-9]) + (c[7] * y[-8] + c[6] * y[-7])) +
                            ((c[5] * y[-6] + c[4] * y[-5]) + (c[3] * y[-4] + c[2] * y[-3]));
        y[0] = (zero_part[n] + older + c[1] * y[-2]) + c[0] * y[-1];
    }

    // Tilt compensation: u[n] - 0.25 * tilt * u[n-1].
    for (int n = 0; n < kSubframeSamples; ++n) speech[n] = u[n] - tilt * u[n - 1];

    const float e = energy(speech.data(), kSubframeSamples);
    return e > kEnergyFloor ? std::sqrt(r0 / e) : 1.0f;
}

}  // namespace g723
