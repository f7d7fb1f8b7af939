// SPDX-License-Identifier: BSD-2-Clause
// What a hostile body cannot make the SDP reader keep: a flood of crypto
// lines stops at sixteen suites per media, the first sixteen.
#include "rtp/sdp/session_description.h"

#include <gtest/gtest.h>

#include <string>

namespace g723::rtp::sdp {
namespace {

TEST(session_description_limits, AMediaKeepsItsFirstSixteenCryptoSuites) {
    std::string body = "v=0\r\nc=IN IP4 192.0.2.5\r\nm=audio 5004 RTP/SAVP 4\r\n";
    for (int tag = 1; tag <= 20; ++tag) {
        body += "a=crypto:" + std::to_string(tag) +
                " AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ\r\n";
    }
    const session_description description = parse_session_description(body);
    ASSERT_EQ(description.media.size(), 1u);
    const auto& crypto = description.media[0].crypto;
    ASSERT_EQ(crypto.size(), 16u);
    EXPECT_EQ(crypto.front().tag, 1u);
    EXPECT_EQ(crypto.back().tag, 16u);
}

}  // namespace
}  // namespace g723::rtp::sdp
