// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/fixed_vector.h"

#include <algorithm>
#include <array>

#include "g723/tables/pulse_tables.h"

namespace g723 {

void repeat_pulse_train(std::span<const float, kSubframeSamples> in,
                        std::span<float, kSubframeSamples> out, int32_t lag) {
    std::array<float, kSubframeSamples> pulses;
    std::copy(in.begin(), in.end(), pulses.begin());
    std::copy(pulses.begin(), pulses.end(), out.begin());
    if (lag < 1) return;  // no period to repeat at
    for (int32_t p = lag; p < kSubframeSamples; p += lag)
        for (int n = p; n < kSubframeSamples; ++n) out[n] += pulses[n - p];
}

void decode_fixed_vector(std::span<float, kSubframeSamples> out, const subframe_params& params,
                         int32_t open_loop_lag, int subframe) {
    std::fill(out.begin(), out.end(), 0.0f);
    const int32_t pulses = pulse_count_table[subframe];
    // A position code outside the codebook (only a corrupted frame carries
    // one) neutralizes the fixed contribution rather than placing pulses at
    // arbitrary positions.
    if (params.positions < 0 || params.positions >= max_position_table[subframe]) return;

    const float amplitude = fixed_gain_table[params.fixed_gain_index];
    const int grid = params.grid & 1;

    // Enumerative decoding of the position code: walking the grid, a
    // position holds a pulse when the code is below the number of ways to
    // place the remaining pulses after it.
    int32_t code = params.positions;
    int row = 6 - pulses;
    int placed = 0;
    for (int j = 0; j < kGridPositions && row < 6; ++j) {
        const int32_t ways = combinatorial_table[row][j];
        if (code < ways) {
            // The lowest position takes the most significant sign bit.
            const bool negative = ((params.signs >> (pulses - 1 - placed)) & 1) != 0;
            out[grid + 2 * j] = negative ? -amplitude : amplitude;
            ++row;
            ++placed;
        } else {
            code -= ways;
        }
    }

    if (params.pulse_train == 1) repeat_pulse_train(out, out, open_loop_lag);
}

}  // namespace g723
