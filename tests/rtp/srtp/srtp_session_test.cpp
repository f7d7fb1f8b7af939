// SPDX-License-Identifier: BSD-2-Clause
// SRTP sessions over libsrtp: every suite there and back, what a receiver
// must refuse, the rollover counter across sequence wraps, and keys that
// cannot be used refused with messages that never show them.
#include "rtp/srtp/srtp_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rtp/packet/rtp_packet.h"
#include "rtp/srtp/srtp_key.h"

namespace g723::rtp::srtp {
namespace {

constexpr const char* key_80 = "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";
constexpr const char* other_80 = "AES_CM_128_HMAC_SHA1_80 inline:QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5";

std::vector<std::uint8_t> rtp_packet_bytes(std::uint16_t sequence, std::uint32_t ssrc = 0x01020304) {
    std::vector<std::uint8_t> payload(24);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(sequence + 7 * i);
    rtp::rtp_packet packet;
    packet.payload_type = 4;
    packet.sequence = sequence;
    packet.timestamp = 240u * sequence;
    packet.ssrc = ssrc;
    packet.payload = payload;
    std::vector<std::uint8_t> bytes(rtp_header_bytes + payload.size());
    rtp::write_rtp_packet(packet, bytes);
    return bytes;
}

unprotect_result take(srtp_session& session, std::vector<std::uint8_t> packet, std::vector<std::uint8_t>* clear = nullptr) {
    std::size_t length = 0;
    const unprotect_result result = session.unprotect_rtp(packet, length);
    if (result == unprotect_result::ok && clear != nullptr) *clear = {packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(length)};
    return result;
}

TEST(srtp_session, EverySuiteThereAndBackWithItsTagAndRefusals) {
    const char* keys[] = {
        key_80,
        "AES_CM_128_HMAC_SHA1_32 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ|2^31",
        "AES_192_CM_HMAC_SHA1_80 inline:g0XupNHxwNqToMemKqLZ7QKxYTtfbq2mKTO1CzzW/kkS0th9OGs=",
        "AES_256_CM_HMAC_SHA1_32 inline:LC/ZlpSb/kiHiLGABNtn0qhMcztaz+qIyrxaW4+S0b37VKQP0gA5YmEMqwj8Uw==",
        "AEAD_AES_128_GCM inline:TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ==",
        "AEAD_AES_256_GCM inline:rhCtB8M/MtAV35yLZwQi4cqEu6+lVwi74+4yh1w/qIdxy+cLai4Y1Zr9BO4=",
    };
    const std::size_t tags[] = {10, 4, 10, 4, 16, 16};
    for (std::size_t k = 0; k < std::size(keys); ++k) {
        SCOPED_TRACE(keys[k]);
        const srtp_key key = parse_srtp_key(keys[k]);
        srtp_session sender(key, session_direction::outbound);
        srtp_session receiver(key, session_direction::inbound);
        srtp_session stranger(parse_srtp_key(other_80), session_direction::inbound);
        std::vector<std::vector<std::uint8_t>> sent;
        for (std::uint16_t sequence = 10; sequence < 20; ++sequence) {
            std::vector<std::uint8_t> packet = rtp_packet_bytes(sequence);
            ASSERT_TRUE(sender.protect_rtp(packet));
            // The header stays clear, the payload does not, the tag follows.
            EXPECT_EQ(packet.size(), rtp_header_bytes + 24 + tags[k]);
            EXPECT_TRUE(std::equal(packet.begin(), packet.begin() + 12, rtp_packet_bytes(sequence).begin()));
            EXPECT_FALSE(std::equal(packet.begin() + 12, packet.begin() + 36, rtp_packet_bytes(sequence).begin() + 12));
            sent.push_back(packet);
        }
        for (std::size_t i = 0; i < sent.size(); ++i) {
            std::vector<std::uint8_t> tampered = sent[i];
            tampered[12 + i] ^= 0x01;
            // A damaged copy first: refused, and it does not spend the
            // packet's place in the replay window.
            EXPECT_EQ(take(receiver, tampered), unprotect_result::failed);
            std::vector<std::uint8_t> clear;
            ASSERT_EQ(take(receiver, sent[i], &clear), unprotect_result::ok);
            EXPECT_EQ(clear, rtp_packet_bytes(static_cast<std::uint16_t>(10 + i)));
            EXPECT_EQ(take(receiver, sent[i]), unprotect_result::replayed);
            EXPECT_EQ(take(stranger, sent[i]), unprotect_result::failed);
        }
        std::vector<std::uint8_t> cut(sent[0].begin(), sent[0].begin() + 13);
        EXPECT_NE(take(receiver, cut), unprotect_result::ok);
        std::vector<std::uint8_t> rtcp = {0x80, 201, 0, 1, 1, 2, 3, 4};
        ASSERT_TRUE(sender.protect_rtcp(rtcp));
        std::size_t length = 0;
        ASSERT_EQ(receiver.unprotect_rtcp(rtcp, length), unprotect_result::ok) << rtcp.size();
        EXPECT_EQ(length, 8u);
    }
}

TEST(srtp_session, RolloverCounterCarriesAcrossSequenceWraps) {
    // 70,000 packets from sequence 65,000: the sequence numbers wrap, and a receiver that did not count the rollovers would fail
    // every packet after the first wrap.
    const srtp_key key = parse_srtp_key(key_80);
    srtp_session sender(key, session_direction::outbound);
    srtp_session receiver(key, session_direction::inbound);
    std::uint16_t sequence = 65000;
    std::size_t passed = 0;
    std::vector<std::uint8_t> held;
    for (std::size_t i = 0; i < 70000; ++i, ++sequence) {
        std::vector<std::uint8_t> packet = rtp_packet_bytes(sequence);
        ASSERT_TRUE(sender.protect_rtp(packet));
        // One packet comes 20 places late, across the first wrap.
        if (i == 520) {
            held = packet;
            continue;
        }
        if (take(receiver, packet) == unprotect_result::ok) ++passed;
        if (i == 540 && take(receiver, held) == unprotect_result::ok) ++passed;
    }
    EXPECT_EQ(passed, 70000u);
}

TEST(srtp_key, KeysThatCannotBeUsedAreRefusedWithoutBeingShown) {
    const auto message = [](const char* text) -> std::string {
        try {
            parse_srtp_key(text);
        } catch (const srtp_key_error& error) {
            return error.what();
        }
        return "accepted";
    };
    // 29 bytes where the suite needs 30.
    const std::string short_key = message("AES_CM_128_HMAC_SHA1_80 inline:lE1zfTz4uUGhcL6VDM9uBKSCiZc4K+GdDsfjdTU=");
    EXPECT_NE(short_key.find("needs a key of 30 bytes"), std::string::npos) << short_key;
    EXPECT_NE(short_key.find("this one has 29"), std::string::npos) << short_key;
    EXPECT_EQ(short_key.find("lE1zfTz4"), std::string::npos) << short_key;
    // A GCM key under a counter-mode suite, and the reverse.
    EXPECT_NE(message("AES_CM_128_HMAC_SHA1_32 inline:TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ==").find("has 28"), std::string::npos);
    EXPECT_NE(message("AEAD_AES_128_GCM inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ").find("needs a key of 28"), std::string::npos);
    EXPECT_NE(message("F8_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ").find("unknown SRTP suite 'F8_128_HMAC_SHA1_80' (known: AES_CM_128_HMAC_SHA1_80"), std::string::npos);
    for (const char* bad : {"UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ", "inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ",
                            "AES_CM_128_HMAC_SHA1_80 UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ",
                            "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8j!Q",
                            "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ|2^x",
                            "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ|1:300",
                            "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ extra"}) {
        const std::string said = message(bad);
        EXPECT_NE(said, "accepted") << bad;
        EXPECT_EQ(said.find("UR46zfKs"), std::string::npos) << said;
    }
    // Lifetime and identifier both, and several keys told apart by it.
    const srtp_key two = parse_srtp_key(
        "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ|2^20|1:2;"
        "inline:QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5|2^20|2:2");
    ASSERT_EQ(two.keys.size(), 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(two.keys[1].mki.view().begin(), two.keys[1].mki.view().end()),
              (std::vector<std::uint8_t>{0, 2}));
    srtp_session sender(two, session_direction::outbound);
    srtp_session receiver(two, session_direction::inbound);
    std::vector<std::uint8_t> packet = rtp_packet_bytes(1);
    ASSERT_TRUE(sender.protect_rtp(packet));
    EXPECT_EQ(packet.size(), 12u + 24 + 2 + 10);
    EXPECT_EQ(take(receiver, packet), unprotect_result::ok);
}

}  // namespace
}  // namespace g723::rtp::srtp
