// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/formant_postfilter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "g723/decoder/gain_scaling.h"
#include "g723/dsp/dot_product.h"
#include "g723/tables/postfilter_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

    // The zero part depends on the input only: s[n] - sum b_i s[n-i], four
    // samples at a time, each lane with the same sums in the same order.
    std::array<float, kSubframeSamples> zero_part;
#if defined(__SSE2__)
    __m128 bv[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) bv[i] = _mm_set1_ps(b[i]);
    for (int n = 0; n < kSubframeSamples; n += 4) {
        const float* x = s + n;
        const auto tap = [&](int i) { return _mm_mul_ps(bv[i], _mm_loadu_ps(x - 1 - i)); };
        const __m128 taps = _mm_add_ps(
            _mm_add_ps(_mm_add_ps(_mm_add_ps(tap(0), tap(1)), _mm_add_ps(tap(2), tap(3))),
                       _mm_add_ps(_mm_add_ps(tap(4), tap(5)), _mm_add_ps(tap(6), tap(7)))),
            _mm_add_ps(tap(8), tap(9)));
        _mm_storeu_ps(zero_part.data() + n, _mm_sub_ps(_mm_loadu_ps(x), taps));
    }
#else
    for (int n = 0; n < kSubframeSamples; ++n) {
        const float* x = s + n;
        const float taps = ((b[0] * x[-1] + b[1] * x[-2]) + (b[2] * x[-3] + b[3] * x[-4])) +
                           ((b[4] * x[-5] + b[5] * x[-6]) + (b[6] * x[-7] + b[7] * x[-8])) +
                           (b[8] * x[-9] + b[9] * x[-10]);
        zero_part[n] = x[0] - taps;
    }
#endif

    // The pole part, + sum c_i u[n-i], as
    //   u[n] = ((zero + (hi + ((c5 u[n-6] + c4 u[n-5]) + (c3 u[n-4] + c2 u[n-3]))))
    //           + c1 u[n-2]) + c0 u[n-1]
    // with hi = (c9 u[n-10] + c8 u[n-9]) + (c7 u[n-8] + c6 u[n-7]). The
    // newest outputs stay in registers, so that no output waits for its own
    // store to be read back.
#if defined(__SSE2__)
    // The gain scaling of the earlier subframe is a recursion of its own; run
    // alongside this one, the two chains of sums overlap.
    [[maybe_unused]] const float increment = kScaleEarlier ? gain_scaling_increment(earlier.ratio) : 0.0f;
    [[maybe_unused]] float gain_state = kScaleEarlier ? *earlier.gain_scale_state : 0.0f;
    // The pairs (c4 u[n-5] + c5 u[n-6]), (c6 u[n-7] + c7 u[n-8]) and
    // (c8 u[n-9] + c9 u[n-10]) in lanes 0, 1, 2 from two windows of outputs:
    // one sample on, the odd window takes the even one and the even window
    // slides one lane up behind u[n-4]. The term of u[n-3] is the only one
    // on the recursion's longest path (one product and six sums over three
    // samples), so it is kept apart from the pairs.
    const __m128 c_even = _mm_set_ps(0.0f, c[8], c[6], c[4]);
    const __m128 c_odd = _mm_set_ps(0.0f, c[9], c[7], c[5]);
    __m128 w_even = _mm_set_ps(0.0f, u[-9], u[-7], u[-5]);
    __m128 w_odd = _mm_set_ps(0.0f, u[-10], u[-8], u[-6]);
    float y1 = u[-1], y2 = u[-2], y3 = u[-3], y4 = u[-4];
#pragma GCC unroll 4
    for (int n = 0; n < kSubframeSamples; ++n) {
        const __m128 pairs = _mm_add_ps(_mm_mul_ps(c_even, w_even), _mm_mul_ps(c_odd, w_odd));
        const float hi = _mm_cvtss_f32(
            _mm_add_ss(_mm_movehl_ps(pairs, pairs), _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 1, 1, 1))));
        const float older = hi + (_mm_cvtss_f32(pairs) + (c[3] * y4 + c[2] * y3));
        const float y0 = ((zero_part[n] + older) + c[1] * y2) + c[0] * y1;
        u[n] = y0;
        const __m128 slid = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(w_odd), 4));
        w_odd = w_even;
        w_even = _mm_move_ss(slid, _mm_set_ss(y4));
        y4 = y3;
        y3 = y2;
        y2 = y1;
        y1 = y0;
        if constexpr (kScaleEarlier)
            earlier.speech[n] = gain_scaling_sample(earlier.speech[n], increment, gain_state);
    }
    if constexpr (kScaleEarlier) *earlier.gain_scale_state = gain_state;
#else
    if constexpr (kScaleEarlier)
        scale_postfilter_gain(std::span<float, kSubframeSamples>(earlier.speech, kSubframeSamples),
                              earlier.ratio, *earlier.gain_scale_state);
    // hi needs outputs at least seven samples back, so it is formed for four
    // outputs at a time ahead of them.
    float y1 = u[-1], y2 = u[-2], y3 = u[-3], y4 = u[-4], y5 = u[-5], y6 = u[-6];
    for (int block = 0; block < kSubframeSamples; block += 4) {
        float hi[4];
        for (int j = 0; j < 4; ++j) {
            const float* y = u + block + j;
            hi[j] = (c[9] * y[-10] + c[8] * y[-9]) + (c[7] * y[-8] + c[6] * y[-7]);
        }
        for (int j = 0; j < 4; ++j) {
            const float older = hi[j] + ((c[5] * y6 + c[4] * y5) + (c[3] * y4 + c[2] * y3));
            const float y0 = ((zero_part[block + j] + older) + c[1] * y2) + c[0] * y1;
            u[block + j] = y0;
            y6 = y5;
            y5 = y4;
            y4 = y3;
            y3 = y2;
            y2 = y1;
            y1 = y0;
        }
    }

#endif

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
