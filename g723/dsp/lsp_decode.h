// SPDX-License-Identifier: BSD-2-Clause
// LSP inverse quantization, per-subframe interpolation and LSP-to-LPC
// conversion, shared by the decoder and the encoder.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

// Decodes a 24-bit LSP index against the previous frame's vector; lost
// nonzero: the frame is concealed (all-zero residual, stronger prediction).
lsp_vector lsp_inverse_quantize(int32_t lsp_index, const lsp_vector& previous_lsp, int32_t lost);

// Four subframe filters interpolated from previous_lsp to new_lsp; then
// previous_lsp = new_lsp.
void lsp_interpolate(std::array<lpc_vector, kSubframes>& lpc_out, const lsp_vector& new_lsp,
                     lsp_vector& previous_lsp);

// Converts one LSP vector into the LPC vector of the same filter.
lpc_vector lsp_to_lpc(const lsp_vector& lsp);

}  // namespace g723
