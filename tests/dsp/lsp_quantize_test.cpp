// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lsp_quantize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "g723/tables/lsp_tables.h"

namespace g723 {
namespace {

const float* codebook_row(int band, int row) {
    return lsp_band_codebooks[band] + row * lsp_band_layout[band].dimension;
}

const float* centroid(int band, int cluster) {
    return lsp_cluster_centroids[band] + cluster * lsp_band_layout[band].dimension;
}

double weighted_error(const float* c, const lsp_vector& r, const std::array<float, kLpcOrder>& w, int band) {
    const int first = lsp_band_layout[band].first;
    double e = 0.0;
    for (int k = 0; k < lsp_band_layout[band].dimension; ++k) {
        const double d = static_cast<double>(r[first + k]) - c[k];
        e += w[first + k] * d * d;
    }
    return e;
}

TEST(LspQuantize, MeanVectorAfterResetGivesIndex16640) {
    lsp_vector lsp = lsp_dc_vector;
    EXPECT_EQ(lsp_quantize(lsp, lsp_dc_vector), 16640);
    for (float r : lsp) EXPECT_EQ(r, 0.0f);

    // With a zero residual a candidate scores minus its weighted energy.
    // The best centroid of every band is cluster 2 (holding the zero row);
    // it scores above -1 in bands 0 and 2, which then send index 0, but not
    // in band 1, which searches cluster 0 and sends its first row, index 65.
    std::array<float, kLpcOrder> w;
    for (int k = 0; k < kLpcOrder; ++k) {
        const float below = k > 0 ? lsp_dc_vector[k] - lsp_dc_vector[k - 1] : 1e9f;
        const float above = k < kLpcOrder - 1 ? lsp_dc_vector[k + 1] - lsp_dc_vector[k] : 1e9f;
        w[k] = 1.0f / std::min(below, above);
    }
    const lsp_vector zero{};
    const double expected_best[kLspBands] = {-0.91, -1.83, -0.74};
    for (int b = 0; b < kLspBands; ++b) {
        for (int k = 0; k < kLspClusters; ++k)
            EXPECT_GE(weighted_error(centroid(b, k), zero, w, b), weighted_error(centroid(b, 2), zero, w, b)) << b << " " << k;
        EXPECT_NEAR(-weighted_error(centroid(b, 2), zero, w, b), expected_best[b], 0.01) << b;
    }
    EXPECT_EQ(lsp_row_to_index[1][lsp_cluster_first_row[1][0]], 65);
}

TEST(LspVqSearch, FindsTheNearestMemberOfTheNearestCluster) {
    // The score of a candidate is sum w r^2 minus its weighted squared error.
    // Maximised in double over the centroids and then over the winning
    // cluster, each stage from -1 (nothing at or below -1 is taken), it must
    // give the same index as the search.
    std::mt19937 rng(29);
    std::normal_distribution<float> residual(0.0f, 6.0f);
    std::uniform_real_distribution<float> weight(0.02f, 0.6f);
    int exhaustive_differs = 0;
    int nothing_above_start = 0;
    for (int trial = 0; trial < 300; ++trial) {
        lsp_vector r;
        std::array<float, kLpcOrder> w;
        for (int k = 0; k < kLpcOrder; ++k) {
            r[k] = residual(rng);
            w[k] = weight(rng);
        }
        int32_t expected = 0;
        for (int b = 0; b < kLspBands; ++b) {
            const std::array<float, 4> zero{};
            const double reach = weighted_error(zero.data(), r, w, b);
            auto score = [&](const float* c) { return reach - weighted_error(c, r, w, b); };
            double best = -1.0;
            int best_cluster = 0;
            for (int k = 0; k < kLspClusters; ++k)
                if (score(centroid(b, k)) > best) {
                    best = score(centroid(b, k));
                    best_cluster = k;
                }
            const int first = lsp_cluster_first_row[b][best_cluster];
            best = -1.0;
            int best_row = first;
            for (int row = first; row < first + lsp_cluster_size[b][best_cluster]; ++row)
                if (score(codebook_row(b, row)) > best) {
                    best = score(codebook_row(b, row));
                    best_row = row;
                }
            nothing_above_start += best == -1.0;
            int global_row = 0;
            for (int row = 1; row < kLspBandRows; ++row)
                if (score(codebook_row(b, row)) > score(codebook_row(b, global_row))) global_row = row;
            exhaustive_differs += global_row != best_row;
            expected = (expected << 8) | lsp_row_to_index[b][best_row];
        }
        EXPECT_EQ(lsp_vq_search(r, w), expected) << trial;
    }
    // Both special outcomes occur: the two-stage search is not an exhaustive
    // one, and some bands find nothing above the start value.
    EXPECT_GT(exhaustive_differs, 0);
    EXPECT_GT(nothing_above_start, 0);
}

TEST(LspVqSearch, TiesKeepTheEarlierClusterAndMember) {
    // Zero weights make every candidate score exactly 0: the first centroid
    // and then the first row of its cluster are kept.
    const lsp_vector r = {3.0f, -2.0f, 1.0f, 5.0f, 0.5f, -4.0f, 2.0f, 2.0f, -1.0f, 0.25f};
    const std::array<float, kLpcOrder> w{};
    const int32_t expected = (lsp_row_to_index[0][0] << 16) | (lsp_row_to_index[1][0] << 8) | lsp_row_to_index[2][0];
    EXPECT_EQ(lsp_vq_search(r, w), expected);
    EXPECT_EQ(expected, (123 << 16) | (65 << 8) | 25);
}

TEST(LspQuantize, PredictsFromThePreviousVectorAndWeightsByTheNearerNeighbour) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> jitter(-6.0f, 6.0f);
    for (int trial = 0; trial < 100; ++trial) {
        lsp_vector lsp;
        lsp_vector previous;
        for (int k = 0; k < kLpcOrder; ++k) {
            lsp[k] = lsp_dc_vector[k] + jitter(rng);
            previous[k] = lsp_dc_vector[k] + jitter(rng);
        }
        std::sort(lsp.begin(), lsp.end());
        std::array<float, kLpcOrder> w;
        lsp_vector r;
        for (int k = 0; k < kLpcOrder; ++k) {
            const double below = k > 0 ? lsp[k] - lsp[k - 1] : 1e9;
            const double above = k < kLpcOrder - 1 ? lsp[k + 1] - lsp[k] : 1e9;
            w[k] = static_cast<float>(1.0 / std::min(below, above));
            r[k] = static_cast<float>(lsp[k] - (0.375 * (previous[k] - lsp_dc_vector[k]) + lsp_dc_vector[k]));
        }
        lsp_vector quantized = lsp;
        EXPECT_EQ(lsp_quantize(quantized, previous), lsp_vq_search(r, w)) << trial;
        for (int k = 0; k < kLpcOrder; ++k) EXPECT_NEAR(quantized[k], r[k], 1e-4f) << trial;
    }
}

}  // namespace
}  // namespace g723
