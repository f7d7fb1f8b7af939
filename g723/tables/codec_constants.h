// SPDX-License-Identifier: BSD-2-Clause
// Frame geometry and the vector types shared by every part of the codec.
#pragma once

#include <array>
#include <cstdint>

namespace g723 {

inline constexpr int kFrameSamples = 240;     // 30 ms at 8 kHz
inline constexpr int kSubframeSamples = 60;   // four subframes per frame
inline constexpr int kSubframes = 4;
inline constexpr int kLpcOrder = 10;
inline constexpr int kSlotBytes = 24;         // every coded frame travels in one slot

// Multi-frame signal buffers: past samples, then four frame slots.
inline constexpr int kExcitationPast = 145;   // largest decoded lag 143 plus two taps
inline constexpr int kWeightedPast = 147;     // the comb reaches lag 147 before subframe 0
inline constexpr int kInputPast = 120;
inline constexpr int kSlotsPerBuffer = 4;
inline constexpr int kExcitationBufferSize = kExcitationPast + kSlotsPerBuffer * kFrameSamples;  // 1105
inline constexpr int kWeightedBufferSize = kWeightedPast + kSlotsPerBuffer * kFrameSamples;      // 1107
inline constexpr int kInputBufferSize = kInputPast + kSlotsPerBuffer * kFrameSamples;            // 1080

// Frame-local filter arrays: ten past values in time order, then the frame.
inline constexpr int kFilterArraySize = kLpcOrder + kFrameSamples;  // 250

// Line spectral frequencies w0..w9, ascending, in units where 256.0 is pi.
using lsp_vector = std::array<float, kLpcOrder>;
// Predictor coefficients a1..a10 of A(z) = 1 - sum a_i z^-i (index 0 holds a1).
using lpc_vector = std::array<float, kLpcOrder>;

// frame_type values (the header code in the bit-stream is numbered otherwise).
inline constexpr int32_t kFrameUntransmitted = 0;
inline constexpr int32_t kFrameSpeech = 1;
inline constexpr int32_t kFrameSid = 2;

}  // namespace g723
