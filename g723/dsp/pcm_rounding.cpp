// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/pcm_rounding.h"

#include <cmath>

#if G723_SSE2_KERNELS
#include <immintrin.h>
#endif

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

namespace paths {

void round_to_pcm_plain(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
    for (int n = 0; n < kFrameSamples; ++n) out[n] = float_to_pcm(in[n]);
}

#if G723_SSE2_KERNELS

// float_to_pcm several samples at a time, exactly: the clamp keeps the
// integer conversion in range (NaN takes the lower bound), the fraction x -
// trunc(x) is exact in single precision, a fraction of at least one half
// moves the value one away from zero, and the signed pack saturates to the
// 16-bit range.
void round_to_pcm_sse2(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
    const __m128 lowest = _mm_set1_ps(-32769.0f);
    const __m128 highest = _mm_set1_ps(32768.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 minus_half = _mm_set1_ps(-0.5f);
    static_assert(kFrameSamples % 8 == 0);
    for (int n = 0; n < kFrameSamples; n += 8) {
        __m128i rounded[2];
        for (int h = 0; h < 2; ++h) {
            const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(in.data() + n + 4 * h), lowest), highest);
            const __m128i whole = _mm_cvttps_epi32(v);
            const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
            const __m128i up = _mm_castps_si128(_mm_cmpge_ps(fraction, half));          // -1 where rounding up
            const __m128i down = _mm_castps_si128(_mm_cmple_ps(fraction, minus_half));  // -1 where rounding down
            rounded[h] = _mm_add_epi32(_mm_sub_epi32(whole, up), down);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data() + n), _mm_packs_epi32(rounded[0], rounded[1]));
    }
}

#endif

#if G723_X86_KERNELS
G723_TARGET_AVX2 void round_to_pcm_avx2(std::span<const float, kFrameSamples> in,
                                        std::span<int16_t, kFrameSamples> out) {
    const __m256 lowest = _mm256_set1_ps(-32769.0f);
    const __m256 highest = _mm256_set1_ps(32768.0f);
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 minus_half = _mm256_set1_ps(-0.5f);
    static_assert(kFrameSamples % 16 == 0);
    for (int n = 0; n < kFrameSamples; n += 16) {
        __m256i rounded[2];
        for (int h = 0; h < 2; ++h) {
            const __m256 v = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(in.data() + n + 8 * h), lowest), highest);
            const __m256i whole = _mm256_cvttps_epi32(v);
            const __m256 fraction = _mm256_sub_ps(v, _mm256_cvtepi32_ps(whole));
            const __m256i up = _mm256_castps_si256(_mm256_cmp_ps(fraction, half, _CMP_GE_OQ));
            const __m256i down = _mm256_castps_si256(_mm256_cmp_ps(fraction, minus_half, _CMP_LE_OQ));
            rounded[h] = _mm256_add_epi32(_mm256_sub_epi32(whole, up), down);
        }
        // The pack works within 128-bit halves: put the samples back in order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(rounded[0], rounded[1]), 0xd8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.data() + n), packed);
    }
}

#endif

}  // namespace paths

}  // namespace g723
