// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/fixed_codebook_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "g723/dsp/dot_product.h"
#include "g723/tables/pulse_tables.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace g723 {

namespace {

constexpr int N = kSubframeSamples;
constexpr int kPaddedPositions = 32;  // the grid rounded up to whole vectors

#ifdef __SSE2__
// Even-lag correlations out[k] = dot_product(a + 2k, h, 60 - 2k) for k =
// 0..29, bit for bit, four k at a time in vector lanes: group g holds k =
// 4g - 1 .. 4g + 2 (k = -1 and 30 are spare lanes). Every lane of a group
// has 7 - g whole blocks of eight, summed into its own eight partial sums,
// and a tail of 6, 4, 2 or 0 terms; the combining order is dot_product's.
// The lanes' samples a[2k + i] are adjacent in the even and odd halves of
// a (shifted by two so that k = -1 reads zeros); h[i] is broadcast. A lane
// past its tail adds +0 to a sum that started at +0, which leaves it as is.
// h holds h[0] .. h[59] broadcast, then two zero vectors.
void correlate_even_lags(std::array<float, kGridPositions>& out, const float* a, const __m128* h) {
    static_assert(N == 60 && kGridPositions == 30, "the grouping assumes 60-sample subframes");
    constexpr int kGroups = (kGridPositions + 2) / 4;
    constexpr int kHalf = 36;
    std::array<float, kHalf> even{};
    std::array<float, kHalf> odd{};
    for (int q = 0; q < N / 2; ++q) {
        even[q + 1] = a[2 * q];
        odd[q + 1] = a[2 * q + 1];
    }
    for (int g = 0; g < kGroups; ++g) {
        const int block_end = 8 * (7 - g);
        __m128 acc[8];
        for (__m128& s : acc) s = _mm_setzero_ps();
        for (int i = 0; i < block_end; i += 8) {
            const float* e = even.data() + 4 * g + i / 2;
            const float* o = odd.data() + 4 * g + i / 2;
            for (int l = 0; l < 8; l += 2) {
                acc[l] = _mm_add_ps(acc[l], _mm_mul_ps(_mm_loadu_ps(e + l / 2), h[i + l]));
                acc[l + 1] = _mm_add_ps(acc[l + 1], _mm_mul_ps(_mm_loadu_ps(o + l / 2), h[i + l + 1]));
            }
        }
        __m128 tail = _mm_setzero_ps();
        for (int t = 0; t < 6; ++t) {
            const int i = block_end + t;
            const int q = 4 * g + i / 2;
            const __m128 lanes = _mm_loadu_ps((i % 2 == 0 ? even : odd).data() + q);
            // Lane j has 6 - 2j tail terms.
            const __m128i keep = _mm_cmpgt_epi32(_mm_set_epi32(0, 2, 4, 6), _mm_set1_epi32(t));
            tail = _mm_add_ps(tail, _mm_and_ps(_mm_mul_ps(lanes, h[i]), _mm_castsi128_ps(keep)));
        }
        const __m128 low = _mm_add_ps(_mm_add_ps(acc[0], acc[1]), _mm_add_ps(acc[2], acc[3]));
        const __m128 high = _mm_add_ps(_mm_add_ps(acc[4], acc[5]), _mm_add_ps(acc[6], acc[7]));
        std::array<float, 4> sums;
        _mm_storeu_ps(sums.data(), _mm_add_ps(_mm_add_ps(low, high), tail));
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * g - 1 + j;
            if (k >= 0 && k < kGridPositions) out[k] = sums[j];
        }
    }
}
#endif

}  // namespace

