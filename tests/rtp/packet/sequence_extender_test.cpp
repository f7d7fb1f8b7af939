// SPDX-License-Identifier: BSD-2-Clause
// Extended sequence numbers: order survives the 16-bit wrap, late packets
// fall behind, strays do not move the stream, a confirmed jump does.
#include "rtp/packet/sequence_extender.h"

#include <gtest/gtest.h>

#include <vector>

namespace g723::rtp {
namespace {

TEST(sequence_extender, OrdersAcrossTheWrapWithLateAndStrayPackets) {
    sequence_extender extender;
    std::vector<std::int64_t> got;
    // 65534, 65535, then 1 before the late 0, a duplicate of 1, a stray.
    for (const std::uint16_t sequence : {65534, 65535, 1, 0, 1, 30000, 2}) {
        got.push_back(extender.extend(sequence));
    }
    const std::int64_t base = got[0];
    EXPECT_EQ(got, (std::vector<std::int64_t>{base, base + 1, base + 3, base + 2, base + 3,
                                              base + 3 + 29999, base + 4}));
    EXPECT_EQ(extender.highest(), base + 4);
}

TEST(sequence_extender, AJumpFollowedOnIsARestart) {
    sequence_extender extender;
    const std::int64_t first = extender.extend(100);
    const std::int64_t jumped = extender.extend(40000);
    EXPECT_EQ(extender.extend(40001), jumped + 1);
    EXPECT_EQ(extender.highest(), jumped + 1);
    EXPECT_GT(jumped, first);
    // Old numbering after the restart is a stray too, never a crash.
    EXPECT_NE(extender.extend(101), first + 1);
}

}  // namespace
}  // namespace g723::rtp
