// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lag_correlations.h"

#include "g723/dsp/dot_product.h"

#if G723_SSE2_KERNELS
#include <immintrin.h>
#endif

namespace g723::paths {

namespace {
constexpr int kLags = kCorrelationLags;
constexpr int kLength = kCorrelationLength;
}  // namespace

void lag_correlations_plain(std::span<float, kCorrelationLags> out, const float* x, int min_lag) {
    for (int j = 0; j < kLags; ++j) out[j] = dot_product(x, x - (min_lag + j), kLength);
}

#if G723_SSE2_KERNELS

// Four lags side by side, one per vector lane, each lane keeping the eight
// partial sums, the tail and the combining order of dot_product for its own
// lag; x[i] is broadcast to all lanes. Lane j holds the lag min_lag + first
// + 3 - j, so that the four lagged samples of one term are adjacent in
// memory.
void lag_correlations_sse2(std::span<float, kCorrelationLags> out, const float* x, int min_lag) {
    constexpr int blocked = kLength / 8 * 8;
    __m128 broadcast[kLength];
    for (int i = 0; i < kLength; ++i) broadcast[i] = _mm_set1_ps(x[i]);
    for (int first = 0; first < kLags; first += 4) {
        const float* lagged = x - (min_lag + first + 3);
        __m128 acc[8];
        for (__m128& a : acc) a = _mm_setzero_ps();
        for (int i = 0; i < blocked; i += 8)
            for (int l = 0; l < 8; ++l)
                acc[l] = _mm_add_ps(acc[l], _mm_mul_ps(broadcast[i + l], _mm_loadu_ps(lagged + i + l)));
        __m128 tail = _mm_setzero_ps();
        for (int i = blocked; i < kLength; ++i)
            tail = _mm_add_ps(tail, _mm_mul_ps(broadcast[i], _mm_loadu_ps(lagged + i)));
        const __m128 low = _mm_add_ps(_mm_add_ps(acc[0], acc[1]), _mm_add_ps(acc[2], acc[3]));
        const __m128 high = _mm_add_ps(_mm_add_ps(acc[4], acc[5]), _mm_add_ps(acc[6], acc[7]));
        const __m128 sums = _mm_add_ps(_mm_add_ps(low, high), tail);
        // Lanes in reverse: lane 3 holds the lag min_lag + first.
        _mm_storeu_ps(out.data() + first, _mm_shuffle_ps(sums, sums, _MM_SHUFFLE(0, 1, 2, 3)));
    }
}

#endif

#if G723_X86_KERNELS
// The same with eight lags per vector.
G723_TARGET_AVX2 void lag_correlations_avx2(std::span<float, kCorrelationLags> out, const float* x, int min_lag) {
    constexpr int blocked = kLength / 8 * 8;
    const __m256i reverse = _mm256_set_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    for (int first = 0; first < kLags; first += 8) {
        const float* lagged = x - (min_lag + first + 7);
        __m256 acc[8];
        for (__m256& a : acc) a = _mm256_setzero_ps();
        for (int i = 0; i < blocked; i += 8)
            for (int l = 0; l < 8; ++l)
                acc[l] = _mm256_add_ps(acc[l],
                                       _mm256_mul_ps(_mm256_broadcast_ss(x + i + l), _mm256_loadu_ps(lagged + i + l)));
        __m256 tail = _mm256_setzero_ps();
        for (int i = blocked; i < kLength; ++i)
            tail = _mm256_add_ps(tail, _mm256_mul_ps(_mm256_broadcast_ss(x + i), _mm256_loadu_ps(lagged + i)));
        const __m256 low = _mm256_add_ps(_mm256_add_ps(acc[0], acc[1]), _mm256_add_ps(acc[2], acc[3]));
        const __m256 high = _mm256_add_ps(_mm256_add_ps(acc[4], acc[5]), _mm256_add_ps(acc[6], acc[7]));
        const __m256 sums = _mm256_add_ps(_mm256_add_ps(low, high), tail);
        _mm256_storeu_ps(out.data() + first, _mm256_permutevar8x32_ps(sums, reverse));
    }
}

// The same with sixteen lags per vector.
G723_TARGET_AVX512 void lag_correlations_avx512(std::span<float, kCorrelationLags> out, const float* x,
                                                int min_lag) {
    constexpr int blocked = kLength / 8 * 8;
    const __m512i reverse = _mm512_set_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (int first = 0; first < kLags; first += 16) {
        const float* lagged = x - (min_lag + first + 15);
        __m512 acc[8];
        for (__m512& a : acc) a = _mm512_setzero_ps();
        for (int i = 0; i < blocked; i += 8)
            for (int l = 0; l < 8; ++l)
                acc[l] = _mm512_add_ps(acc[l], _mm512_mul_ps(_mm512_set1_ps(x[i + l]), _mm512_loadu_ps(lagged + i + l)));
        __m512 tail = _mm512_setzero_ps();
        for (int i = blocked; i < kLength; ++i)
            tail = _mm512_add_ps(tail, _mm512_mul_ps(_mm512_set1_ps(x[i]), _mm512_loadu_ps(lagged + i)));
        const __m512 low = _mm512_add_ps(_mm512_add_ps(acc[0], acc[1]), _mm512_add_ps(acc[2], acc[3]));
        const __m512 high = _mm512_add_ps(_mm512_add_ps(acc[4], acc[5]), _mm512_add_ps(acc[6], acc[7]));
        const __m512 sums = _mm512_add_ps(_mm512_add_ps(low, high), tail);
        _mm512_storeu_ps(out.data() + first, _mm512_maskz_permutexvar_ps(0xffff, reverse, sums));
    }
}

#endif

}  // namespace g723::paths
