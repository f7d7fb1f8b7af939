// SPDX-License-Identifier: BSD-2-Clause
// MP-MLQ fixed-codebook tables: pulse counts, position-code bounds, the
// binomial coefficients of the position code, and the gain levels.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

inline constexpr int kGridPositions = 30;  // pulse positions of one parity in a subframe
inline constexpr int kFixedGainLevels = 24;

extern const std::array<int32_t, kSubframes> pulse_count_table;   // 6, 5, 6, 5
extern const std::array<int32_t, kSubframes> max_position_table;  // binom(30, pulses)
// Row r, column i: binom(29 - i, 5 - r), 0 where 29 - i < 5 - r.
extern const std::array<std::array<int32_t, kGridPositions>, 6> combinatorial_table;
extern const std::array<float, kFixedGainLevels> fixed_gain_table;

}  // namespace g723
