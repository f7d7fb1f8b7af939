// SPDX-License-Identifier: BSD-2-Clause
// The receiving end of a live SRTP call: SRTP and SRTCP on one port
// opened as each, and every refusal counted by the SSRC it claims, with
// no more SSRCs kept than a bound however many a forger makes up.
#include "rtp/srtp/srtp_inbound.h"

#include <gtest/gtest.h>

#include <vector>

#include "rtp/packet/rtcp_packet.h"
#include "rtp/packet/rtp_packet.h"

namespace g723::rtp::srtp {
namespace {

constexpr const char* key_text = "AES_CM_128_HMAC_SHA1_32 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";

std::vector<std::uint8_t> clear_rtp(std::uint16_t sequence, std::uint32_t ssrc) {
    std::vector<std::uint8_t> payload(24, static_cast<std::uint8_t>(sequence));
    rtp_packet packet;
    packet.payload_type = 4;
    packet.sequence = sequence;
    packet.timestamp = 240u * sequence;
    packet.ssrc = ssrc;
    packet.payload = payload;
    std::vector<std::uint8_t> bytes(rtp_header_bytes + payload.size());
    write_rtp_packet(packet, bytes);
    return bytes;
}

TEST(srtp_inbound, OpensWhatAuthenticatesAndCountsTheRestBySsrc) {
    const srtp_key key = parse_srtp_key(key_text);
    srtp_session sender(key, session_direction::outbound);
    srtp_inbound inbound(key);
    EXPECT_EQ(inbound.suite(), "AES_CM_128_HMAC_SHA1_32");

    for (std::uint16_t sequence = 1; sequence <= 3; ++sequence) {
        const std::vector<std::uint8_t> clear = clear_rtp(sequence, 0xaaaa0001);
        std::vector<std::uint8_t> sent = clear;
        ASSERT_TRUE(sender.protect_rtp(sent));
        std::vector<std::uint8_t> copy = sent;
        const auto opened = inbound.open(sent);
        ASSERT_TRUE(opened);
        EXPECT_EQ(std::vector<std::uint8_t>(opened->begin(), opened->end()), clear);
        // The same packet again is a replay.
        EXPECT_FALSE(inbound.open(copy));
    }
    // SRTCP on the same port: a receiver report, opened as SRTCP.
    rtcp_compound report;
    report.ssrc = 0xaaaa0001;
    report.cname = "a@b";
    const std::vector<std::uint8_t> clear_report = write_rtcp_compound(report);
    std::vector<std::uint8_t> srtcp = clear_report;
    ASSERT_TRUE(sender.protect_rtcp(srtcp));
    std::vector<std::uint8_t> damaged_srtcp = srtcp;
    damaged_srtcp[10] ^= 0x40;
    EXPECT_FALSE(inbound.open(damaged_srtcp));
    const auto opened = inbound.open(srtcp);
    ASSERT_TRUE(opened);
    EXPECT_EQ(std::vector<std::uint8_t>(opened->begin(), opened->end()), clear_report);

    // A forged packet of another source, and one too short to name one.
    std::vector<std::uint8_t> forged = clear_rtp(9, 0xbbbb0002);
    forged.resize(forged.size() + 4, 0);
    EXPECT_FALSE(inbound.open(forged));
    std::vector<std::uint8_t> stub = {0x80, 4, 0, 1, 0, 0};
    EXPECT_FALSE(inbound.open(stub));

    EXPECT_EQ(inbound.refused().replayed, 3u);
    EXPECT_EQ(inbound.refused().failed, 3u);
    const auto& by_ssrc = inbound.refused_by_ssrc();
    ASSERT_EQ(by_ssrc.size(), 2u);
    EXPECT_EQ(by_ssrc.at(0xaaaa0001).replayed, 3u);
    EXPECT_EQ(by_ssrc.at(0xaaaa0001).failed, 1u);
    EXPECT_EQ(by_ssrc.at(0xbbbb0002).failed, 1u);

    // A spray of made-up SSRCs: counted in the total, but the map stops
    // growing at its bound; SSRCs already in it go on being counted.
    for (std::uint32_t ssrc = 0; ssrc < 1100; ++ssrc) {
        std::vector<std::uint8_t> spray = clear_rtp(1, 0x10000 + ssrc);
        spray.resize(spray.size() + 4, 0);
        EXPECT_FALSE(inbound.open(spray));
    }
    std::vector<std::uint8_t> again = forged;
    EXPECT_FALSE(inbound.open(again));
    EXPECT_EQ(inbound.refused().failed, 3u + 1100 + 1);
    EXPECT_EQ(inbound.refused_by_ssrc().size(), 1024u);
    EXPECT_EQ(inbound.refused_by_ssrc().at(0xbbbb0002).failed, 2u);
}

}  // namespace
}  // namespace g723::rtp::srtp
