// SPDX-License-Identifier: BSD-2-Clause
// LSP split-vector codebooks, their mean vector, band layout, index maps and
// the encoder's search clusters. Codebook rows are held in cluster order
// ("stored rows"); the bit-stream carries transmitted indices, which pass
// through lsp_index_to_row when decoding and lsp_row_to_index when encoding.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

inline constexpr int kLspBands = 3;
inline constexpr int kLspBandRows = 256;
inline constexpr int kLspClusters = 16;

struct lsp_band {
    int32_t first;      // first LSP of the band
    int32_t dimension;  // number of LSPs in the band
};

// Long-term mean LSP vector; also the reset value of every previous-LSP memory.
extern const lsp_vector lsp_dc_vector;
extern const std::array<lsp_band, kLspBands> lsp_band_layout;

// Residual codebooks in stored order, LSP units.
extern const std::array<std::array<float, 3>, kLspBandRows> lsp_band0_codebook;
extern const std::array<std::array<float, 3>, kLspBandRows> lsp_band1_codebook;
extern const std::array<std::array<float, 4>, kLspBandRows> lsp_band2_codebook;
// Row r of band b starts at lsp_band_codebooks[b] + r * lsp_band_layout[b].dimension.
extern const std::array<const float*, kLspBands> lsp_band_codebooks;

extern const std::array<std::array<int16_t, kLspBandRows>, kLspBands> lsp_index_to_row;
extern const std::array<std::array<int16_t, kLspBandRows>, kLspBands> lsp_row_to_index;

// Encoder search clusters: size and first stored row of each cluster, and the
// centroid (mean of the members, rounded to 1/128) of each.
extern const std::array<std::array<int32_t, kLspClusters>, kLspBands> lsp_cluster_size;
extern const std::array<std::array<int32_t, kLspClusters>, kLspBands> lsp_cluster_first_row;
extern const std::array<std::array<float, 3>, kLspClusters> lsp_band0_centroids;
extern const std::array<std::array<float, 3>, kLspClusters> lsp_band1_centroids;
extern const std::array<std::array<float, 4>, kLspClusters> lsp_band2_centroids;
// Centroid k of band b starts at lsp_cluster_centroids[b] + k * dimension.
extern const std::array<const float*, kLspBands> lsp_cluster_centroids;

}  // namespace g723
