// SPDX-License-Identifier: BSD-2-Clause
// The quantized parameters of one coded frame, as the encoder's searches
// write them and the decoder reads them.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

struct subframe_params {
    int32_t lag_offset;        // lag = open_loop_lag of the half frame + lag_offset - 1
    int32_t acb_gain_index;    // transmitted index into the 85- or 170-row gain codebook
    int32_t fixed_gain_index;  // index into fixed_gain_table; SID gain index in subframe 0 of a SID
    int32_t grid;              // pulses on even (0) or odd (1) samples
    int32_t pulse_train;       // 1: fixed excitation repeated at the open-loop lag
    int32_t signs;             // pulse signs, lowest position in the most significant bit
    int32_t positions;         // combinatorial index of the pulse positions
};

struct frame_params {
    int32_t lost;                                  // nonzero: conceal this frame
    int32_t lsp_index;                             // band 0 in bits 16-23, band 1 in 8-15, band 2 in 0-7
    std::array<int32_t, 2> open_loop_lag;          // coded lag of each half frame, 18..141
    std::array<subframe_params, kSubframes> subframes;
};

}  // namespace g723
