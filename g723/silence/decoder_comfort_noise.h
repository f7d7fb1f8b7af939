// SPDX-License-Identifier: BSD-2-Clause
// Decoder side of silence compression: comfort noise for SID frames,
// untransmitted frames and frames lost during silence.
#pragma once

#include <array>
#include <cstdint>

#include "g723/bitstream/frame_params.h"
#include "g723/silence/cng_state.h"

namespace g723 {

// frame_type is kFrameSid or kFrameUntransmitted as finally decided by the
// driver. Writes 240 comfort-noise samples at excitation (history points 145
// samples before it) and the four subframe filters; advances previous_lsp,
// the decoder's LSPs of the previous frame.
void decode_silence_frame(int32_t frame_type, frame_params& params, float* excitation,
                          const float* history, std::array<lpc_vector, kSubframes>& lpc_out,
                          decoder_cng_state& cng, lsp_vector& previous_lsp);

}  // namespace g723
