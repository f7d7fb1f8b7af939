// SPDX-License-Identifier: BSD-2-Clause
// Tone flags of the LPC analysis, kept in the encoder's 16-bit tone_history
// for the voice activity detector: one flag per analysed subframe, newest in
// bit 0, and the tone decision in bit 15.
#pragma once

#include <bit>
#include <cstdint>

namespace g723 {

// A second reflection coefficient below -0.95 means one strong spectral peak
// dominates the subframe. Exactly -0.95f does not count; the -1.0 that the
// recursion reports on failure does.
inline int16_t push_tone_flag(int16_t history, float k2) {
    uint16_t h = static_cast<uint16_t>(static_cast<uint16_t>(history) << 1);
    if (k2 < -0.95f) h |= 1u;
    return static_cast<int16_t>(h);
}

// Bit 15 is set when at least 14 of the 15 newest flags (bits 0..14) are set,
// and cleared otherwise.
inline int16_t decide_tone(int16_t history) {
    constexpr uint16_t kDecisionBit = 0x8000u;
    constexpr int kFlagsNeeded = 14;
    uint16_t h = static_cast<uint16_t>(static_cast<uint16_t>(history) & ~kDecisionBit);
    if (std::popcount(h) >= kFlagsNeeded) h |= kDecisionBit;
    return static_cast<int16_t>(h);
}

}  // namespace g723
