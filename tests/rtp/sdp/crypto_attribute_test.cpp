// SPDX-License-Identifier: BSD-2-Clause
// SDES key offers as SDP carries them: a=crypto lines read from a media
// description with their tag, suite, key and session parameters, lines
// that do not parse passed over, and the transports that say SRTP.
#include "rtp/sdp/crypto_attribute.h"

#include <gtest/gtest.h>

#include <string>

#include "rtp/sdp/session_description.h"
#include "rtp/sdp/sip_message.h"

namespace g723::rtp::sdp {
namespace {

TEST(crypto_attribute, OffersAreReadFromTheirMediaAndBadLinesPassedOver) {
    std::string body =
        "v=0\r\nc=IN IP4 192.0.2.10\r\nm=audio 49170 RTP/SAVP 4\r\n"
        "a=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ|2^20|1:4\r\n"
        "a=crypto: 2\tAES_CM_128_HMAC_SHA1_32  inline:QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5   KDR=1 UNENCRYPTED_SRTCP\r\n"
        "a=crypto:x AES_CM_128_HMAC_SHA1_80 inline:AAAA\r\n"           // a tag that is not a number
        "a=crypto:1234567890 AES_CM_128_HMAC_SHA1_80 inline:AAAA\r\n"  // ten digits
        "a=crypto:3 AES_CM_128_HMAC_SHA1_80\r\n"                       // no key
        "a=crypto:4\r\n"
        "m=audio 49180 RTP/AVP 4\r\n";
    // More than sixteen offers of one media: the rest are not kept.
    for (int i = 0; i < 20; ++i) body += "a=crypto:" + std::to_string(10 + i) + " AES_CM_128_HMAC_SHA1_80 inline:K" + std::to_string(i) + "\r\n";
    const std::string text = "SIP/2.0 200 OK\r\ni: call\r\nCSeq: 7 INVITE\r\nc: application/sdp\r\n\r\n" + body;
    const auto message = parse_sip_message(text);
    ASSERT_TRUE(message);
    const session_description session = parse_session_description(message->body);
    ASSERT_EQ(session.media.size(), 2u);
    const auto& offers = session.media[0].crypto;
    ASSERT_EQ(offers.size(), 2u);
    EXPECT_EQ(offers[0].tag, 1u);
    EXPECT_EQ(offers[0].suite, "AES_CM_128_HMAC_SHA1_80");
    EXPECT_EQ(offers[0].key_params, "inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ|2^20|1:4");
    EXPECT_EQ(offers[0].session_params, "");
    EXPECT_EQ(offers[1].tag, 2u);
    EXPECT_EQ(offers[1].suite, "AES_CM_128_HMAC_SHA1_32");
    EXPECT_EQ(offers[1].session_params, "KDR=1 UNENCRYPTED_SRTCP");
    ASSERT_EQ(session.media[1].crypto.size(), 16u);
    EXPECT_EQ(session.media[1].crypto.back().key_params, "inline:K15");

    EXPECT_TRUE(secure_transport(session.media[0].transport));
    EXPECT_FALSE(secure_transport(session.media[1].transport));
    for (const char* secure : {"RTP/SAVP", "RTP/SAVPF", "UDP/TLS/RTP/SAVP", "UDP/TLS/RTP/SAVPF"}) {
        EXPECT_TRUE(secure_transport(secure)) << secure;
    }
    for (const char* clear : {"RTP/AVP", "RTP/AVPF", "rtp/savp", "RTP/SAVP ", ""}) {
        EXPECT_FALSE(secure_transport(clear)) << clear;
    }
    EXPECT_FALSE(parse_crypto_attribute(""));
    EXPECT_FALSE(parse_crypto_attribute("-1 AES_CM_128_HMAC_SHA1_80 inline:AAAA"));
}

}  // namespace
}  // namespace g723::rtp::sdp
