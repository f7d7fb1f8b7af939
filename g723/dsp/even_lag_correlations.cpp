// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/even_lag_correlations.h"

#include <array>

#include "g723/dsp/dot_product.h"

#if G723_SSE2_KERNELS
#include <immintrin.h>
#endif

namespace g723::paths {

namespace {
constexpr int N = kSubframeSamples;
static_assert(N == 60 && kEvenLags == 30, "the lane groups assume 60-sample subframes");
}  // namespace

void even_lag_correlations_plain(std::span<float, kEvenLags> out, const float* a, const float* h) {
    for (int k = 0; k < kEvenLags; ++k) out[k] = dot_product(a + 2 * k, h, N - 2 * k);
}

#if G723_SSE2_KERNELS

namespace {

// The lanes' samples a[2k + i] lie side by side in the even and odd halves
// of a: even[k + i / 2 + 1] for i even, odd[k + i / 2 + 1] for i odd. The
// halves start one entry early, with a zero, so that the spare lane k = -1
// reads inside them, and end in zeros for the spare lanes past k = 29.
struct halves {
    alignas(32) std::array<float, 40> even{};
    alignas(32) std::array<float, 40> odd{};

    explicit halves(const float* a) {
        for (int q = 0; q < N / 2; ++q) {
            even[q + 1] = a[2 * q];
            odd[q + 1] = a[2 * q + 1];
        }
    }
};

}  // namespace

// Four k at a time in vector lanes: group g holds k = 4g - 1 .. 4g + 2 (k =
// -1 and 30 are spare lanes). Every lane of a group has 7 - g whole blocks
// of eight, summed into its own eight partial sums, and a tail of 6, 4, 2 or
// 0 terms; the combining order is dot_product's. A lane past its tail adds
// +0 to a sum that started at +0 (and so is never -0), which leaves it as
// it is. Terms past h[59] belong to the spare lane k = -1 only and are left
// out.
void even_lag_correlations_sse2(std::span<float, kEvenLags> out, const float* a, const float* h) {
    constexpr int kGroups = (kEvenLags + 2) / 4;
    const halves lanes(a);
    __m128 hb[N];
    for (int i = 0; i < N; ++i) hb[i] = _mm_set1_ps(h[i]);
    for (int g = 0; g < kGroups; ++g) {
        const int block_end = 8 * (7 - g);
        const float* even = lanes.even.data() + 4 * g;
        const float* odd = lanes.odd.data() + 4 * g;
        __m128 acc[8];
        for (__m128& s : acc) s = _mm_setzero_ps();
        for (int i = 0; i < block_end; i += 8) {
            const float* e = even + i / 2;
            const float* o = odd + i / 2;
            const __m128* hi = hb + i;
            for (int l = 0; l < 8; l += 2) {
                acc[l] = _mm_add_ps(acc[l], _mm_mul_ps(_mm_loadu_ps(e + l / 2), hi[l]));
                acc[l + 1] = _mm_add_ps(acc[l + 1], _mm_mul_ps(_mm_loadu_ps(o + l / 2), hi[l + 1]));
            }
        }
        __m128 tail = _mm_setzero_ps();
        for (int t = 0; t < 6 && block_end + t < N; ++t) {
            const int i = block_end + t;
            // Lane j has 6 - 2j tail terms.
            const __m128 keep = _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_set_epi32(0, 2, 4, 6), _mm_set1_epi32(t)));
            const __m128 samples = _mm_loadu_ps((t % 2 == 0 ? even : odd) + i / 2);
            tail = _mm_add_ps(tail, _mm_and_ps(_mm_mul_ps(samples, hb[i]), keep));
        }
        const __m128 low = _mm_add_ps(_mm_add_ps(acc[0], acc[1]), _mm_add_ps(acc[2], acc[3]));
        const __m128 high = _mm_add_ps(_mm_add_ps(acc[4], acc[5]), _mm_add_ps(acc[6], acc[7]));
        alignas(16) std::array<float, 4> sums;
        _mm_store_ps(sums.data(), _mm_add_ps(_mm_add_ps(low, high), tail));
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * g - 1 + j;
            if (k >= 0 && k < kEvenLags) out[k] = sums[j];
        }
    }
}

