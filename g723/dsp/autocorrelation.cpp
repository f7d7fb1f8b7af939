// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/autocorrelation.h"

#include <algorithm>
#include <array>

#include "g723/dsp/dot_product.h"

#if G723_SSE2_KERNELS
#include <immintrin.h>
#endif

namespace g723::paths {

namespace {

constexpr int L = kAnalysisLength;
constexpr int kLags = kLpcOrder + 1;

}  // namespace

void autocorrelation_plain(std::span<float, kLags> r, std::span<const float, L> s) {
    for (int k = 0; k < kLags; ++k) r[k] = dot_product(s.data() + k, s.data(), L - k);
}

#if G723_SSE2_KERNELS

namespace {

// The vector paths hold several lags side by side, lane j the lag first + j,
// and take the terms i = 0 .. 179 in order, s[i] broadcast and s[i + lag]
// loaded across the lanes. Every lag of 0 .. 4 has 176 terms in its eight
// partial sums and its tail after them; every lag of 5 .. 10 only 168, the
// terms from 168 on going to its tail. Past s[179] the signal reads as zeros:
// those terms are exact zeros, and a sum that started at +0 is never -0, so
// they change no bits.
constexpr int kShortBlocks = 168;
constexpr int kLongBlocks = 176;
constexpr int kLastLongLag = 4;
static_assert(L == 180 && kLags == 11, "the block ends assume 180 samples and lags up to 10");
static_assert((L - kLastLongLag) / 8 * 8 == kLongBlocks && (L - kLastLongLag - 1) / 8 * 8 == kShortBlocks);

// The block behind zeros, for the widest group of lanes.
struct padded_block {
    alignas(64) std::array<float, L + 16> values{};
    explicit padded_block(std::span<const float, L> s) { std::copy(s.begin(), s.end(), values.begin()); }
};

}  // namespace

// Lags in groups of four.
void autocorrelation_sse2(std::span<float, kLags> r, std::span<const float, L> s) {
    const padded_block p(s);
    for (int first = 0; first < kLags; first += 4) {
        const float* lagged = p.values.data() + first;
        __m128 acc[8];
        for (__m128& a : acc) a = _mm_setzero_ps();
        __m128 tail = _mm_setzero_ps();
        for (int i = 0; i < kShortBlocks; i += 8)
            for (int l = 0; l < 8; ++l)
                acc[l] = _mm_add_ps(acc[l], _mm_mul_ps(_mm_set1_ps(s[i + l]), _mm_loadu_ps(lagged + i + l)));
        const __m128 long_lag = _mm_castsi128_ps(
            _mm_cmplt_epi32(_mm_set_epi32(first + 3, first + 2, first + 1, first), _mm_set1_epi32(kLastLongLag + 1)));
        for (int l = 0; l < 8; ++l) {
            const int i = kShortBlocks + l;
            const __m128 product = _mm_mul_ps(_mm_set1_ps(s[i]), _mm_loadu_ps(lagged + i));
            acc[l] = _mm_add_ps(acc[l], _mm_and_ps(long_lag, product));
            tail = _mm_add_ps(tail, _mm_andnot_ps(long_lag, product));
        }
        for (int i = kLongBlocks; i < L; ++i)
            tail = _mm_add_ps(tail, _mm_mul_ps(_mm_set1_ps(s[i]), _mm_loadu_ps(lagged + i)));
        const __m128 low = _mm_add_ps(_mm_add_ps(acc[0], acc[1]), _mm_add_ps(acc[2], acc[3]));
        const __m128 high = _mm_add_ps(_mm_add_ps(acc[4], acc[5]), _mm_add_ps(acc[6], acc[7]));
        alignas(16) std::array<float, 4> sums;
        _mm_store_ps(sums.data(), _mm_add_ps(_mm_add_ps(low, high), tail));
        for (int j = 0; j < 4 && first + j < kLags; ++j) r[first + j] = sums[j];
    }
}

#endif

#if G723_X86_KERNELS

// Lags in groups of eight.
G723_TARGET_AVX2 void autocorrelation_avx2(std::span<float, kLags> r, std::span<const float, L> s) {
    const padded_block p(s);
    for (int first = 0; first < kLags; first += 8) {
        const float* lagged = p.values.data() + first;
        __m256 acc[8];
        for (__m256& a : acc) a = _mm256_setzero_ps();
        __m256 tail = _mm256_setzero_ps();
        for (int i = 0; i < kShortBlocks; i += 8)
            for (int l = 0; l < 8; ++l)
                acc[l] = _mm256_add_ps(acc[l],
                                       _mm256_mul_ps(_mm256_broadcast_ss(&s[i + l]), _mm256_loadu_ps(lagged + i + l)));
        const __m256 long_lag = _mm256_castsi256_ps(_mm256_cmpgt_epi32(
            _mm256_set1_epi32(kLastLongLag + 1),
            _mm256_add_epi32(_mm256_set1_epi32(first), _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0))));
        for (int l = 0; l < 8; ++l) {
            const int i = kShortBlocks + l;
            const __m256 product = _mm256_mul_ps(_mm256_broadcast_ss(&s[i]), _mm256_loadu_ps(lagged + i));
            acc[l] = _mm256_add_ps(acc[l], _mm256_and_ps(long_lag, product));
            tail = _mm256_add_ps(tail, _mm256_andnot_ps(long_lag, product));
        }
        for (int i = kLongBlocks; i < L; ++i)
            tail = _mm256_add_ps(tail, _mm256_mul_ps(_mm256_broadcast_ss(&s[i]), _mm256_loadu_ps(lagged + i)));
        const __m256 low = _mm256_add_ps(_mm256_add_ps(acc[0], acc[1]), _mm256_add_ps(acc[2], acc[3]));
        const __m256 high = _mm256_add_ps(_mm256_add_ps(acc[4], acc[5]), _mm256_add_ps(acc[6], acc[7]));
        alignas(32) std::array<float, 8> sums;
        _mm256_store_ps(sums.data(), _mm256_add_ps(_mm256_add_ps(low, high), tail));
        for (int j = 0; j < 8 && first + j < kLags; ++j) r[first + j] = sums[j];
    }
}

