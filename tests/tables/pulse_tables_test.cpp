// SPDX-License-Identifier: BSD-2-Clause
#include "g723/tables/pulse_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace g723 {
namespace {

TEST(PulseTables, PulseCountsAndPositionBounds) {
    EXPECT_EQ(pulse_count_table, (std::array<int32_t, 4>{6, 5, 6, 5}));
    EXPECT_EQ(max_position_table, (std::array<int32_t, 4>{593775, 142506, 593775, 142506}));
}

TEST(PulseTables, CombinatorialRows) {
    EXPECT_EQ(combinatorial_table[0][0], 118755);
    EXPECT_EQ(combinatorial_table[0][1], 98280);
    EXPECT_EQ(combinatorial_table[0][2], 80730);
    for (int i = 25; i < kGridPositions; ++i) EXPECT_EQ(combinatorial_table[0][i], 0) << i;
    for (int i = 0; i < kGridPositions; ++i) {
        EXPECT_EQ(combinatorial_table[4][i], 29 - i) << i;
        EXPECT_EQ(combinatorial_table[5][i], 1) << i;
    }
    // Pascal's rule binom(n, k) = binom(n - 1, k) + binom(n - 1, k - 1) ties
    // every row to the one below it.
    for (int r = 0; r < 5; ++r)
        for (int i = 0; i + 1 < kGridPositions; ++i)
            EXPECT_EQ(combinatorial_table[r][i],
                      combinatorial_table[r][i + 1] + combinatorial_table[r + 1][i + 1])
                << "row " << r << " column " << i;
    // Five pulses: binom(30, 5) = binom(29, 4) + binom(29, 5).
    EXPECT_EQ(max_position_table[1], combinatorial_table[1][0] + combinatorial_table[0][0]);
}

TEST(PulseTables, FixedGainLevels) {
    const std::array<float, kFixedGainLevels> expected = {
        2, 4, 6, 8, 12, 18, 26, 36, 52, 76, 110, 160, 230, 332, 480, 696,
        1004, 1452, 2100, 3034, 4386, 6340, 9164, 13246};
    EXPECT_EQ(fixed_gain_table, expected);
}

}  // namespace
}  // namespace g723
