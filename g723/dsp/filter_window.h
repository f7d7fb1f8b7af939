// SPDX-License-Identifier: BSD-2-Clause
// The running partial sums of a recursive filter of order 10 in transposed
// form: as soon as an output is known, its products with the ten coefficients
// are added to the ten outputs that will need them. Every output thus sums
// its terms from the oldest past value to the newest, and the recursion's
// critical path is one product and one sum per sample instead of a chain of
// ten sums. The kernels in synthesis_filter, pole_zero_filter and
// weighted_synthesis run on it; each lane performs exactly the operations of
// synthesis_step or pole_zero_step, in their order.
//
// Two layouts of the same lanes, as classes of static functions that the
// kernels take as a template argument: `narrow` (three 4-lane SSE2
// registers, or plain floats on targets without SSE2) and, on x86, `wide`
// (one 16-lane AVX-512 register, in filter_window_avx512.h).
#pragma once

#include <array>

#include "g723/tables/codec_constants.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace g723::filter_window {

#if defined(__SSE2__)

struct narrow {
    // Twelve lanes: lane 0 the current output, lane j its j-th successor
    // (j = 1 .. 10), lane 11 unused.
    struct window {
        __m128 low, mid, high;
    };

    // Coefficient c[j - 1] in lane j for j = 1 .. 10, zero in lanes 0 and 11
    // (those lanes are never read after the update).
    struct lanes {
        __m128 low, mid, high;
    };

    // A value in every lane of a vector (the form add and subtract take).
    using broadcast = __m128;

    static lanes spread(const float* c) {
        return {_mm_set_ps(c[2], c[1], c[0], 0.0f), _mm_set_ps(c[6], c[5], c[4], c[3]),
                _mm_set_ps(0.0f, c[9], c[8], c[7])};
    }

    static window start(float first) {
        // Lane 10, the first output, starts at its own value; the others are
        // outputs before the block and never read.
        const __m128 zero = _mm_setzero_ps();
        return {zero, zero, _mm_set_ps(0.0f, first, 0.0f, 0.0f)};
    }

    static broadcast spread_value(float value) { return _mm_set1_ps(value); }
    static float value_of(broadcast v) { return _mm_cvtss_f32(v); }
    static broadcast sum(broadcast p, broadcast q) { return _mm_add_ps(p, q); }

    // Lane 0, the current output. The recursions read lane 1 instead, before
    // the window advances, so that the next output reaches the products
    // without waiting for the shift.
    static broadcast current(const window& w) { return _mm_shuffle_ps(w.low, w.low, 0); }
    static broadcast successor(const window& w) { return _mm_shuffle_ps(w.low, w.low, _MM_SHUFFLE(1, 1, 1, 1)); }

    // w += c * value in every lane.
    static void add(window& w, const lanes& c, broadcast v) {
        w.low = _mm_add_ps(w.low, _mm_mul_ps(c.low, v));
        w.mid = _mm_add_ps(w.mid, _mm_mul_ps(c.mid, v));
        w.high = _mm_add_ps(w.high, _mm_mul_ps(c.high, v));
    }

    // w -= c * value in every lane.
    static void subtract(window& w, const lanes& c, broadcast v) {
        w.low = _mm_sub_ps(w.low, _mm_mul_ps(c.low, v));
        w.mid = _mm_sub_ps(w.mid, _mm_mul_ps(c.mid, v));
        w.high = _mm_sub_ps(w.high, _mm_mul_ps(c.high, v));
    }

    // w -= c * value in every lane, lane 1 taking (next - c * value) as one
    // term instead: the pole-zero filter's input enters its output's sum
    // together with the newest input term. Elsewhere w + (0 - t) equals
    // w - t bit for bit.
    static void subtract_with_next(window& w, const lanes& c, broadcast v, broadcast next) {
        const __m128 lane1 = _mm_castsi128_ps(_mm_set_epi32(0, 0, -1, 0));
        w.low = _mm_add_ps(w.low, _mm_sub_ps(_mm_and_ps(next, lane1), _mm_mul_ps(c.low, v)));
        w.mid = _mm_sub_ps(w.mid, _mm_mul_ps(c.mid, v));
        w.high = _mm_sub_ps(w.high, _mm_mul_ps(c.high, v));
    }

    // One sample on: lane j takes lane j + 1, and lane 10 starts the output
    // ten samples ahead at first.
    static void advance(window& w, float first) {
        w.low = _mm_shuffle_ps(_mm_move_ss(w.low, w.mid), _mm_move_ss(w.low, w.mid), _MM_SHUFFLE(0, 3, 2, 1));
        w.mid = _mm_shuffle_ps(_mm_move_ss(w.mid, w.high), _mm_move_ss(w.mid, w.high), _MM_SHUFFLE(0, 3, 2, 1));
        w.high = _mm_shuffle_ps(w.high, _mm_set1_ps(first), _MM_SHUFFLE(0, 0, 2, 1));
    }
};

#else

// The same lanes as plain floats, for targets without SSE2.
struct narrow {
    struct window {
        std::array<float, 12> lane;
    };

    struct lanes {
        std::array<float, 12> lane;
    };

    using broadcast = float;

    static lanes spread(const float* c) {
        lanes l{};
        for (int j = 1; j <= kLpcOrder; ++j) l.lane[j] = c[j - 1];
        return l;
    }

    static window start(float first) {
        window w{};
        w.lane[kLpcOrder] = first;
        return w;
    }

    static broadcast spread_value(float value) { return value; }
    static float value_of(broadcast v) { return v; }
    static broadcast sum(broadcast p, broadcast q) { return p + q; }
    static broadcast current(const window& w) { return w.lane[0]; }
    static broadcast successor(const window& w) { return w.lane[1]; }

    static void add(window& w, const lanes& c, broadcast value) {
        for (int j = 0; j < 12; ++j) w.lane[j] += c.lane[j] * value;
    }

    static void subtract(window& w, const lanes& c, broadcast value) {
        for (int j = 0; j < 12; ++j) w.lane[j] -= c.lane[j] * value;
    }

    static void subtract_with_next(window& w, const lanes& c, broadcast value, broadcast next) {
        for (int j = 0; j < 12; ++j)
            w.lane[j] = j == 1 ? w.lane[j] + (next - c.lane[j] * value) : w.lane[j] - c.lane[j] * value;
    }

    static void advance(window& w, float first) {
        for (int j = 0; j < 11; ++j) w.lane[j] = w.lane[j + 1];
        w.lane[kLpcOrder] = first;
    }
};

#endif

}  // namespace g723::filter_window