#endif

#if G723_X86_KERNELS
// Eight k at a time: group g holds k = 8g - 1 .. 8g + 6. Lanes 0 .. 3 have
// 7 - 2g whole blocks and tails of 6, 4, 2, 0 terms, lanes 4 .. 7 one block
// fewer and the same tails. So after the blocks common to all lanes, the
// next eight terms go to the partial sums of lanes 0 .. 3 and the tails of
// lanes 4 .. 7, and the six after those to the tails of lanes 0 .. 3; masks
// pick the lanes a term belongs to, and the others add +0.
G723_TARGET_AVX2 void even_lag_correlations_avx2(std::span<float, kEvenLags> out, const float* a,
                                                 const float* h) {
    constexpr int kGroups = (kEvenLags + 2) / 8;
    const halves lanes(a);
    // Lane j (of each half) has 6 - 2 (j mod 4) tail terms.
    const __m256i tail_terms = _mm256_set_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m256i low_lanes = _mm256_set_epi32(0, 0, 0, 0, -1, -1, -1, -1);
    for (int g = 0; g < kGroups; ++g) {
        const int common_end = 8 * (6 - 2 * g);
        const float* even = lanes.even.data() + 8 * g;
        const float* odd = lanes.odd.data() + 8 * g;
        __m256 acc[8];
        for (__m256& s : acc) s = _mm256_setzero_ps();
        for (int i = 0; i < common_end; i += 8) {
            const float* e = even + i / 2;
            const float* o = odd + i / 2;
            const float* hi = h + i;
            for (int l = 0; l < 8; l += 2) {
                acc[l] = _mm256_add_ps(acc[l], _mm256_mul_ps(_mm256_loadu_ps(e + l / 2), _mm256_broadcast_ss(hi + l)));
                acc[l + 1] = _mm256_add_ps(acc[l + 1],
                                           _mm256_mul_ps(_mm256_loadu_ps(o + l / 2), _mm256_broadcast_ss(hi + l + 1)));
            }
        }
        __m256 tail = _mm256_setzero_ps();
        for (int t = 0; t < 8; ++t) {
            const int i = common_end + t;
            const __m256 product =
                _mm256_mul_ps(_mm256_loadu_ps((t % 2 == 0 ? even : odd) + i / 2), _mm256_broadcast_ss(h + i));
            const __m256i in_tail = _mm256_andnot_si256(low_lanes, _mm256_cmpgt_epi32(tail_terms, _mm256_set1_epi32(t)));
            acc[t] = _mm256_add_ps(acc[t], _mm256_and_ps(product, _mm256_castsi256_ps(low_lanes)));
            tail = _mm256_add_ps(tail, _mm256_and_ps(product, _mm256_castsi256_ps(in_tail)));
        }
        for (int t = 0; t < 6 && common_end + 8 + t < N; ++t) {
            const int i = common_end + 8 + t;
            const __m256 product =
                _mm256_mul_ps(_mm256_loadu_ps((t % 2 == 0 ? even : odd) + i / 2), _mm256_broadcast_ss(h + i));
            const __m256i in_tail = _mm256_and_si256(low_lanes, _mm256_cmpgt_epi32(tail_terms, _mm256_set1_epi32(t)));
            tail = _mm256_add_ps(tail, _mm256_and_ps(product, _mm256_castsi256_ps(in_tail)));
        }
        const __m256 low = _mm256_add_ps(_mm256_add_ps(acc[0], acc[1]), _mm256_add_ps(acc[2], acc[3]));
        const __m256 high = _mm256_add_ps(_mm256_add_ps(acc[4], acc[5]), _mm256_add_ps(acc[6], acc[7]));
        alignas(32) std::array<float, 8> sums;
        _mm256_store_ps(sums.data(), _mm256_add_ps(_mm256_add_ps(low, high), tail));
        for (int j = 0; j < 8; ++j) {
            const int k = 8 * g - 1 + j;
            if (k >= 0 && k < kEvenLags) out[k] = sums[j];
        }
    }
}

#endif

}  // namespace g723::paths
