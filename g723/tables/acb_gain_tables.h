// SPDX-License-Identifier: BSD-2-Clause
// The two 5-tap adaptive-codebook gain codebooks, their selector, index maps
// and the encoder's search clusters. A row holds g0..g4, then -g0^2..-g4^2,
// then the ten negated cross products -g0g1, -g0g2, -g1g2, -g0g3, -g1g3,
// -g2g3, -g0g4, -g1g4, -g2g4, -g3g4. Rows are held in cluster order.
#pragma once

#include <array>
#include <cstdint>

namespace g723 {

inline constexpr int kAcbGainRowLength = 20;
inline constexpr int kAcbGainRows85 = 85;
inline constexpr int kAcbGainRows170 = 170;
inline constexpr int kAcbGainClusters85 = 8;
inline constexpr int kAcbGainClusters170 = 16;
// Open-loop lags from this value on select the 170-row codebook.
inline constexpr int32_t kAcbLongLagThreshold = 58;

using acb_gain_row = std::array<float, kAcbGainRowLength>;

extern const std::array<acb_gain_row, kAcbGainRows85> acb_gain_codebook_85;
extern const std::array<acb_gain_row, kAcbGainRows170> acb_gain_codebook_170;
// Entry 0: the 85-row codebook; entry 1: the 170-row codebook.
extern const std::array<const acb_gain_row*, 2> acb_gain_codebooks;

// Read at 85 * selector + index: transmitted index -> stored row, and back.
extern const std::array<int16_t, kAcbGainRows85 + kAcbGainRows170> acb_gain_index_to_row;
extern const std::array<int16_t, kAcbGainRows85 + kAcbGainRows170> acb_gain_row_to_index;

// Clusters of both codebooks in one list: the 8 of the 85-row codebook first,
// then the 16 of the 170-row codebook (codebook s starts at entry 8 * s).
extern const std::array<int32_t, kAcbGainClusters85 + kAcbGainClusters170> acb_gain_cluster_first_row;
extern const std::array<int32_t, kAcbGainClusters85 + kAcbGainClusters170> acb_gain_cluster_size;
extern const std::array<acb_gain_row, kAcbGainClusters85> acb_gain_centroids_85;
extern const std::array<acb_gain_row, kAcbGainClusters170> acb_gain_centroids_170;
extern const std::array<const acb_gain_row*, 2> acb_gain_cluster_centroids;

// The same rows and centroids four at a time: value k of four consecutive
// rows side by side, so that a search scores four rows at once. A table's
// last block is padded with zero rows.
inline constexpr int kAcbGainBlockRows = 4;
using acb_gain_block = std::array<std::array<float, kAcbGainBlockRows>, kAcbGainRowLength>;
// Entry 0: the 85-row codebook (or its centroids); entry 1: the 170-row one.
extern const std::array<const acb_gain_block*, 2> acb_gain_codebook_blocks;
extern const std::array<const acb_gain_block*, 2> acb_gain_centroid_blocks;

// Codebook selector of a half frame's open-loop lag.
constexpr int acb_gain_selector(int32_t open_loop_lag) {
    return open_loop_lag < kAcbLongLagThreshold ? 0 : 1;
}

}  // namespace g723
