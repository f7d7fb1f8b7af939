// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/postfilter_sections.h"

#include "g723/dsp/gain_scaling_step.h"

#if G723_SSE2_KERNELS
#include <immintrin.h>
#endif

namespace g723::paths {

namespace {
constexpr int N = kSubframeSamples;
}  // namespace

void postfilter_zero_part_plain(std::span<float, N> zero, const float* s, const lpc_vector& b) {
    for (int n = 0; n < N; ++n) {
        const float* x = s + n;
        const float taps = ((b[0] * x[-1] + b[1] * x[-2]) + (b[2] * x[-3] + b[3] * x[-4])) +
                           ((b[4] * x[-5] + b[5] * x[-6]) + (b[6] * x[-7] + b[7] * x[-8])) +
                           (b[8] * x[-9] + b[9] * x[-10]);
        zero[n] = x[0] - taps;
    }
}

void postfilter_pole_part_plain(float* u, std::span<const float, N> zero, const lpc_vector& c) {
    // hi needs outputs at least seven samples back, so it is formed for four
    // outputs at a time ahead of them.
    float y1 = u[-1], y2 = u[-2], y3 = u[-3], y4 = u[-4], y5 = u[-5], y6 = u[-6];
    for (int block = 0; block < N; block += 4) {
        float hi[4];
        for (int j = 0; j < 4; ++j) {
            const float* y = u + block + j;
            hi[j] = (c[9] * y[-10] + c[8] * y[-9]) + (c[7] * y[-8] + c[6] * y[-7]);
        }
        for (int j = 0; j < 4; ++j) {
            const float older = hi[j] + ((c[5] * y6 + c[4] * y5) + (c[3] * y4 + c[2] * y3));
            const float y0 = ((zero[block + j] + older) + c[1] * y2) + c[0] * y1;
            u[block + j] = y0;
            y6 = y5;
            y5 = y4;
            y4 = y3;
            y3 = y2;
            y2 = y1;
            y1 = y0;
        }
    }
}

void postfilter_pole_part_and_gain_scaling_plain(float* u, std::span<const float, N> zero, const lpc_vector& c,
                                                 std::span<float, N> earlier, float increment, float& gain_state) {
    for (float& x : earlier) x = gain_scaling_sample(x, increment, gain_state);
    postfilter_pole_part_plain(u, zero, c);
}

#if G723_SSE2_KERNELS

// Four samples per step, each lane with the plain loop's sums in its order.
void postfilter_zero_part_sse2(std::span<float, N> zero, const float* s, const lpc_vector& b) {
    __m128 bv[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) bv[i] = _mm_set1_ps(b[i]);
    for (int n = 0; n < N; n += 4) {
        const float* x = s + n;
        __m128 t[kLpcOrder];
        for (int i = 0; i < kLpcOrder; ++i) t[i] = _mm_mul_ps(bv[i], _mm_loadu_ps(x - 1 - i));
        const __m128 taps =
            _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(t[0], t[1]), _mm_add_ps(t[2], t[3])),
                                  _mm_add_ps(_mm_add_ps(t[4], t[5]), _mm_add_ps(t[6], t[7]))),
                       _mm_add_ps(t[8], t[9]));
        _mm_storeu_ps(zero.data() + n, _mm_sub_ps(_mm_loadu_ps(x), taps));
    }
}

#endif

#if G723_X86_KERNELS
// Eight samples per step, then the last four.
G723_TARGET_AVX2 void postfilter_zero_part_avx2(std::span<float, N> zero, const float* s, const lpc_vector& b) {
    static_assert(N % 8 == 4);
    __m256 bv[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) bv[i] = _mm256_broadcast_ss(&b[i]);
    for (int n = 0; n + 8 <= N; n += 8) {
        const float* x = s + n;
        __m256 t[kLpcOrder];
        for (int i = 0; i < kLpcOrder; ++i) t[i] = _mm256_mul_ps(bv[i], _mm256_loadu_ps(x - 1 - i));
        const __m256 taps = _mm256_add_ps(
            _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(t[0], t[1]), _mm256_add_ps(t[2], t[3])),
                          _mm256_add_ps(_mm256_add_ps(t[4], t[5]), _mm256_add_ps(t[6], t[7]))),
            _mm256_add_ps(t[8], t[9]));
        _mm256_storeu_ps(zero.data() + n, _mm256_sub_ps(_mm256_loadu_ps(x), taps));
    }
    const int n = N - 4;
    const float* x = s + n;
    __m128 t[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) t[i] = _mm_mul_ps(_mm256_castps256_ps128(bv[i]), _mm_loadu_ps(x - 1 - i));
    const __m128 taps = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(t[0], t[1]), _mm_add_ps(t[2], t[3])),
                                              _mm_add_ps(_mm_add_ps(t[4], t[5]), _mm_add_ps(t[6], t[7]))),
                                   _mm_add_ps(t[8], t[9]));
    _mm_storeu_ps(zero.data() + n, _mm_sub_ps(_mm_loadu_ps(x), taps));
}

