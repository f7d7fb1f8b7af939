// SPDX-License-Identifier: BSD-2-Clause
// SID gain coding: the scale of the averaged residual energy and the three
// segments of the 6-bit level quantizer (16, 16 and 32 levels in steps of 2, 4
// and 8), shared by the encoder's SID decision and the decoder's comfort noise.
#pragma once

#include <array>
#include <cstdint>

namespace g723 {

// Indexed by the number of residual energies summed (0: a single stored
// excitation energy of 120 samples, scaled and kept by the caller).
inline constexpr std::array<float, 4> sid_gain_scale = {
    0.008331298828125f,       // 273 / 32768
    0.001903533935546875f,    // 998 / 524288
    0.0009517669677734375f,   // 499 / 524288
    0.0006351470947265625f};  // 333 / 524288

inline constexpr std::array<int16_t, 3> sid_gain_segment_base = {0, 32, 96};

// A scaled energy at or above entry s belongs to segment s + 1; at or above
// the last one the top index is taken at once.
inline constexpr std::array<int32_t, 3> sid_gain_thresholds = {1024, 9216, 121120};

inline constexpr int32_t kSidGainIndexMax = 63;
inline constexpr int32_t kSidGainSegmentSize = 16;

}  // namespace g723
