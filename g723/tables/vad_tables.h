// SPDX-License-Identifier: BSD-2-Clause
// Threshold of the voice activity detector: the factor by which the whitened
// frame energy must exceed the noise estimate, 10^(0.7 - 0.05 (log2 N - 7)),
// approximated per octave of the noise level N by a straight line through
// its values at the octave ends.
#pragma once

#include <array>

namespace g723 {

inline constexpr int kVadThresholdRows = 7;

// Noise levels kept by the detector.
inline constexpr float kVadNoiseFloor = 128.0f;
inline constexpr float kVadNoiseCeiling = 131071.0f;

// The factor at the lowest noise level (10^0.7) and from 16384 on (10^0.35).
inline constexpr float kVadFactorAtFloor = 5.011872f;
inline constexpr float kVadFactorHighNoise = 2.2387211f;
inline constexpr float kVadHighNoise = 16384.0f;

// Row i covers 128 * 2^i < N <= 256 * 2^i.
inline constexpr std::array<float, kVadThresholdRows> vad_threshold_slopes = {
    -0.00425809715f, -0.00189751643f, -0.000845581642f, -0.000376812735f,
    -0.000167917344f, -7.48282473e-05f, -3.33453718e-05f};
inline constexpr std::array<float, kVadThresholdRows> vad_threshold_offsets = {
    5.55690861f, 4.9526f, 4.41400957f, 3.93399024f, 3.50617242f, 3.12487936f, 2.78505182f};

}  // namespace g723
