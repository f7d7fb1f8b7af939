// SPDX-License-Identifier: BSD-2-Clause
// Directions paired into calls: by the Call-ID whose SDP announced both
// destinations, else by each going where the other comes from; a direction
// that changed SSRC is one direction; directions without a partner, and
// those whose SDP names another call, are left out.
#include "rtp/capture/call_pairing.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace g723::rtp {
namespace {

endpoint at(std::uint8_t host, std::uint16_t port) {
    endpoint point;
    point.address.bytes[0] = 192;
    point.address.bytes[1] = 0;
    point.address.bytes[2] = 2;
    point.address.bytes[3] = host;
    return {point.address, port};
}

stream_key stream(endpoint from, endpoint to, std::uint32_t ssrc) { return {from, to, ssrc}; }

using indices = std::vector<std::size_t>;

// What SDP announced: the Call-ID of each destination named.
std::map<endpoint, announced_media> announced_in(std::initializer_list<std::pair<endpoint, std::string>> calls) {
    std::map<endpoint, announced_media> announced;
    for (const auto& [point, call_id] : calls) announced.emplace(point, announced_media{call_id, {}, {}, false, {}});
    return announced;
}

TEST(call_pairing, PairsByAnnouncedCallThenByReverseDirection) {
    const endpoint a = at(1, 4000), b = at(2, 5000), c = at(3, 6000), d = at(4, 7000);
    // SDP of call "x" announced where a and b receive; the answerer sends
    // from another port than it receives on. c and d have no SDP and
    // answer each other; e sends alone.
    const endpoint b_sending = at(2, 5002), e = at(5, 8000);
    const std::vector<stream_key> keys = {
        stream(a, b, 1),          // 0: call x, first direction
        stream(c, d, 2),          // 1: the second call, first direction
        stream(b_sending, a, 3),  // 2: call x, second direction
        stream(e, a, 4),          // 3: to a, whose call is paired already: alone
        stream(d, c, 5),          // 4: the second call, second direction
        stream(a, b, 6),          // 5: call x's first direction again, a new SSRC
        stream(e, d, 7),          // 6: alone
    };
    const auto announced = announced_in({{a, "x"}, {b, "x"}});
    const std::vector<call_directions> calls = pair_calls(keys, announced);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, (indices{0, 5}));
    EXPECT_EQ(calls[0].second, (indices{2}));
    EXPECT_EQ(calls[1].first, (indices{1}));
    EXPECT_EQ(calls[1].second, (indices{4}));
}

TEST(call_pairing, DirectionsOfDifferentCallsAreNotPairedByAddress) {
    const endpoint a = at(1, 4000), b = at(2, 5000);
    const std::vector<stream_key> keys = {stream(a, b, 1), stream(b, a, 2)};
    auto announced = announced_in({{a, "x"}, {b, "y"}});
    EXPECT_TRUE(pair_calls(keys, announced).empty());
    // Without SDP, or with SDP for one end only, they pair by address.
    announced.erase(b);
    ASSERT_EQ(pair_calls(keys, announced).size(), 1u);
    announced.clear();
    const std::vector<call_directions> calls = pair_calls(keys, announced);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, (indices{0}));
    EXPECT_EQ(calls[0].second, (indices{1}));
    // One direction alone, the last one included, is no call.
    const std::vector<stream_key> lone = {stream(a, b, 1), stream(b, a, 2), stream(a, at(9, 1), 3)};
    EXPECT_EQ(pair_calls(lone, announced).size(), 1u);
    EXPECT_TRUE(pair_calls(std::span<const stream_key>(lone).first(1), announced).empty());
    EXPECT_TRUE(pair_calls({}, announced).empty());
}

}  // namespace
}  // namespace g723::rtp
