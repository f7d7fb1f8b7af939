// SPDX-License-Identifier: BSD-2-Clause
// Interarrival jitter as RFC 3550 defines it, and the longest wait.
#include "rtp/stream/stream_statistics.h"

#include <gtest/gtest.h>

namespace g723::rtp {
namespace {

TEST(arrival_statistics, JitterFollowsTransitTimeDifferences) {
    arrival_statistics steady;
    for (int i = 0; i < 50; ++i) steady.add(100.0 + i * 0.03, 0xfffff000u + 240u * i);
    EXPECT_NEAR(steady.jitter_ms(), 0.0, 1e-6);  // also across the timestamp wrap
    EXPECT_NEAR(steady.largest_gap_ms(), 30.0, 1e-6);

    // Every other packet 10 ms late: |D| is 80 units each time, so the
    // estimate climbs towards 80 units, 10 ms.
    arrival_statistics shaky;
    for (int i = 0; i < 400; ++i) shaky.add(i * 0.03 + (i % 2) * 0.01, 240u * i);
    EXPECT_NEAR(shaky.jitter_ms(), 10.0, 0.01);
    EXPECT_NEAR(shaky.largest_gap_ms(), 40.0, 1e-6);

    arrival_statistics first;
    first.add(1.0, 0);
    first.add(1.03, 240 + 80);
    EXPECT_NEAR(first.jitter_ms(), 80.0 / 16 / 8, 1e-9);
}

}  // namespace
}  // namespace g723::rtp
