// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/gain_scaling.h"

#include <gtest/gtest.h>

#include <cmath>

namespace g723 {
namespace {

TEST(ScalePostfilterGain, UnitRatioIsAFixedPoint) {
    std::array<float, 60> s;
    for (int n = 0; n < 60; ++n) s[n] = static_cast<float>(n) - 30.0f;
    float state = 1.0f;
    scale_postfilter_gain(s, 1.0f, state);
    EXPECT_EQ(state, 1.0f);
    for (int n = 0; n < 60; ++n) EXPECT_EQ(s[n], 1.0625f * (static_cast<float>(n) - 30.0f)) << n;
}

TEST(ScalePostfilterGain, StateFollowsRatioSampleBySampleAcrossCalls) {
    std::array<float, 60> s;
    float state = 1.0f;
    for (int call = 0; call < 2; ++call) {
        s.fill(100.0f);
        scale_postfilter_gain(s, 2.0f, state);
        for (int n = 0; n < 60; ++n) {
            const double g = 2.0 - std::pow(0.9375, 60 * call + n + 1);
            EXPECT_NEAR(s[n], 1.0625 * g * 100.0, 1e-3) << call << ',' << n;
        }
    }
    EXPECT_NEAR(state, 2.0 - std::pow(0.9375, 120), 1e-5);
}

}  // namespace
}  // namespace g723
