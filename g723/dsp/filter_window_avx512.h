// SPDX-License-Identifier: BSD-2-Clause
// The lanes of filter_window.h in one 16-lane AVX-512 register: lane 0 the
// current output, lanes 1 .. 10 its successors, lanes 11 .. 15 unused (their
// coefficients are zero and they are never read). Each lane performs the
// same operations in the same order as in the narrow layout, so the outputs
// have the same bits; one register instead of three makes the update one
// product and one sum, and the shift one lane rotation and one masked move.
// Only for kernels compiled for AVX-512 as a whole (G723_BEGIN_AVX512_REGION
// in kernel_paths.h): a caller compiled for another target would pass the
// window in memory where these take it in a register.
#pragma once

#include "g723/dsp/kernel_paths.h"

#if G723_X86_KERNELS
#include <immintrin.h>

namespace g723::filter_window {

struct wide {
    struct window {
        __m512 v;
    };
    struct lanes {
        __m512 v;
    };
    struct broadcast {
        __m512 v;
    };

    static constexpr __mmask16 kNewest = 1u << kLpcOrder;
    static constexpr __mmask16 kSuccessor = 1u << 1;
    // Lanes 1 .. 10.
    static constexpr __mmask16 kCoefficients = ((1u << kLpcOrder) - 1) << 1;

    G723_TARGET_AVX512 static lanes spread(const float* c) {
        return {_mm512_maskz_expandloadu_ps(kCoefficients, c)};
    }

    G723_TARGET_AVX512 static window start(float first) {
        return {_mm512_maskz_mov_ps(kNewest, _mm512_set1_ps(first))};
    }

    G723_TARGET_AVX512 static broadcast spread_value(float value) { return {_mm512_set1_ps(value)}; }
    G723_TARGET_AVX512 static float value_of(broadcast b) { return _mm512_cvtss_f32(b.v); }
    G723_TARGET_AVX512 static broadcast sum(broadcast p, broadcast q) { return {_mm512_add_ps(p.v, q.v)}; }

    G723_TARGET_AVX512 static broadcast current(const window& w) {
        return {_mm512_maskz_permutexvar_ps(0xffff, _mm512_setzero_si512(), w.v)};
    }
    G723_TARGET_AVX512 static broadcast successor(const window& w) {
        return {_mm512_maskz_permutexvar_ps(0xffff, _mm512_set1_epi32(1), w.v)};
    }

    G723_TARGET_AVX512 static void add(window& w, const lanes& c, broadcast b) {
        w.v = _mm512_add_ps(w.v, _mm512_mul_ps(c.v, b.v));
    }
    G723_TARGET_AVX512 static void subtract(window& w, const lanes& c, broadcast b) {
        w.v = _mm512_sub_ps(w.v, _mm512_mul_ps(c.v, b.v));
    }

    G723_TARGET_AVX512 static void subtract_with_next(window& w, const lanes& c, broadcast b, broadcast next) {
        w.v = _mm512_add_ps(w.v, _mm512_sub_ps(_mm512_maskz_mov_ps(kSuccessor, next.v), _mm512_mul_ps(c.v, b.v)));
    }

    G723_TARGET_AVX512 static void advance(window& w, float first) {
        const __m512i shifted = _mm512_maskz_alignr_epi32(0xffff, _mm512_castps_si512(w.v), _mm512_castps_si512(w.v), 1);
        w.v = _mm512_mask_mov_ps(_mm512_castsi512_ps(shifted), kNewest, _mm512_set1_ps(first));
    }
};

}  // namespace g723::filter_window

#endif
