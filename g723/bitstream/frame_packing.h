// SPDX-License-Identifier: BSD-2-Clause
// Packing frame_params into the G.723.1 bit layout and unpacking them again.
#pragma once

#include <cstdint>
#include <span>

#include "g723/bitstream/frame_params.h"

namespace g723 {

struct unpacked_frame {
    int32_t frame_type;  // kFrameUntransmitted, kFrameSpeech or kFrameSid
    int32_t result;      // g723_ok, g723_frame_not_supported or g723_frame_invalid
};

// Clears the 24-byte slot, then writes the header code and the fields of
// frame_type.
void pack_frame(const frame_params& params, std::span<uint8_t, kSlotBytes> out,
                int32_t frame_type, int32_t comp_rate);

// Reads the frame at in (its meaningful bytes only; nothing when lost is
// nonzero in its low 16 bits). A refused frame gets params.lost = 1.
unpacked_frame unpack_frame(frame_params& params, const uint8_t* in, int32_t lost,
                            int32_t comp_rate);

}  // namespace g723
