// SPDX-License-Identifier: BSD-2-Clause
// The pitch postfilter's energy floor at its edge: a filtered energy of
// exactly the smallest normal float is an energy like any other and the
// subframe's is restored; only below it is the subframe scaled to zero.
#include "g723/decoder/pitch_postfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace g723 {
namespace {

TEST(PitchPostfilterFloor, AnEnergyExactlyAtTheFloorIsRestored) {
    // Powers of two keep every step exact. With the weight 0.25, X = 2^-62
    // and E = 4: g = 0.25 X / E = 2^-66, (g E + 2 X) g = 9 * 2^-130, and
    // E0 = 7 * 2^-130 makes the filtered energy 2^-126, the floor itself.
    const float x = std::ldexp(1.0f, -62);
    const float e0 = 7.0f * std::ldexp(1.0f, -130);
    const float floor = std::numeric_limits<float>::min();
    const float g = 0.25f * x / 4.0f;
    ASSERT_EQ((g * 4.0f + 2.0f * x) * g + e0, floor);
    const pitch_postfilter_params at = pitch_postfilter_gains(-40, e0, x, 4.0f, 1);
    EXPECT_EQ(at.offset, -40);
    EXPECT_FLOAT_EQ(at.scale, std::sqrt(7.0f / 16.0f));
    EXPECT_FLOAT_EQ(at.weighted_gain, g * std::sqrt(7.0f / 16.0f));
    // One step of E0 less puts it just below: silence.
    const float below_e0 = 6.0f * std::ldexp(1.0f, -130);
    const pitch_postfilter_params below = pitch_postfilter_gains(-40, below_e0, x, 4.0f, 1);
    EXPECT_EQ(below.scale, 0.0f);
    EXPECT_EQ(below.weighted_gain, 0.0f);
}

}  // namespace
}  // namespace g723
