// SPDX-License-Identifier: BSD-2-Clause
#include "g723/tables/pulse_tables.h"

namespace g723 {
namespace {

constexpr int32_t binomial(int n, int k) {
    if (k < 0 || n < k) return 0;
    int64_t result = 1;
    for (int i = 1; i <= k; ++i) result = result * (n - k + i) / i;
    return static_cast<int32_t>(result);
}

constexpr std::array<std::array<int32_t, kGridPositions>, 6> make_combinatorial_table() {
    std::array<std::array<int32_t, kGridPositions>, 6> table{};
    for (int row = 0; row < 6; ++row)
        for (int i = 0; i < kGridPositions; ++i) table[row][i] = binomial(29 - i, 5 - row);
    return table;
}

constexpr auto kCombinatorial = make_combinatorial_table();
static_assert(kCombinatorial[0][0] == 118755 && kCombinatorial[0][1] == 98280 &&
              kCombinatorial[0][2] == 80730 && kCombinatorial[0][25] == 0);
static_assert(kCombinatorial[4][0] == 29 && kCombinatorial[4][29] == 0 && kCombinatorial[5][29] == 1);
static_assert(binomial(30, 6) == 593775 && binomial(30, 5) == 142506);

}  // namespace

const std::array<int32_t, kSubframes> pulse_count_table = {6, 5, 6, 5};
const std::array<int32_t, kSubframes> max_position_table = {
    binomial(30, 6), binomial(30, 5), binomial(30, 6), binomial(30, 5)};
const std::array<std::array<int32_t, kGridPositions>, 6> combinatorial_table = kCombinatorial;
const std::array<float, kFixedGainLevels> fixed_gain_table = {
    2.0f,   4.0f,   6.0f,   8.0f,    12.0f,   18.0f,   26.0f,   36.0f,
    52.0f,  76.0f,  110.0f, 160.0f,  230.0f,  332.0f,  480.0f,  696.0f,
    1004.0f, 1452.0f, 2100.0f, 3034.0f, 4386.0f, 6340.0f, 9164.0f, 13246.0f};

}  // namespace g723
