// SPDX-License-Identifier: BSD-2-Clause
// MP-MLQ fixed-codebook search: 6 or 5 signed pulses of one amplitude on the
// even grid, placed one at a time for two candidate amplitudes.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "g723/bitstream/frame_params.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

inline constexpr int kMaxPulses = 6;

// The best pulse set found so far.
struct pulse_search_result {
    float error;  // weighted error minus the target energy
    int32_t grid;
    int32_t gain_index;
    int32_t pulse_train;
    std::array<int32_t, kMaxPulses> positions;  // in the order the pulses were found
    std::array<float, kMaxPulses> amplitudes;   // +A or -A
};

// Runs the two amplitude passes for np pulses against target x and impulse
// response h; a pass replaces result only with a strictly smaller error.
void search_pulses(pulse_search_result& result, std::span<const float, kSubframeSamples> x,
                   std::span<const float, kSubframeSamples> h, int np);

// Writes signs and positions of the np pulses in excitation (on the even
// grid), and the result's gain index, grid and pulse_train, into sub.
void encode_pulse_positions(std::span<const float, kSubframeSamples> excitation,
                            subframe_params& sub, const pulse_search_result& result, int np);

// Searches subframe j (0..3): x holds the target after the adaptive codebook
// and receives the fixed excitation; the subframe's fixed-codebook fields of
// params are written.
void search_fixed_codebook(std::span<float, kSubframeSamples> x,
                           std::span<const float, kSubframeSamples> h, frame_params& params, int j);

}  // namespace g723
