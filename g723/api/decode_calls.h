// SPDX-License-Identifier: BSD-2-Clause
// Helpers of the decoder's packet call.
#pragma once

#include <cstdint>

namespace g723 {

// The whole slots of an in_length-byte packet that one packet call decodes.
// The call reports its samples in a 32-bit count, 240 per frame, so it takes
// at most as many frames as that count can hold (8,947,848, some 74 hours);
// the bytes it leaves are reported as not consumed, for a further call.
int32_t packet_frames(int32_t in_length, int32_t slot_bytes);

}  // namespace g723
