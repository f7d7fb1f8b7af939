// SPDX-License-Identifier: BSD-2-Clause
// Encoder side of silence compression: the autocorrelation history, the SID
// decision and parameters, and the comfort noise that keeps the encoder's
// memories in step with a decoder.
#pragma once

#include <array>
#include <cstdint>

#include "g723/bitstream/frame_params.h"
#include "g723/silence/cng_state.h"
#include "g723/silence/vad_state.h"

namespace g723 {

using subframe_autocorrelations = std::array<std::array<float, kAcfLength>, kSubframes>;

// Pushes the sum of the four subframe autocorrelations into acf_history.
void update_cng_autocorrelation(const subframe_autocorrelations& acfs, encoder_cng_state& state);

// Codes a silence frame: returns kFrameSid or kFrameUntransmitted, writes the
// comfort-noise excitation (history points 145 samples before it), the SID
// parameters into params and the four comfort-noise filters into lpc_out,
// interpolated from previous_lsp (the encoder's quantized LSPs of the previous
// frame, which it advances). A new comfort-noise filter also becomes the voice
// detector's inverse filter while the detector is adapting; single_sid nonzero
// sends one SID frame per silence period.
int32_t encode_silence_frame(float* excitation, const float* history, frame_params& params,
                             std::array<lpc_vector, kSubframes>& lpc_out, encoder_cng_state& cng,
                             vad_state& vad, int32_t single_sid, lsp_vector& previous_lsp);

}  // namespace g723
