// SPDX-License-Identifier: BSD-2-Clause
// The impaired path as a test harness sees it: the same seed gives the
// same fates, each impairment shows in the fates at about its configured
// share, and no draw sends a datagram before it came or past the longest
// delay.
#include "rtp/net/impairment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace g723::rtp::net {
namespace {

// Datagrams every 30 ms for `count` frames; the fates of each.
std::vector<std::vector<double>> run(const impairment_settings& settings, std::uint64_t seed, int count = 20000) {
    impairment path(settings, seed);
    std::vector<std::vector<double>> fates;
    for (int i = 0; i < count; ++i) fates.push_back(path.schedule(0.03 * i));
    return fates;
}

TEST(impairment, ProfilesAreNamedAndTheCleanPathChangesNothing) {
    for (const char* name : {"wifi", "mobile", "congested"}) {
        const auto profile = impairment_profile(name);
        ASSERT_TRUE(profile) << name;
        EXPECT_GT(profile->loss_percent, 0.0) << name;
        EXPECT_GT(profile->jitter_ms, 0.0) << name;
        EXPECT_NE(std::string(impairment_profile_names).find(name), std::string::npos);
    }
    EXPECT_FALSE(impairment_profile("lossy"));
    EXPECT_FALSE(impairment_profile(""));
    const auto clean = run(*impairment_profile("clean"), 1, 200);
    for (std::size_t i = 0; i < clean.size(); ++i) {
        ASSERT_EQ(clean[i].size(), 1u);
        EXPECT_DOUBLE_EQ(clean[i][0], 0.03 * static_cast<double>(i));
    }
}

TEST(impairment, EachImpairmentShowsAtItsShareAndNoneBreaksTheBounds) {
    for (const char* name : {"wifi", "mobile", "congested"}) {
        SCOPED_TRACE(name);
        impairment_settings settings = *impairment_profile(name);
        settings.max_delay_ms = 300;
        const auto fates = run(settings, 7);
        EXPECT_EQ(fates, run(settings, 7));
        EXPECT_NE(fates, run(settings, 8));
        std::size_t lost = 0, copies = 0, bursts = 0, out_of_order = 0;
        double last = 0.0;
        for (std::size_t i = 0; i < fates.size(); ++i) {
            const double arrival = 0.03 * static_cast<double>(i);
            if (fates[i].empty()) {
                ++lost;
                if (i == 0 || !fates[i - 1].empty()) ++bursts;
                continue;
            }
            copies += fates[i].size();
            for (const double departure : fates[i]) {
                EXPECT_GE(departure, arrival + settings.delay_ms / 1000.0 - 1e-9);
                EXPECT_LE(departure, arrival + settings.max_delay_ms / 1000.0 + 0.0005 + 1e-9);
            }
            if (fates[i][0] < last) ++out_of_order;
            last = std::max(last, fates[i][0]);
        }
        const double share = 100.0 * static_cast<double>(lost) / static_cast<double>(fates.size());
        EXPECT_NEAR(share, settings.loss_percent, settings.loss_percent * 0.35);
        // Loss comes in bursts of about the configured mean length.
        EXPECT_NEAR(static_cast<double>(lost) / static_cast<double>(bursts), settings.burst_packets,
                    settings.burst_packets * 0.35);
        const double duplicated = 100.0 * static_cast<double>(copies - (fates.size() - lost)) /
                                  static_cast<double>(fates.size() - lost);
        EXPECT_NEAR(duplicated, settings.duplicate_percent, settings.duplicate_percent * 0.6 + 0.05);
        // Only the reordered datagrams leave behind one sent before them.
        EXPECT_GT(out_of_order, 0u);
        EXPECT_LT(100.0 * static_cast<double>(out_of_order) / static_cast<double>(fates.size()),
                  settings.reorder_percent * 1.5 + 0.2);
    }
}

TEST(impairment, AStallHoldsEverythingThenLetsItGoAtOnce) {
    impairment_settings settings;
    settings.delay_ms = 10;
    settings.stall_every_seconds = 2;
    settings.stall_ms = 300;
    const auto fates = run(settings, 3, 2000);  // a minute
    // Datagrams caught in a stall leave together at its end: many share a
    // departure time, and each waited up to the stall's length.
    std::size_t held = 0, stalls = 0;
    double longest = 0.0;
    for (std::size_t i = 0; i < fates.size(); ++i) {
        ASSERT_EQ(fates[i].size(), 1u);
        const double waited = fates[i][0] - 0.03 * static_cast<double>(i) - 0.010;
        EXPECT_GE(waited, -1e-9);
        if (waited > 1e-9) ++held;
        if (i > 0 && fates[i][0] == fates[i - 1][0] && (i < 2 || fates[i - 1][0] != fates[i - 2][0])) ++stalls;
        longest = std::max(longest, waited);
    }
    // About one stall every two seconds of the minute, each holding up to
    // ten datagrams.
    EXPECT_GT(stalls, 15u);
    EXPECT_LT(stalls, 50u);
    EXPECT_GT(held, stalls * 4);
    EXPECT_LE(longest, 0.310 + 1e-9);
    EXPECT_GT(longest, 0.250);

    // Every datagram duplicated; a heavy tail capped by the longest delay.
    impairment_settings copies;
    copies.duplicate_percent = 100;
    copies.tail_percent = 100;
    copies.tail_ms = 100;
    copies.max_delay_ms = 150;
    double most = 0.0;
    for (const auto& fate : run(copies, 5, 500)) {
        ASSERT_EQ(fate.size(), 2u);
        EXPECT_NEAR(fate[1] - fate[0], 0.0005, 1e-9);
    }
    const auto tail = run(copies, 5, 500);
    for (std::size_t i = 0; i < tail.size(); ++i) most = std::max(most, tail[i][0] - 0.03 * static_cast<double>(i));
    EXPECT_NEAR(most, 0.150, 1e-9);
}

}  // namespace
}  // namespace g723::rtp::net
