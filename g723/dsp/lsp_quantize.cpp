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
float score(const float* c, const float* r, const float* w, int dimension) {
    float s = 0.0f;
    for (int k = 0; k < dimension; ++k) s += (w[k] * c[k]) * (2.0f * r[k] - c[k]);
    return s;
}

}  // namespace

int32_t lsp_vq_search(const lsp_vector& residual, const std::array<float, kLpcOrder>& weights) {
    int32_t index = 0;
    for (int b = 0; b < kLspBands; ++b) {
        const int first = lsp_band_layout[b].first;
        const int dimension = lsp_band_layout[b].dimension;
        const float* r = residual.data() + first;
        const float* w = weights.data() + first;

        float best = kInitialScore;
        int cluster = 0;
        for (int k = 0; k < kLspClusters; ++k) {
            const float s = score(lsp_cluster_centroids[b] + k * dimension, r, w, dimension);
            if (s > best) {
                best = s;
                cluster = k;
            }
        }

        const int first_row = lsp_cluster_first_row[b][cluster];
        best = kInitialScore;
        int member = 0;
        for (int m = 0; m < lsp_cluster_size[b][cluster]; ++m) {
            const float s = score(lsp_band_codebooks[b] + (first_row + m) * dimension, r, w, dimension);
            if (s > best) {
                best = s;
                member = m;
            }
        }
        index = (index << 8) + lsp_row_to_index[b][first_row + member];
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
