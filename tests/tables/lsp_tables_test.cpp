// SPDX-License-Identifier: BSD-2-Clause
#include "g723/tables/lsp_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace g723 {
namespace {

constexpr float kLspStep = 1.0f / 128.0f;

int dimension(int band) { return lsp_band_layout[band].dimension; }

const float* stored_row(int band, int row) {
    return lsp_band_codebooks[band] + row * dimension(band);
}

// The codebook entry of a transmitted index, read the way the decoder reads it.
std::vector<float> entry(int band, int index) {
    const float* row = stored_row(band, lsp_index_to_row[band][index]);
    return {row, row + dimension(band)};
}

// Band b's cluster that holds stored row r.
int cluster_of_row(int band, int row) {
    for (int k = kLspClusters - 1; k >= 0; --k)
        if (row >= lsp_cluster_first_row[band][k]) return k;
    return -1;
}

TEST(LspTables, MeanVectorAndBandLayout) {
    const lsp_vector expected = {24.4609f, 36.8828f, 60.0781f, 84.4219f, 108.375f,
                                 128.8672f, 154.3125f, 173.9062f, 199.0938f, 216.5469f};
    EXPECT_EQ(lsp_dc_vector, expected);
    EXPECT_EQ(lsp_band_layout[0].first, 0);
    EXPECT_EQ(lsp_band_layout[0].dimension, 3);
    EXPECT_EQ(lsp_band_layout[1].first, 3);
    EXPECT_EQ(lsp_band_layout[1].dimension, 3);
    EXPECT_EQ(lsp_band_layout[2].first, 6);
    EXPECT_EQ(lsp_band_layout[2].dimension, 4);
    EXPECT_EQ(lsp_band_codebooks[0], lsp_band0_codebook[0].data());
    EXPECT_EQ(lsp_band_codebooks[1], lsp_band1_codebook[0].data());
    EXPECT_EQ(lsp_band_codebooks[2], lsp_band2_codebook[0].data());
}

TEST(LspTables, TellingRowsByTransmittedIndex) {
    EXPECT_EQ(entry(0, 1), (std::vector<float>{-2.109375f, -10.71875f, -8.0625f}));
    EXPECT_EQ(entry(0, 255), (std::vector<float>{13.2265625f, 37.4453125f, 46.96875f}));
    EXPECT_EQ(entry(2, 1), (std::vector<float>{4.6953125f, 4.0f, -4.234375f, 2.609375f}));
    EXPECT_EQ(entry(1, 1), (std::vector<float>{-2114 * kLspStep, -1302 * kLspStep, 76 * kLspStep}));
    for (int band = 0; band < kLspBands; ++band)
        EXPECT_EQ(entry(band, 0), std::vector<float>(dimension(band), 0.0f)) << "band " << band;
}

TEST(LspTables, EveryRowMatchesTheSourceRows) {
    // Position-weighted sums of the G.723.1 fixed-point LSP rows in
    // transmitted-index order, computed from the rows that the tables are
    // generated from: any changed value, or a map that points a transmitted
    // index at the wrong stored row, alters them.
    const int64_t expected[kLspBands] = {2571728469, 1345020386, 501089672};
    for (int band = 0; band < kLspBands; ++band) {
        int64_t sum = 0;
        for (int index = 0; index < kLspBandRows; ++index) {
            const std::vector<float> row = entry(band, index);
            for (int j = 0; j < dimension(band); ++j)
                sum += (index * 31 + j + 1) * static_cast<int64_t>(row[j] * 128.0f);
        }
        EXPECT_EQ(sum, expected[band]) << "band " << band;
    }
}

TEST(LspTables, ValuesAreOnTheGridAndInRange) {
    float lowest = 0.0f, highest = 0.0f;
    for (int band = 0; band < kLspBands; ++band) {
        for (int row = 0; row < kLspBandRows; ++row) {
            for (int j = 0; j < dimension(band); ++j) {
                const float v = stored_row(band, row)[j];
                EXPECT_EQ(v * 128.0f, std::round(v * 128.0f)) << band << " " << row;
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
            }
        }
    }
    EXPECT_EQ(lowest, -37.21875f);
    EXPECT_EQ(highest, 46.96875f);
}

TEST(LspTables, IndexMapsArePermutationsAndInverse) {
    EXPECT_EQ(lsp_index_to_row[0][0], 53);
    EXPECT_EQ(lsp_index_to_row[0][1], 172);
    EXPECT_EQ(lsp_index_to_row[0][2], 173);
    EXPECT_EQ(lsp_index_to_row[0][3], 195);
    EXPECT_EQ(lsp_index_to_row[1][0], 46);
    EXPECT_EQ(lsp_index_to_row[2][0], 48);
    EXPECT_EQ(lsp_row_to_index[0][53], 0);
    for (int band = 0; band < kLspBands; ++band) {
        std::array<bool, kLspBandRows> seen{};
        for (int index = 0; index < kLspBandRows; ++index) {
            const int row = lsp_index_to_row[band][index];
            ASSERT_GE(row, 0);
            ASSERT_LT(row, kLspBandRows);
            EXPECT_FALSE(seen[row]) << "band " << band << " row " << row << " used twice";
            seen[row] = true;
            EXPECT_EQ(lsp_row_to_index[band][row], index) << "band " << band;
        }
    }
}

TEST(LspTables, ClustersCoverTheStoredRowsInOrder) {
    const std::array<int32_t, kLspClusters> band0_first = {0,   25,  53,  73,  89,  103, 113, 132,
                                                           147, 172, 195, 206, 220, 228, 241, 249};
    EXPECT_EQ(lsp_cluster_first_row[0], band0_first);
    const std::array<std::array<int32_t, kLspClusters>, kLspBands> sizes = {{
        {25, 28, 20, 16, 14, 10, 19, 15, 25, 23, 11, 14, 8, 13, 8, 7},
        {24, 22, 15, 20, 22, 12, 15, 16, 12, 14, 12, 14, 11, 11, 19, 17},
        {28, 20, 24, 14, 21, 14, 24, 14, 23, 12, 13, 10, 14, 9, 9, 7},
    }};
    EXPECT_EQ(lsp_cluster_size, sizes);
    // Sum over the transmitted indices of (index + 1) times the cluster that
    // holds the index, from the cluster lists the tables are generated from:
    // moving any index to another cluster, even with the sizes kept by a
    // second move, changes it.
    const int64_t label_sums[kLspBands] = {197990, 214414, 216324};
    for (int band = 0; band < kLspBands; ++band) {
        int64_t sum = 0;
        for (int index = 0; index < kLspBandRows; ++index)
            sum += (index + 1) * cluster_of_row(band, lsp_index_to_row[band][index]);
        EXPECT_EQ(sum, label_sums[band]) << "band " << band;
    }
    for (int band = 0; band < kLspBands; ++band) {
        SCOPED_TRACE(band);
        int32_t next = 0;
        for (int k = 0; k < kLspClusters; ++k) {
            EXPECT_EQ(lsp_cluster_first_row[band][k], next);
            EXPECT_GT(lsp_cluster_size[band][k], 0);
            next += lsp_cluster_size[band][k];
        }
        EXPECT_EQ(next, kLspBandRows);
        // Inside a cluster the rows follow ascending transmitted index.
        for (int row = 1; row < kLspBandRows; ++row) {
            if (cluster_of_row(band, row) == cluster_of_row(band, row - 1)) {
                EXPECT_LT(lsp_row_to_index[band][row - 1], lsp_row_to_index[band][row]) << row;
            }
        }
        // The all-zero entry lies in cluster 2.
        EXPECT_EQ(cluster_of_row(band, lsp_index_to_row[band][0]), 2);
    }
    // The smallest clusters of bands 0 and 2: their members in full.
    const int band0_last[] = {58, 59, 60, 61, 65, 66, 67};
    const int band2_last[] = {76, 77, 78, 94, 95, 96, 102};
    EXPECT_EQ(lsp_cluster_size[0][15], 7);
    EXPECT_EQ(lsp_cluster_size[2][15], 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(lsp_row_to_index[0][249 + i], band0_last[i]);
        EXPECT_EQ(lsp_row_to_index[2][249 + i], band2_last[i]);
    }
}

TEST(LspTables, CentroidsAreRoundedMemberMeans) {
    const float* first = lsp_cluster_centroids[0];
    EXPECT_EQ(first[0], 1208 * kLspStep);
    EXPECT_EQ(first[1], 979 * kLspStep);
    EXPECT_EQ(first[2], 212 * kLspStep);
    EXPECT_EQ(lsp_cluster_centroids[0], lsp_band0_centroids[0].data());
    EXPECT_EQ(lsp_cluster_centroids[1], lsp_band1_centroids[0].data());
    EXPECT_EQ(lsp_cluster_centroids[2], lsp_band2_centroids[0].data());
    // Recomputed in exact integer arithmetic on the 1/128 grid: nearest
    // grid step, halves away from zero.
    for (int band = 0; band < kLspBands; ++band) {
        for (int k = 0; k < kLspClusters; ++k) {
            const int first_row = lsp_cluster_first_row[band][k];
            const int size = lsp_cluster_size[band][k];
            for (int j = 0; j < dimension(band); ++j) {
                int64_t sum = 0;
                for (int row = first_row; row < first_row + size; ++row)
                    sum += static_cast<int64_t>(stored_row(band, row)[j] * 128.0f);
                const int64_t magnitude = (2 * std::llabs(sum) + size) / (2 * size);
                const int64_t rounded = sum < 0 ? -magnitude : magnitude;
                EXPECT_EQ(lsp_cluster_centroids[band][k * dimension(band) + j],
                          static_cast<float>(rounded) * kLspStep)
                    << "band " << band << " cluster " << k << " component " << j;
            }
        }
    }
}

}  // namespace
}  // namespace g723
