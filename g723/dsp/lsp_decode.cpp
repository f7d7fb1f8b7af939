// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lsp_decode.h"

#include <cmath>

#include "g723/tables/cosine_table.h"
#include "g723/tables/lsp_tables.h"

namespace g723 {
namespace {

// Prediction from the previous frame and the minimum spacing of adjacent
// lines: a received frame trusts its residual, a concealed frame leans harder
// on the past and keeps the lines further apart (a smoother, safer filter).
constexpr float kReceivedPrediction = 0.375f;
constexpr float kReceivedMinDistance = 2.0f;
constexpr float kLostPrediction = 0.71875f;
constexpr float kLostMinDistance = 4.0f;

constexpr float kLowestLine = 3.0f;
constexpr float kHighestLine = 252.0f;
constexpr float kSpacingTolerance = 0.03125f;
constexpr int kMaxStabilityPasses = 10;

// Linear interpolation in the one-period cosine table. A garbled index can
// leave a line outside 0 .. 511 after the last stability pass; the segment
// index is then held at the table's ends so the lookup never leaves it (the
// value is extrapolated from the end segment, still finite).
float lsp_cosine(float line) {
    const float whole = std::trunc(line);
    int k;
    if (!(whole >= 0.0f))
        k = 0;
    else if (whole > static_cast<float>(kCosineTableSize - 2))
        k = kCosineTableSize - 2;
    else
        k = static_cast<int>(whole);
    const float kf = static_cast<float>(k);
    return (line - kf) * cosine_table[k + 1] + ((kf + 1.0f) - line) * cosine_table[k];
}

// Coefficients 0..5 of the product of the five factors (1 + q z^-1 + z^-2)
// of each of L lanes, from the lane's middle coefficients q[0][l] ..
// q[4][l]; the product is symmetric, so the upper half is not kept. The
// lanes run side by side (each lane exactly the operations of one product
// alone), so that several filters' products cost about one's time.
template <int L>
using lanes = std::array<float, L>;

template <int L>
std::array<lanes<L>, 6> symmetric_products(const std::array<lanes<L>, 5>& q) {
    std::array<lanes<L>, 6> f{};
    for (int l = 0; l < L; ++l) {
        f[0][l] = 1.0f;
        f[1][l] = q[0][l] + q[1][l];
        f[2][l] = q[0][l] * q[1][l] + 2.0f;
    }
    for (int m = 2; m <= 4; ++m) {
        for (int l = 0; l < L; ++l) f[m + 1][l] = q[m][l] * f[m][l] + 2.0f * f[m - 1][l];
        for (int k = m; k >= 2; --k)
            for (int l = 0; l < L; ++l) f[k][l] = f[k][l] + q[m][l] * f[k - 1][l] + f[k - 2][l];
        for (int l = 0; l < L; ++l) f[1][l] = f[1][l] + q[m][l];
    }
    return f;
}

// The LPC filters of F filters' lines at once: lanes 2j and 2j + 1 hold
// filter j's products of its even and odd lines.
template <int F>
void lsp_to_lpc_lanes(const lsp_vector* const* lsp, lpc_vector* const* out) {
    constexpr int L = 2 * F;
    // q_i = -2 cos(w_i): the middle coefficient of each second-order factor.
    std::array<lanes<L>, 5> q;
    for (int j = 0; j < F; ++j)
        for (int m = 0; m < 5; ++m) {
            q[m][2 * j] = -2.0f * lsp_cosine((*lsp[j])[2 * m]);
            q[m][2 * j + 1] = -2.0f * lsp_cosine((*lsp[j])[2 * m + 1]);
        }
    const std::array<lanes<L>, 6> f = symmetric_products<L>(q);
    // P(z) = (1 + z^-1) F1(z) from the even lines, Q(z) = (1 - z^-1) F2(z)
    // from the odd lines; A(z) = (P(z) + Q(z)) / 2, stored negated.
    for (int j = 0; j < F; ++j) {
        lpc_vector& a = *out[j];
        const int e = 2 * j;
        const int o = 2 * j + 1;
        for (int k = 0; k < 5; ++k) {
            a[k] = -0.5f * (f[k + 1][e] + f[k][e] + f[k + 1][o] - f[k][o]);
            a[kLpcOrder - 1 - k] = -0.5f * (f[k + 1][e] + f[k][e] - f[k + 1][o] + f[k][o]);
        }
    }
}

}  // namespace

lsp_vector lsp_inverse_quantize(int32_t lsp_index, const lsp_vector& previous_lsp, int32_t lost) {
    float prediction = kReceivedPrediction;
    float min_distance = kReceivedMinDistance;
    uint32_t index = static_cast<uint32_t>(lsp_index);
    if (lost != 0) {
        index = 0;  // every band takes its all-zero residual
        prediction = kLostPrediction;
        min_distance = kLostMinDistance;
    }

    // The residual of each band, band 2 in the lowest byte of the index.
    lsp_vector lsp{};
    for (int band = kLspBands - 1; band >= 0; --band) {
        const int transmitted = static_cast<int>(index & 0xffu);
        index >>= 8;
        const int row = lsp_index_to_row[band][transmitted];
        const lsp_band layout = lsp_band_layout[band];
        const float* values = lsp_band_codebooks[band] + row * layout.dimension;
        for (int j = 0; j < layout.dimension; ++j) lsp[layout.first + j] = values[j];
    }

    for (int i = 0; i < kLpcOrder; ++i)
        lsp[i] = lsp[i] + prediction * (previous_lsp[i] - lsp_dc_vector[i]) + lsp_dc_vector[i];

    // Push the lines into ascending order with the minimum spacing, so that
    // the synthesis filter stays stable; an index that cannot be repaired
    // within the passes is used as it stands.
    for (int pass = 0; pass < kMaxStabilityPasses; ++pass) {
        if (lsp[0] < kLowestLine) lsp[0] = kLowestLine;
        if (lsp[kLpcOrder - 1] > kHighestLine) lsp[kLpcOrder - 1] = kHighestLine;
        for (int j = 0; j < kLpcOrder - 1; ++j) {
            const float overlap = lsp[j] - lsp[j + 1] + min_distance;
            if (overlap > 0.0f) {
                lsp[j] -= overlap * 0.5f;
                lsp[j + 1] += overlap * 0.5f;
            }
        }
        bool spaced = true;
        for (int j = 1; j < kLpcOrder; ++j)
            if (!(lsp[j] - lsp[j - 1] >= min_distance - kSpacingTolerance)) spaced = false;
        if (spaced) break;
    }
    return lsp;
}

void lsp_interpolate(std::array<lpc_vector, kSubframes>& lpc_out, const lsp_vector& new_lsp,
                     lsp_vector& previous_lsp) {
    std::array<lsp_vector, kSubframes> lsp;
    const lsp_vector* lines[kSubframes];
    lpc_vector* filters[kSubframes];
    for (int s = 0; s < kSubframes; ++s) {
        // Weight of the previous frame's lines: 0.75, 0.5, 0.25, 0.
        const float w = static_cast<float>(kSubframes - 1 - s) * 0.25f;
        const float w_new = 1.0f - w;
        for (int i = 0; i < kLpcOrder; ++i) lsp[s][i] = w * previous_lsp[i] + w_new * new_lsp[i];
        lines[s] = &lsp[s];
        filters[s] = &lpc_out[s];
    }
    lsp_to_lpc_lanes<kSubframes>(lines, filters);
    previous_lsp = new_lsp;
}

lpc_vector lsp_to_lpc(const lsp_vector& lsp) {
    lpc_vector a;
    const lsp_vector* lines[1] = {&lsp};
    lpc_vector* filters[1] = {&a};
    lsp_to_lpc_lanes<1>(lines, filters);
    return a;
}

}  // namespace g723