void search_pulses(pulse_search_result& result, std::span<const float, N> x,
                   std::span<const float, N> h, int np) {
    // Correlation of the target with h placed at each even position, and the
    // even-lag autocorrelation of h (all pulses share one parity).
    std::array<float, kGridPositions> d;
    std::array<float, kGridPositions> r;
#ifdef __SSE2__
    __m128 h_broadcast[N + 2];
    for (int i = 0; i < N; ++i) h_broadcast[i] = _mm_set1_ps(h[i]);
    h_broadcast[N] = h_broadcast[N + 1] = _mm_setzero_ps();
    correlate_even_lags(d, x.data(), h_broadcast);
    correlate_even_lags(r, h.data(), h_broadcast);
#else
    for (int k = 0; k < kGridPositions; ++k) {
        const int t = 2 * k;
        d[k] = dot_product(x.data() + t, h.data(), N - t);
        r[k] = dot_product(h.data() + t, h.data(), N - t);
    }
#endif

    // First pulse: the largest |d|, the last of equal magnitudes.
    float dmax = -1.0f;
    int first = 0;
    for (int k = 0; k < kGridPositions; ++k) {
        const float magnitude = std::fabs(d[k]);
        if (magnitude >= dmax) {
            dmax = magnitude;
            first = k;
        }
    }

    // Amplitude estimate dmax / r[0], found without dividing: the closest
    // level among 1..22 (ties to the larger), then the level at or below.
    int q = 22;
    float closest = std::fabs(dmax - fixed_gain_table[q] * r[0]);
    for (int i = 21; i >= 1; --i) {
        const float distance = std::fabs(dmax - fixed_gain_table[i] * r[0]);
        if (distance < closest) {
            closest = distance;
            q = i;
        }
    }
    if (fixed_gain_table[q] * r[0] > dmax) --q;

    // r by signed grid distance: r_by_distance[kGridPositions - 1 + t - p]
    // is r[|t - p|], so one pulse's correction is a contiguous slice.
    std::array<float, 2 * kGridPositions - 1> r_by_distance;
    for (int k = 0; k < kGridPositions; ++k) {
        r_by_distance[kGridPositions - 1 + k] = r[k];
        r_by_distance[kGridPositions - 1 - k] = r[k];
    }

    for (int g = q; g <= q + 1; ++g) {
        const float amplitude = fixed_gain_table[g];
        std::array<float, kGridPositions> corr = d;
        // Taken positions are excluded by a magnitude below every real one.
        std::array<float, kGridPositions> excluded{};
        std::array<float, N> synthetic{};
        std::array<int32_t, kMaxPulses> positions{};
        std::array<float, kMaxPulses> amplitudes{};

        int k = first;
        for (int i = 0; i < np; ++i) {
            if (i > 0) {
                // Remove the previous pulse's contribution from the
                // correlations (those of taken positions are never read
                // again), then take the largest magnitude among the free
                // positions, the first of equal magnitudes.
                const float a = amplitudes[i - 1];
                const float* r_slice = &r_by_distance[kGridPositions - 1 - positions[i - 1] / 2];
                std::array<float, kPaddedPositions> magnitude;
                for (int t = 0; t < kGridPositions; ++t) {
                    corr[t] -= a * r_slice[t];
                    magnitude[t] = std::fabs(corr[t]) + excluded[t];
                }
                for (int t = kGridPositions; t < kPaddedPositions; ++t) magnitude[t] = -1.0f;
                // The maximum in four interleaved lanes (exact in any order).
                std::array<float, 4> lanes = {-1.0f, -1.0f, -1.0f, -1.0f};
                for (int t = 0; t < kPaddedPositions; t += 4)
                    for (int l = 0; l < 4; ++l) lanes[l] = std::max(lanes[l], magnitude[t + l]);
                const float best = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
                k = 0;
                while (k < kGridPositions - 1 && magnitude[k] != best) ++k;
            }
            const bool negative = corr[k] < 0.0f;
            const int position = 2 * k;
            positions[i] = position;
            amplitudes[i] = negative ? -amplitude : amplitude;
            excluded[k] = -std::numeric_limits<float>::infinity();
            if (negative)
                for (int m = 0; m < N - position; ++m) synthetic[position + m] -= h[m];
            else
                for (int m = 0; m < N - position; ++m) synthetic[position + m] += h[m];
        }

        // ||x - A S||^2 - ||x||^2, with the correlations of the preparation.
        float c = 0.0f;
        for (int i = 0; i < np; ++i) c += d[positions[i] / 2] * amplitudes[i];
        const float error = amplitude * amplitude * energy(synthetic.data(), N) - 2.0f * c;
        if (error < result.error) {
            result.error = error;
            result.grid = 0;
            result.gain_index = g;
            result.pulse_train = 0;
            result.positions = positions;
            result.amplitudes = amplitudes;
        }
    }
}

void encode_pulse_positions(std::span<const float, N> excitation, subframe_params& sub,
                            const pulse_search_result& result, int np) {
    int row = 6 - np;
    int32_t positions = 0;
    int32_t signs = 0;
    for (int k = 0; k < kGridPositions && row < 6; ++k) {
        const float sample = excitation[2 * k + result.grid];
        if (sample == 0.0f) {
            positions += combinatorial_table[row][k];
        } else {
            signs = 2 * signs + (sample < 0.0f ? 1 : 0);
            ++row;
        }
    }
    sub.positions = positions;
    sub.signs = signs;
    sub.fixed_gain_index = result.gain_index;
    sub.grid = result.grid;
    sub.pulse_train = result.pulse_train;
}

void search_fixed_codebook(std::span<float, N> x, std::span<const float, N> h, frame_params& params,
                           int j) {
    const int np = pulse_count_table[j];
    pulse_search_result result{};
    result.error = std::numeric_limits<float>::max();
    search_pulses(result, x, h, np);

    for (float& sample : x) sample = 0.0f;
    for (int i = 0; i < np; ++i) x[result.positions[i]] = result.amplitudes[i];
    encode_pulse_positions(x, params.subframes[j], result, np);
}

}  // namespace g723