// All eleven lags in one group of sixteen lanes; masks split the terms
// 168 .. 175 between the partial sums (lags 0 .. 4) and the tails.
G723_TARGET_AVX512 void autocorrelation_avx512(std::span<float, kLags> r, std::span<const float, L> s) {
    const padded_block p(s);
    const float* lagged = p.values.data();
    __m512 acc[8];
    for (__m512& a : acc) a = _mm512_setzero_ps();
    __m512 tail = _mm512_setzero_ps();
    for (int i = 0; i < kShortBlocks; i += 8)
        for (int l = 0; l < 8; ++l)
            acc[l] = _mm512_add_ps(acc[l], _mm512_mul_ps(_mm512_set1_ps(s[i + l]), _mm512_loadu_ps(lagged + i + l)));
    constexpr __mmask16 long_lags = (1u << (kLastLongLag + 1)) - 1;
    for (int l = 0; l < 8; ++l) {
        const int i = kShortBlocks + l;
        const __m512 product = _mm512_mul_ps(_mm512_set1_ps(s[i]), _mm512_loadu_ps(lagged + i));
        acc[l] = _mm512_mask_add_ps(acc[l], long_lags, acc[l], product);
        tail = _mm512_mask_add_ps(tail, static_cast<__mmask16>(~long_lags), tail, product);
    }
    for (int i = kLongBlocks; i < L; ++i)
        tail = _mm512_add_ps(tail, _mm512_mul_ps(_mm512_set1_ps(s[i]), _mm512_loadu_ps(lagged + i)));
    const __m512 low = _mm512_add_ps(_mm512_add_ps(acc[0], acc[1]), _mm512_add_ps(acc[2], acc[3]));
    const __m512 high = _mm512_add_ps(_mm512_add_ps(acc[4], acc[5]), _mm512_add_ps(acc[6], acc[7]));
    _mm512_mask_storeu_ps(r.data(), (1u << kLags) - 1, _mm512_add_ps(_mm512_add_ps(low, high), tail));
}

#endif

}  // namespace g723::paths
