// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/fixed_codebook_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "g723/dsp/dot_product.h"
#include "g723/dsp/even_lag_correlations.h"
#include "g723/dsp/first_largest.h"
#include "g723/tables/pulse_tables.h"

namespace g723 {

namespace {

constexpr int N = kSubframeSamples;
static_assert(kGridPositions <= kFirstLargestValues);

}  // namespace

void search_pulses(pulse_search_result& result, std::span<const float, N> x,
                   std::span<const float, N> h, int np) {
    // Correlation of the target with h placed at each even position, and the
    // even-lag autocorrelation of h (all pulses share one parity).
    std::array<float, kGridPositions> d;
    std::array<float, kGridPositions> r;
    even_lag_correlations(d, x.data(), h.data());
    even_lag_correlations(r, h.data(), h.data());

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
                std::array<float, kFirstLargestValues> magnitude;
                for (int t = 0; t < kGridPositions; ++t) {
                    corr[t] -= a * r_slice[t];
                    magnitude[t] = std::fabs(corr[t]) + excluded[t];
                }
                for (int t = kGridPositions; t < kFirstLargestValues; ++t) magnitude[t] = -1.0f;
                k = first_largest(magnitude, kGridPositions - 1);
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