// Sixteen samples per step, the last step twelve.
G723_TARGET_AVX512 void postfilter_zero_part_avx512(std::span<float, N> zero, const float* s, const lpc_vector& b) {
    __m512 bv[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) bv[i] = _mm512_set1_ps(b[i]);
    for (int n = 0; n < N; n += 16) {
        const __mmask16 m = n + 16 <= N ? 0xffff : static_cast<__mmask16>((1u << (N - n)) - 1);
        const float* x = s + n;
        __m512 t[kLpcOrder];
        for (int i = 0; i < kLpcOrder; ++i) t[i] = _mm512_mul_ps(bv[i], _mm512_maskz_loadu_ps(m, x - 1 - i));
        const __m512 taps = _mm512_add_ps(
            _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(t[0], t[1]), _mm512_add_ps(t[2], t[3])),
                          _mm512_add_ps(_mm512_add_ps(t[4], t[5]), _mm512_add_ps(t[6], t[7]))),
            _mm512_add_ps(t[8], t[9]));
        _mm512_mask_storeu_ps(zero.data() + n, m, _mm512_sub_ps(_mm512_maskz_loadu_ps(m, x), taps));
    }
}

#endif

#if G723_SSE2_KERNELS
namespace {

// The pole recursion with the pairs (c4 u[n-5] + c5 u[n-6]), (c6 u[n-7] + c7
// u[n-8]) and (c8 u[n-9] + c9 u[n-10]) in lanes 0, 1, 2, from two windows
// of outputs held in registers: one sample on, the odd window takes the even
// one and the even window slides one lane up behind u[n-4]. The term of
// u[n-3] is the only one on the recursion's longest path (one product and
// six sums over three samples), so it is kept apart from the pairs. The
// newest outputs stay in registers, so that no output waits for its own
// store to be read back. The gain scaling of the earlier subframe, when
// asked for, runs in the same loop.
template <bool kScaleEarlier>
void pole_part_sse2(float* u, std::span<const float, N> zero, const lpc_vector& c, float* earlier,
                    float increment, float* gain_state) {
    [[maybe_unused]] float gain = kScaleEarlier ? *gain_state : 0.0f;
    const __m128 c_even = _mm_set_ps(0.0f, c[8], c[6], c[4]);
    const __m128 c_odd = _mm_set_ps(0.0f, c[9], c[7], c[5]);
    __m128 w_even = _mm_set_ps(0.0f, u[-9], u[-7], u[-5]);
    __m128 w_odd = _mm_set_ps(0.0f, u[-10], u[-8], u[-6]);
    float y1 = u[-1], y2 = u[-2], y3 = u[-3], y4 = u[-4];
#pragma GCC unroll 4
    for (int n = 0; n < N; ++n) {
        const __m128 pairs = _mm_add_ps(_mm_mul_ps(c_even, w_even), _mm_mul_ps(c_odd, w_odd));
        const float hi = _mm_cvtss_f32(
            _mm_add_ss(_mm_movehl_ps(pairs, pairs), _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 1, 1, 1))));
        const float older = hi + (_mm_cvtss_f32(pairs) + (c[3] * y4 + c[2] * y3));
        const float y0 = ((zero[n] + older) + c[1] * y2) + c[0] * y1;
        u[n] = y0;
        const __m128 slid = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(w_odd), 4));
        w_odd = w_even;
        w_even = _mm_move_ss(slid, _mm_set_ss(y4));
        y4 = y3;
        y3 = y2;
        y2 = y1;
        y1 = y0;
        if constexpr (kScaleEarlier) earlier[n] = gain_scaling_sample(earlier[n], increment, gain);
    }
    if constexpr (kScaleEarlier) *gain_state = gain;
}

}  // namespace

void postfilter_pole_part_sse2(float* u, std::span<const float, N> zero, const lpc_vector& c) {
    pole_part_sse2<false>(u, zero, c, nullptr, 0.0f, nullptr);
}

void postfilter_pole_part_and_gain_scaling_sse2(float* u, std::span<const float, N> zero, const lpc_vector& c,
                                                std::span<float, N> earlier, float increment, float& gain_state) {
    pole_part_sse2<true>(u, zero, c, earlier.data(), increment, &gain_state);
}

#endif

}  // namespace g723::paths
