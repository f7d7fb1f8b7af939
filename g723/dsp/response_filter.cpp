// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/response_filter.h"

#include <algorithm>
#include <array>

#if G723_SSE2_KERNELS
#include <immintrin.h>
#endif

namespace g723::paths {

namespace {

constexpr int N = kSubframeSamples;

// h behind 60 zeros, so that the response delayed by i samples is the
// fixed-length slice starting at 60 - i.
struct padded_response {
    alignas(32) std::array<float, 2 * N> values{};
    explicit padded_response(std::span<const float, N> h) { std::copy(h.begin(), h.end(), values.begin() + N); }
    const float* delayed(int i) const { return values.data() + N - i; }
};

}  // namespace

// Running i in the outer loop keeps each y[n]'s order and lets the inner
// loop run across n.
void filter_by_response_plain(std::span<float, N> y, std::span<const float, N> h, const float* x, int count) {
    const padded_response hp(h);
    std::fill(y.begin(), y.end(), 0.0f);
    for (int i = 0; i < count; ++i) {
        const float* delayed = hp.delayed(i);
        const float sample = x[i];
        for (int n = 0; n < N; ++n) y[n] += delayed[n] * sample;
    }
}

#if G723_SSE2_KERNELS

namespace {

// Outputs 4 * kFirst .. 4 * (kFirst + kRegisters) - 1 in 4-lane registers,
// from the samples up to the last of them (the later ones add exact zeros,
// see add_block below).
template <int kFirst, int kRegisters>
void sse2_pass(float* y, const float* hp, const float* x, int count) {
    __m128 acc[kRegisters];
    for (__m128& a : acc) a = _mm_setzero_ps();
    const int end = std::min(count, 4 * (kFirst + kRegisters));
    for (int i = 0; i < end; ++i) {
        const float* delayed = hp + N - i + 4 * kFirst;
        const __m128 sample = _mm_set1_ps(x[i]);
        for (int j = 0; j < kRegisters; ++j)
            acc[j] = _mm_add_ps(acc[j], _mm_mul_ps(_mm_loadu_ps(delayed + 4 * j), sample));
    }
    for (int j = 0; j < kRegisters; ++j) _mm_storeu_ps(y + 4 * (kFirst + j), acc[j]);
}

#endif

#if G723_X86_KERNELS
// Samples i = 8 * kBlock .. min(8 * kBlock + 8, count) - 1 into the outputs
// from register kBlock on: the outputs of the registers before it are all
// earlier than i, their terms exact zeros. Leaving those out changes
// nothing, as a sum that started at +0 is never -0 and so keeps its bits
// when a zero of either sign is added.
template <int kBlock>
G723_TARGET_AVX2 inline void add_block(__m256 (&acc)[7], __m128& last, const float* hp, const float* x, int count) {
    const int end = std::min(8 * kBlock + 8, count);
    for (int i = 8 * kBlock; i < end; ++i) {
        const float* delayed = hp + N - i;
        const __m256 sample = _mm256_broadcast_ss(x + i);
        for (int j = kBlock; j < 7; ++j)
            acc[j] = _mm256_add_ps(acc[j], _mm256_mul_ps(_mm256_loadu_ps(delayed + 8 * j), sample));
        last = _mm_add_ps(last, _mm_mul_ps(_mm_loadu_ps(delayed + 56), _mm256_castps256_ps128(sample)));
    }
}

// As add_block, sixteen samples into the outputs from 16-lane register
// kBlock on; the last register holds outputs 48 .. 59 in its low twelve
// lanes.
template <int kBlock>
G723_TARGET_AVX512 inline void add_block16(__m512 (&acc)[4], const float* hp, const float* x, int count) {
    const int end = std::min(16 * kBlock + 16, count);
    for (int i = 16 * kBlock; i < end; ++i) {
        const float* delayed = hp + N - i;
        const __m512 sample = _mm512_set1_ps(x[i]);
        for (int j = kBlock; j < 3; ++j)
            acc[j] = _mm512_add_ps(acc[j], _mm512_mul_ps(_mm512_loadu_ps(delayed + 16 * j), sample));
        acc[3] = _mm512_add_ps(acc[3], _mm512_mul_ps(_mm512_maskz_loadu_ps(0x0fff, delayed + 48), sample));
    }
}

#endif

#if G723_SSE2_KERNELS
}  // namespace

// The outputs in two passes of registers, 0 .. 31 and 32 .. 59.
void filter_by_response_sse2(std::span<float, N> y, std::span<const float, N> h, const float* x, int count) {
    static_assert(N == 4 * 15);
    const padded_response hp(h);
    sse2_pass<0, 8>(y.data(), hp.values.data(), x, count);
    sse2_pass<8, 7>(y.data(), hp.values.data(), x, count);
}

#endif

#if G723_X86_KERNELS
// The 60 outputs held in seven 8-lane registers and one 4-lane register
// for the whole filtering.
G723_TARGET_AVX2 void filter_by_response_avx2(std::span<float, N> y, std::span<const float, N> h, const float* x,
                                              int count) {
    static_assert(N == 7 * 8 + 4);
    const padded_response hp(h);
    __m256 acc[7];
    for (__m256& a : acc) a = _mm256_setzero_ps();
    __m128 last = _mm_setzero_ps();
    add_block<0>(acc, last, hp.values.data(), x, count);
    add_block<1>(acc, last, hp.values.data(), x, count);
    add_block<2>(acc, last, hp.values.data(), x, count);
    add_block<3>(acc, last, hp.values.data(), x, count);
    add_block<4>(acc, last, hp.values.data(), x, count);
    add_block<5>(acc, last, hp.values.data(), x, count);
    add_block<6>(acc, last, hp.values.data(), x, count);
    add_block<7>(acc, last, hp.values.data(), x, count);
    for (int j = 0; j < 7; ++j) _mm256_storeu_ps(y.data() + 8 * j, acc[j]);
    _mm_storeu_ps(y.data() + 56, last);
}

// The 60 outputs held in four 16-lane registers for the whole filtering.
G723_TARGET_AVX512 void filter_by_response_avx512(std::span<float, N> y, std::span<const float, N> h, const float* x,
                                                  int count) {
    static_assert(N == 3 * 16 + 12);
    const padded_response hp(h);
    __m512 acc[4];
    for (__m512& a : acc) a = _mm512_setzero_ps();
    add_block16<0>(acc, hp.values.data(), x, count);
    add_block16<1>(acc, hp.values.data(), x, count);
    add_block16<2>(acc, hp.values.data(), x, count);
    add_block16<3>(acc, hp.values.data(), x, count);
    for (int j = 0; j < 3; ++j) _mm512_storeu_ps(y.data() + 16 * j, acc[j]);
    _mm512_mask_storeu_ps(y.data() + 48, 0x0fff, acc[3]);
}

#endif

}  // namespace g723::paths
