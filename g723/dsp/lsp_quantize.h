// SPDX-License-Identifier: BSD-2-Clause
// Predictive three-band split-vector LSP quantizer with a two-stage
// (cluster, then member) search.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

// Overwrites lsp with its prediction residual; returns the 24-bit LSP index.
int32_t lsp_quantize(lsp_vector& lsp, const lsp_vector& previous_lsp);

// Searches the three bands for the weighted residual; returns the LSP index.
int32_t lsp_vq_search(const lsp_vector& residual, const std::array<float, kLpcOrder>& weights);

}  // namespace g723
