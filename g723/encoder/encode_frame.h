// SPDX-License-Identifier: BSD-2-Clause
// The encoder frame driver: input conditioning, analysis, the per-subframe
// analysis-by-synthesis searches and packing of one 30 ms frame.
#pragma once

#include <cstdint>
#include <span>

#include "g723/encoder/encoder_state.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// Codes the 240 samples at in into the 24-byte slot out.
void encode_frame(g723_encoder& encoder, std::span<const int16_t, kFrameSamples> in,
                  std::span<uint8_t, kSlotBytes> out);

// As encode_frame, and hands out the frame's synthesized speech: the signal a
// decoder reconstructs from the frame before any postfilter.
void encode_frame(g723_encoder& encoder, std::span<const int16_t, kFrameSamples> in,
                  std::span<uint8_t, kSlotBytes> out, std::span<float, kFrameSamples> synthesized);

}  // namespace g723
