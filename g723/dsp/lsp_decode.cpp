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
// taken from q[first], q[first + 2], ..., q[first + 8]; the product is
// symmetric, so the upper half is not kept.
std::array<float, 6> symmetric_product(const lpc_vector& q, int first) {
    std::array<float, 6> f{};
    const float qa = q[first];
    const float qb = q[first + 2];
    f[0] = 1.0f;
    f[1] = qa + qb;
    f[2] = qa * qb + 2.0f;
    for (int m = 2; m <= 4; ++m) {
        const float qm = q[first + 2 * m];
        f[m + 1] = qm * f[m] + 2.0f * f[m - 1];
        for (int k = m; k >= 2; --k) f[k] = f[k] + qm * f[k - 1] + f[k - 2];
        f[1] = f[1] + qm;
    }
    return f;
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
    for (int s = 0; s < kSubframes; ++s) {
        // Weight of the previous frame's lines: 0.75, 0.5, 0.25, 0.
        const float w = static_cast<float>(kSubframes - 1 - s) * 0.25f;
        const float w_new = 1.0f - w;
        lsp_vector lsp;
        for (int i = 0; i < kLpcOrder; ++i) lsp[i] = w * previous_lsp[i] + w_new * new_lsp[i];
        lpc_out[s] = lsp_to_lpc(lsp);
    }
    previous_lsp = new_lsp;
}

lpc_vector lsp_to_lpc(const lsp_vector& lsp) {
    // q_i = -2 cos(w_i): the middle coefficient of each second-order factor.
    lpc_vector q;
    for (int i = 0; i < kLpcOrder; ++i) q[i] = -2.0f * lsp_cosine(lsp[i]);

    // P(z) = (1 + z^-1) F1(z) from the even lines, Q(z) = (1 - z^-1) F2(z)
    // from the odd lines; A(z) = (P(z) + Q(z)) / 2, stored negated.
    const std::array<float, 6> f1 = symmetric_product(q, 0);
    const std::array<float, 6> f2 = symmetric_product(q, 1);
    lpc_vector a;
    for (int j = 0; j < 5; ++j) {
        a[j] = -0.5f * (f1[j + 1] + f1[j] + f2[j + 1] - f2[j]);
        a[kLpcOrder - 1 - j] = -0.5f * (f1[j + 1] + f1[j] - f2[j + 1] + f2[j]);
    }
    return a;
}

}  // namespace g723
