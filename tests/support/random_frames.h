// SPDX-License-Identifier: BSD-2-Clause
// Coded frames with random but in-range parameters, for decoder tests and
// benchmarks: every field lies where a 6.3 kbit/s frame may put it.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "g723/bitstream/frame_packing.h"
#include "g723/tables/acb_gain_tables.h"
#include "g723/tables/pulse_tables.h"

namespace g723::testing {

using coded_slot = std::array<uint8_t, kSlotBytes>;

// max_fixed_gain keeps the pulse amplitudes moderate, so that a long stream
// of random frames stays within a speech-like range.
inline frame_params random_speech_params(std::mt19937& rng, int32_t max_fixed_gain = 23) {
    auto pick = [&rng](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    frame_params p{};
    p.lsp_index = pick(0, 0xffffff);
    for (int h = 0; h < 2; ++h) p.open_loop_lag[h] = pick(18, 141);
    for (int k = 0; k < kSubframes; ++k) {
        subframe_params& s = p.subframes[k];
        const int32_t lag = p.open_loop_lag[k / 2];
        const bool short_lag = lag < kAcbLongLagThreshold;
        s.lag_offset = k % 2 == 0 ? 1 : pick(0, 3);
        s.acb_gain_index = pick(0, short_lag ? kAcbGainRows85 - 1 : kAcbGainRows170 - 1);
        s.fixed_gain_index = pick(0, max_fixed_gain);
        s.grid = pick(0, 1);
        s.pulse_train = short_lag ? pick(0, 1) : 0;
        s.signs = pick(0, (1 << pulse_count_table[k]) - 1);
        s.positions = pick(0, max_position_table[k] - 1);
    }
    return p;
}

inline coded_slot pack(const frame_params& params, int32_t frame_type = kFrameSpeech) {
    coded_slot slot{};
    pack_frame(params, slot, frame_type, 0);
    return slot;
}

}  // namespace g723::testing
