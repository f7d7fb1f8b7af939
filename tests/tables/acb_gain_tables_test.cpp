// SPDX-License-Identifier: BSD-2-Clause
#include "g723/tables/acb_gain_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

namespace g723 {
namespace {

constexpr float kGainStep = 1.0f / 16384.0f;
constexpr std::array<int, 2> kRows = {kAcbGainRows85, kAcbGainRows170};
constexpr std::array<int, 2> kClusters = {kAcbGainClusters85, kAcbGainClusters170};

// The gain row of a transmitted index, read the way the decoder reads it.
const acb_gain_row& entry(int selector, int index) {
    return acb_gain_codebooks[selector][acb_gain_index_to_row[85 * selector + index]];
}

std::array<int, 5> taps_in_steps(const acb_gain_row& row) {
    std::array<int, 5> taps{};
    for (int t = 0; t < 5; ++t) taps[t] = static_cast<int>(std::lround(row[t] * 16384.0f));
    return taps;
}

TEST(AcbGainTables, SelectorFollowsTheOpenLoopLag) {
    EXPECT_EQ(acb_gain_selector(18), 0);
    EXPECT_EQ(acb_gain_selector(57), 0);
    EXPECT_EQ(acb_gain_selector(58), 1);
    EXPECT_EQ(acb_gain_selector(141), 1);
    EXPECT_EQ(acb_gain_codebooks[0], acb_gain_codebook_85.data());
    EXPECT_EQ(acb_gain_codebooks[1], acb_gain_codebook_170.data());
    EXPECT_EQ(acb_gain_cluster_centroids[0], acb_gain_centroids_85.data());
    EXPECT_EQ(acb_gain_cluster_centroids[1], acb_gain_centroids_170.data());
}

// The blocked copies that the search scores four rows at a time: value k of
// row r at block r / 4, lane r % 4, zero rows after the last.
TEST(AcbGainTables, BlocksHoldTheRowsFourSideBySide) {
    for (int s = 0; s < 2; ++s) {
        for (auto [rows, blocks, count] : {std::tuple(acb_gain_codebooks[s], acb_gain_codebook_blocks[s], kRows[s]),
                                           std::tuple(acb_gain_cluster_centroids[s], acb_gain_centroid_blocks[s],
                                                      kClusters[s])}) {
            for (int r = 0; r < (count + 3) / 4 * 4; ++r)
                for (int k = 0; k < kAcbGainRowLength; ++k)
                    ASSERT_EQ(blocks[r / 4][k][r % 4], r < count ? rows[r][k] : 0.0f)
                        << "codebook " << s << " row " << r << " value " << k;
        }
    }
}

TEST(AcbGainTables, TellingRowsByTransmittedIndex) {
    EXPECT_EQ(taps_in_steps(entry(0, 1)), (std::array<int, 5>{800, 1496, 167, -256, -338}));
    EXPECT_EQ(taps_in_steps(entry(0, 84)), (std::array<int, 5>{5881, 9176, 8119, 3934, 3355}));
    EXPECT_EQ(taps_in_steps(entry(1, 1)), (std::array<int, 5>{776, 212, 715, 670, 809}));
    EXPECT_EQ(taps_in_steps(entry(1, 169)), (std::array<int, 5>{5297, 8374, 8872, 7694, 6538}));
    // Second-order terms are held as given, not recomputed: 85-row index 1.
    EXPECT_EQ(entry(0, 1)[5], -39 * kGainStep);
    EXPECT_EQ(entry(0, 1)[19], -5 * kGainStep);
    for (int s = 0; s < 2; ++s) EXPECT_EQ(entry(s, 0), acb_gain_row{}) << "codebook " << s;
}

TEST(AcbGainTables, EveryRowMatchesTheSourceRows) {
    // Position-weighted sums of the G.723.1 fixed-point gain rows (all 20
    // columns) in transmitted-index order, computed from the rows that the
    // tables are generated from: any changed value, or a map that points a
    // transmitted index at the wrong stored row, alters them.
    const int64_t expected[2] = {190406721, 320243684};
    for (int s = 0; s < 2; ++s) {
        int64_t sum = 0;
        for (int index = 0; index < kRows[s]; ++index)
            for (int j = 0; j < kAcbGainRowLength; ++j)
                sum += (index * 31 + j + 1) * static_cast<int64_t>(entry(s, index)[j] * 16384.0f);
        EXPECT_EQ(sum, expected[s]) << "codebook " << s;
    }
}

TEST(AcbGainTables, RowsHoldTapsSquaresAndProducts) {
    // Pair order of the ten cross products.
    const int pairs[10][2] = {{0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3},
                              {2, 3}, {0, 4}, {1, 4}, {2, 4}, {3, 4}};
    const float tap_low[2] = {-0.352294921875f, -0.58782958984375f};
    const float tap_high[2] = {1.0679931640625f, 1.1544189453125f};
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE(s);
        float lowest = 0.0f, highest = 0.0f;
        for (int r = 0; r < kRows[s]; ++r) {
            const acb_gain_row& row = acb_gain_codebooks[s][r];
            for (float v : row) EXPECT_EQ(v * 16384.0f, std::round(v * 16384.0f)) << r;
            for (int t = 0; t < 5; ++t) {
                lowest = std::min(lowest, row[t]);
                highest = std::max(highest, row[t]);
                EXPECT_NEAR(row[5 + t], -row[t] * row[t], 2.0 * kGainStep) << r << " tap " << t;
            }
            for (int p = 0; p < 10; ++p)
                EXPECT_NEAR(row[10 + p], -row[pairs[p][0]] * row[pairs[p][1]], 2.0 * kGainStep)
                    << r << " pair " << p;
        }
        EXPECT_EQ(lowest, tap_low[s]);
        EXPECT_EQ(highest, tap_high[s]);
    }
}

TEST(AcbGainTables, IndexMapsArePermutationsAndInverse) {
    EXPECT_EQ(acb_gain_index_to_row[3], 9);
    EXPECT_EQ(acb_gain_index_to_row[84], 57);
    EXPECT_EQ(acb_gain_index_to_row[85 + 13], 127);
    EXPECT_EQ(acb_gain_index_to_row[85 + 169], 167);
    // Sum of (entry + 1) times each of the 255 listed stored rows: a single
    // changed entry, or two exchanged ones, alters it.
    int64_t weighted = 0;
    for (int i = 0; i < kAcbGainRows85 + kAcbGainRows170; ++i) weighted += (i + 1) * acb_gain_index_to_row[i];
    EXPECT_EQ(weighted, 2775983);
    for (int s = 0; s < 2; ++s) {
        std::vector<bool> seen(kRows[s], false);
        for (int index = 0; index < kRows[s]; ++index) {
            const int row = acb_gain_index_to_row[85 * s + index];
            ASSERT_GE(row, 0);
            ASSERT_LT(row, kRows[s]);
            EXPECT_FALSE(seen[row]) << "codebook " << s << " row " << row << " used twice";
            seen[row] = true;
            EXPECT_EQ(acb_gain_row_to_index[85 * s + row], index) << "codebook " << s;
        }
    }
}

TEST(AcbGainTables, ClustersCoverEachCodebookInOrder) {
    const std::array<int32_t, 24> sizes = {26, 9,  8,  6,  11, 10, 8,  7,  19, 24, 14, 14,
                                           14, 10, 11, 12, 11, 12, 7,  7,  6,  4,  3,  2};
    const std::array<int32_t, 24> firsts = {0,  26, 35,  43,  49,  60,  70,  78,
                                            0,  19, 43,  57,  71,  85,  95,  106,
                                            118, 129, 141, 148, 155, 161, 165, 168};
    EXPECT_EQ(acb_gain_cluster_size, sizes);
    EXPECT_EQ(acb_gain_cluster_first_row, firsts);
    for (int s = 0; s < 2; ++s) {
        int32_t next = 0;
        for (int k = 0; k < kClusters[s]; ++k) {
            EXPECT_EQ(acb_gain_cluster_first_row[8 * s + k], next);
            next += acb_gain_cluster_size[8 * s + k];
        }
        EXPECT_EQ(next, kRows[s]);
    }
}

TEST(AcbGainTables, CentroidsAreRoundedMemberMeans) {
    EXPECT_EQ(taps_in_steps(acb_gain_centroids_85[1]),
              (std::array<int, 5>{-719, 269, 274, 2657, 10264}));
    EXPECT_EQ(taps_in_steps(acb_gain_centroids_170[11]),
              (std::array<int, 5>{13233, 1691, 889, 57, 1492}));
    // Recomputed in exact integer arithmetic on the 2^-14 grid: nearest
    // step, halves away from zero.
    for (int s = 0; s < 2; ++s) {
        for (int k = 0; k < kClusters[s]; ++k) {
            const int first = acb_gain_cluster_first_row[8 * s + k];
            const int size = acb_gain_cluster_size[8 * s + k];
            for (int j = 0; j < kAcbGainRowLength; ++j) {
                int64_t sum = 0;
                for (int r = first; r < first + size; ++r)
                    sum += static_cast<int64_t>(acb_gain_codebooks[s][r][j] * 16384.0f);
                const int64_t magnitude = (2 * std::llabs(sum) + size) / (2 * size);
                const int64_t rounded = sum < 0 ? -magnitude : magnitude;
                EXPECT_EQ(acb_gain_cluster_centroids[s][k][j], static_cast<float>(rounded) * kGainStep)
                    << "codebook " << s << " cluster " << k << " column " << j;
            }
        }
    }
}

}  // namespace
}  // namespace g723
