// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/output_conversion.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cmath>

namespace g723 {

int16_t float_to_pcm(float x) {
    // Half away from zero, with the half added in double precision where
    // the sum is exact (in single precision 0.49999997 + 0.5 rounds to 1).
    // x > 32766.5 exactly when the sum exceeds 32767, x < -32767.5 exactly
    // when it falls below -32768; NaN fails the lower test. Written as
    // selects, without branches on the signal's sign.
    const double d = x;
    double r = d + std::copysign(0.5, d);
    r = r > 32767.0 ? 32767.0 : r;
    r = r >= -32768.0 ? r : -32768.0;
    return static_cast<int16_t>(static_cast<int32_t>(r));
}

void output_to_pcm(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
#if defined(__SSE2__)
    // float_to_pcm eight samples at a time, exactly: the clamp keeps the
    // integer conversion in range (NaN takes the lower bound), the fraction
    // x - trunc(x) is exact in single precision, a fraction of at least one
    // half moves the value one away from zero, and the signed pack
    // saturates to the 16-bit range.
    const __m128 lowest = _mm_set1_ps(-32769.0f);
    const __m128 highest = _mm_set1_ps(32768.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 minus_half = _mm_set1_ps(-0.5f);
    auto round = [&](const float* x) {
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(x), lowest), highest);
        const __m128i whole = _mm_cvttps_epi32(v);
        const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
        const __m128i up = _mm_castps_si128(_mm_cmpge_ps(fraction, half));          // -1 where rounding up
        const __m128i down = _mm_castps_si128(_mm_cmple_ps(fraction, minus_half));  // -1 where rounding down
        return _mm_add_epi32(_mm_sub_epi32(whole, up), down);
    };
    static_assert(kFrameSamples % 8 == 0);
    for (int n = 0; n < kFrameSamples; n += 8) {
        const __m128i packed = _mm_packs_epi32(round(in.data() + n), round(in.data() + n + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data() + n), packed);
    }
#else
    for (int n = 0; n < kFrameSamples; ++n) out[n] = float_to_pcm(in[n]);
#endif
}

}  // namespace g723
