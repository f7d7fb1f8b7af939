// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lpc_to_lsp.h"

#include <array>
#include <cmath>

namespace g723 {

namespace {

// Bandwidth expansion of the filter before the root search: pole radii are
// pulled in by 0.994 so that close roots stay in separate grid intervals.
constexpr float kBandwidthExpansion = 0.994f;
// The grid of 127 frequencies j * pi / 128 (2 LSP units apart), walked by
// rotating (cos, sin) by the grid step, each step rounded to single precision.
constexpr int kGridPoints = 127;
constexpr float kGridCos = 0.99969881772995f;
constexpr float kGridSin = 0.024541229f;
constexpr float kGridStep = 2.0f;  // LSP units between grid points

// The grid's points as cosines of one to five times their angle, each
// derived from the walked (cos, sin) as the angle-addition formulas give
// them, in single precision: made once, when compiling, by the same
// operations in the same order as at run time, so the values are those the
// walk would give (no fused multiply-add in either).
struct lsp_grid {
    // Point j + 1 at index j; one more entry so that the evaluation runs
    // over whole vectors.
    std::array<float, kGridPoints + 1> cos1{}, cos2{}, cos3{}, cos4{}, cos5{};
};

constexpr lsp_grid make_lsp_grid() {
    lsp_grid g;
    float c = kGridCos;
    float s = kGridSin;
    for (int j = 0; j < kGridPoints; ++j) {
        const float c2 = c * c - s * s;
        const float s2 = 2.0f * s * c;
        const float c3 = c2 * c - s2 * s;
        const float s3 = c2 * s + s2 * c;
        const float c4 = c3 * c - s3 * s;
        const float s4 = c3 * s + s3 * c;
        g.cos1[j] = c;
        g.cos2[j] = c2;
        g.cos3[j] = c3;
        g.cos4[j] = c4;
        g.cos5[j] = c4 * c - s4 * s;
        const float next_c = c * kGridCos - s * kGridSin;
        const float next_s = s * kGridCos + c * kGridSin;
        c = next_c;
        s = next_s;
    }
    return g;
}

constexpr lsp_grid kLspGrid = make_lsp_grid();

// F at every grid point: cos 5t + F1 cos 4t + F2 cos 3t + F3 cos 2t +
// F4 cos t + F5, the points independent of one another (vector lanes).
void evaluate_on_grid(const lsp_polynomial& f, std::array<float, kGridPoints + 1>& value) {
    const lsp_grid& g = kLspGrid;
    for (int j = 0; j < kGridPoints + 1; ++j)
        value[j] = ((((g.cos5[j] + f[1] * g.cos4[j]) + f[2] * g.cos3[j]) + f[3] * g.cos2[j]) + f[4] * g.cos1[j]) +
                   f[5];
}

float sum_of_coefficients(const lsp_polynomial& f) {
    return ((((f[0] + f[1]) + f[2]) + f[3]) + f[4]) + f[5];
}

}  // namespace

int find_lsp_roots(const lsp_polynomial& p, const lsp_polynomial& q, lsp_vector& out) {
    std::array<float, kGridPoints + 1> values[2];
    evaluate_on_grid(p, values[0]);
    evaluate_on_grid(q, values[1]);
    int current = 0;
    int found = 0;
    float previous = sum_of_coefficients(p);  // the value at angle 0
    for (int j = 1; j <= kGridPoints; ++j) {
        const float value = values[current][j - 1];
        if (value * previous < 0.0f) {
            // Linear interpolation between the two grid points.
            const float a = std::fabs(previous);
            const float b = std::fabs(value);
            out[found] = kGridStep * static_cast<float>(j - 1) + kGridStep * a / (a + b);
            if (++found == kLpcOrder) break;
            // Roots of P and Q interlace: look for the next one in the other.
            current ^= 1;
            previous = values[current][j - 1];
        } else {
            previous = value;
        }
    }
    return found;
}

lsp_vector lpc_to_lsp(const lpc_vector& a, const lsp_vector& previous_lsp) {
    lpc_vector expanded;
    float gamma = kBandwidthExpansion;
    for (int i = 0; i < kLpcOrder; ++i) {
        expanded[i] = a[i] * gamma;
        gamma = gamma * kBandwidthExpansion;
    }
    // Sum and difference polynomials with the trivial roots at z = -1 and
    // z = 1 removed; both are symmetric, so six coefficients describe each.
    lsp_polynomial p;
    lsp_polynomial q;
    p[0] = 1.0f;
    q[0] = 1.0f;
    for (int k = 0; k < 5; ++k) {
        p[k + 1] = -((p[k] + expanded[k]) + expanded[kLpcOrder - 1 - k]);
        q[k + 1] = (q[k] - expanded[k]) + expanded[kLpcOrder - 1 - k];
    }
    p[5] = p[5] * 0.5f;
    q[5] = q[5] * 0.5f;

    lsp_vector lsp;
    if (find_lsp_roots(p, q, lsp) == kLpcOrder) return lsp;
    // Roots lost on the grid (two in one interval): keep the previous frame's
    // quantized vector rather than an incomplete one.
    return previous_lsp;
}

}  // namespace g723
