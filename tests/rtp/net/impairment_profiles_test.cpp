// SPDX-License-Identifier: BSD-2-Clause
// The impaired path's draws against what its profiles promise: a congested
// link stalls on average every ten seconds, and a heavy-tailed excursion
// adds from nothing upwards, most of them less than its scale.
#include "rtp/net/impairment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace g723::rtp::net {
namespace {

TEST(impairment_profiles, TheCongestedLinkStallsEveryTenSecondsOnAverage) {
    // The congested profile's stalls alone, on ten hours of datagrams every
    // 30 ms: a stall starts where a datagram waits after one that did not.
    impairment_settings settings = *impairment_profile("congested");
    settings.jitter_ms = settings.tail_percent = settings.reorder_percent = 0;
    settings.duplicate_percent = settings.loss_percent = 0;
    impairment path(settings, 11);
    const int count = 1'200'000;
    int stalls = 0;
    bool held_before = false;
    double longest = 0.0;
    for (int i = 0; i < count; ++i) {
        const double sent = 0.03 * i;
        const std::vector<double> fate = path.schedule(sent);
        ASSERT_EQ(fate.size(), 1u);
        const double waited = fate[0] - sent - settings.delay_ms / 1000.0;
        const bool held = waited > 1e-9;
        if (held && !held_before) ++stalls;
        held_before = held;
        longest = std::max(longest, waited);
    }
    // 36000 s / (10 s + 0.15 s) is 3547 stalls; the count of a Poisson
    // process spreads by about 60.
    EXPECT_NEAR(stalls, 3547, 150);
    // A datagram that meets the stall on its way waits its whole length
    // and the time it had left to travel.
    EXPECT_LE(longest, 0.150 + 0.020 + 1e-9);
    EXPECT_GT(longest, 0.140);
}

TEST(impairment_profiles, AHeavyTailAddsFromNothingUpwards) {
    // Every datagram takes the excursion, 40 ms its scale, sent far enough
    // apart that none queues behind another.
    impairment_settings settings;
    settings.tail_percent = 100;
    settings.tail_ms = 40;
    settings.max_delay_ms = 1e9;
    impairment path(settings, 5);
    std::vector<double> added;
    for (int i = 0; i < 20000; ++i) {
        const double sent = 1000.0 * i;
        added.push_back(path.schedule(sent).at(0) - sent);
    }
    std::sort(added.begin(), added.end());
    EXPECT_LT(added.front(), 0.001);
    // Pareto of shape 1.5 less its minimum: half lie below 40 ms times
    // 2^(2/3) - 1, 23.5 ms.
    EXPECT_NEAR(added[added.size() / 2], 0.0235, 0.002);
}

}  // namespace
}  // namespace g723::rtp::net
