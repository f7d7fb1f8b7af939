// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lsp_quantize.h"

#include "g723/tables/lsp_tables.h"

namespace g723 {

namespace {

// Share of the previous frame's quantized deviation from the mean that
// predicts the current one.
constexpr float kLspPrediction = 0.375f;
// Start of the running best in both search stages. A candidate must score
// strictly above it; when none does, the first one is taken.
constexpr float kInitialScore = -1.0f;

// S(c) = sum_k w_k c_k (2 r_k - c_k): larger is closer to r under the weights.
// The band's dimension is a compile-time constant, so the sum is unrolled.
template <int Dimension>
float score(const float* c, const float* r, const float* w) {
    float s = 0.0f;
    for (int k = 0; k < Dimension; ++k) s += (w[k] * c[k]) * (2.0f * r[k] - c[k]);
    return s;
}

// Transmitted index of the band's best row, for a band of the given dimension.
template <int Dimension>
int32_t search_band(int b, const float* r, const float* w) {
    float best = kInitialScore;
    int cluster = 0;
    for (int k = 0; k < kLspClusters; ++k) {
        const float s = score<Dimension>(lsp_cluster_centroids[b] + k * Dimension, r, w);
        if (s > best) {
            best = s;
            cluster = k;
        }
    }

    const int first_row = lsp_cluster_first_row[b][cluster];
    best = kInitialScore;
    int member = 0;
    for (int m = 0; m < lsp_cluster_size[b][cluster]; ++m) {
        const float s = score<Dimension>(lsp_band_codebooks[b] + (first_row + m) * Dimension, r, w);
        if (s > best) {
            best = s;
            member = m;
        }
    }
    return lsp_row_to_index[b][first_row + member];
}

}  // namespace

int32_t lsp_vq_search(const lsp_vector& residual, const std::array<float, kLpcOrder>& weights) {
    int32_t index = 0;
    for (int b = 0; b < kLspBands; ++b) {
        const int first = lsp_band_layout[b].first;
        const float* r = residual.data() + first;
        const float* w = weights.data() + first;
        const int32_t band_index = lsp_band_layout[b].dimension == 3 ? search_band<3>(b, r, w) : search_band<4>(b, r, w);
        index = (index << 8) + band_index;
    }
    return index;
}

int32_t lsp_quantize(lsp_vector& lsp, const lsp_vector& previous_lsp) {
    // Closely spaced LSPs mark formants: weight each by the inverse distance
    // to its nearer neighbour.
    std::array<float, kLpcOrder> weights;
    for (int j = 0; j < kLpcOrder; ++j) {
        float d;
        if (j == 0) {
            d = lsp[1] - lsp[0];
        } else if (j == kLpcOrder - 1) {
            d = lsp[j] - lsp[j - 1];
        } else {
            const float below = lsp[j] - lsp[j - 1];
            const float above = lsp[j + 1] - lsp[j];
            d = above < below ? above : below;
        }
        weights[j] = 1.0f / d;
    }
    for (int j = 0; j < kLpcOrder; ++j)
        lsp[j] = lsp[j] - (kLspPrediction * (previous_lsp[j] - lsp_dc_vector[j]) + lsp_dc_vector[j]);
    return lsp_vq_search(lsp, weights);
}

}  // namespace g723
