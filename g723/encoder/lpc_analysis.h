// SPDX-License-Identifier: BSD-2-Clause
// Windowed-autocorrelation LPC analysis of the four subframes of a frame.
#pragma once

#include <array>

#include "g723/encoder/encoder_state.h"
#include "g723/tables/codec_constants.h"

namespace g723 {

// x points 120 samples before the newest input slot; reads x[0] .. x[359].
// Writes the four unquantized subframe filters, updates tone_history and,
// with vad_mode 1, the comfort-noise autocorrelation history.
void analyze_lpc(std::array<lpc_vector, kSubframes>& lpc_out, const float* x, g723_encoder& encoder);

}  // namespace g723
