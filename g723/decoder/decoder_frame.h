// SPDX-License-Identifier: BSD-2-Clause
// The decoder's frame driver: one coded frame in, 240 PCM samples out.
#pragma once

#include <cstdint>
#include <span>

#include "g723/decoder/decoder_state.h"

namespace g723 {

// Decodes, conceals or fills with comfort noise one frame. in holds the
// frame's meaningful bytes (not read when the low 16 bits of lost are
// nonzero). Returns the unpacker's result: g723_ok, g723_frame_not_supported
// or g723_frame_invalid; the 240 samples are produced in every case.
int32_t decode_frame(g723_decoder& decoder, const uint8_t* in, std::span<int16_t, kFrameSamples> out,
                     int32_t lost);

}  // namespace g723
