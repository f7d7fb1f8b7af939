// SPDX-License-Identifier: BSD-2-Clause
// LPC-to-LSP conversion by a grid search for the zeros of the sum and
// difference polynomials.
#pragma once

#include <array>

#include "g723/tables/codec_constants.h"

namespace g723 {

// Coefficients 0..5 of one symmetric LSP polynomial (coefficient 5 halved).
using lsp_polynomial = std::array<float, 6>;

// Roots alternate between p and q, starting with p; returns how many were
// found (0..10).
int find_lsp_roots(const lsp_polynomial& p, const lsp_polynomial& q, lsp_vector& out);

// The LSPs of the bandwidth-expanded filter, or previous_lsp when fewer than
// ten roots are found.
lsp_vector lpc_to_lsp(const lpc_vector& a, const lsp_vector& previous_lsp);

}  // namespace g723
