// SPDX-License-Identifier: BSD-2-Clause
#include "g723/tables/cosine_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace g723 {
namespace {

TEST(CosineTable, OnePeriodInLspUnits) {
    EXPECT_EQ(cosine_table[0], 1.0f);
    EXPECT_EQ(cosine_table[1], 0.9999247f);
    EXPECT_EQ(cosine_table[2], 0.9996988f);
    EXPECT_EQ(cosine_table[256], -1.0f);
    EXPECT_EQ(cosine_table[511], cosine_table[1]);
    // The zeros of the period are exact, not a rounding residue of pi / 2.
    EXPECT_EQ(cosine_table[128], 0.0f);
    EXPECT_EQ(cosine_table[384], 0.0f);
    for (int i = 0; i < kCosineTableSize; ++i) {
        const double exact = (i % 256 == 128) ? 0.0 : std::cos(M_PI * i / 256.0);
        // Every entry is the single-precision value nearest the cosine.
        EXPECT_EQ(cosine_table[i], static_cast<float>(exact)) << i;
        if (i > 0) {
            EXPECT_EQ(cosine_table[i], cosine_table[kCosineTableSize - i]) << i;
        }
    }
}

}  // namespace
}  // namespace g723
