// SPDX-License-Identifier: BSD-2-Clause
// Compound RTCP as other endpoints send it: application packets and later
// reports read past, SDES chunks of other sources and items other than the
// CNAME skipped, padding taken off the last packet only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtp/packet/rtcp_packet.h"

namespace g723::rtp {
namespace {

using bytes = std::vector<std::uint8_t>;

void put32(bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

bytes packet(std::uint8_t flags, std::uint8_t type, const bytes& body) {
    bytes out{flags, type, 0, static_cast<std::uint8_t>((4 + body.size()) / 4 - 1)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(rtcp_packet, ForeignPacketsOtherSourcesAndPaddingAreReadPast) {
    constexpr std::uint32_t own = 0x11111111;
    bytes receiver_report;
    put32(receiver_report, own);
    bytes description;
    put32(description, 0x22222222);
    for (const char c : std::string("\x01\x05other\x00", 8)) description.push_back(static_cast<std::uint8_t>(c));
    description.resize(12, 0);
    put32(description, own);
    for (const char c : std::string("\x02\x01n\x01\x04mine\x00", 10)) description.push_back(static_cast<std::uint8_t>(c));
    description.resize(28, 0);
    bytes application;
    put32(application, own);
    for (const char c : std::string("TEST")) application.push_back(static_cast<std::uint8_t>(c));
    bytes later_report;
    put32(later_report, 0x33333333);
    for (int i = 0; i < 5; ++i) put32(later_report, 1000 + i);  // sender info
    for (int i = 0; i < 6; ++i) put32(later_report, 0x44);      // a block
    bytes goodbye;
    put32(goodbye, own);
    goodbye.insert(goodbye.end(), {0, 0, 0, 4});  // padding

    bytes compound = packet(0x80, rtcp_receiver_report, receiver_report);
    for (const bytes& part : {packet(0x82, rtcp_source_description, description), packet(0x80, 204, application),
                              packet(0x81, rtcp_sender_report, later_report)}) {
        compound.insert(compound.end(), part.begin(), part.end());
    }
    const std::size_t last = compound.size();
    const bytes bye = packet(0xa1, rtcp_goodbye, goodbye);
    compound.insert(compound.end(), bye.begin(), bye.end());
    EXPECT_TRUE(is_rtcp(compound));

    rtcp_compound read;
    ASSERT_EQ(parse_rtcp_compound(compound, read), rtcp_parse_result::ok);
    EXPECT_EQ(read.ssrc, own);
    EXPECT_FALSE(read.sender);      // the later report's is not the first report's
    EXPECT_TRUE(read.blocks.empty());
    EXPECT_EQ(read.cname, "mine");  // not the other source's, nor its NAME
    EXPECT_EQ(read.bye, std::vector<std::uint32_t>{own});

    // Padding: a count of zero, more than the packet holds, or on a packet
    // that is not the last.
    for (const std::uint8_t count : {std::uint8_t{0}, std::uint8_t{9}}) {
        bytes bad = compound;
        bad.back() = count;
        EXPECT_EQ(parse_rtcp_compound(bad, read), rtcp_parse_result::bad_padding) << int{count};
    }
    bytes early = compound;
    early[last - 52] |= 0x20;  // the SR before the BYE
    EXPECT_EQ(parse_rtcp_compound(early, read), rtcp_parse_result::bad_padding);
    // An SDES chunk that runs past its packet.
    bytes cut = compound;
    cut[8 + 4 + 4] = 0x01;
    cut[8 + 4 + 5] = 0x40;
    EXPECT_EQ(parse_rtcp_compound(cut, read), rtcp_parse_result::bad_length);
    EXPECT_EQ(read.cname, "mine");  // unchanged by what was refused

    for (const rtcp_parse_result result :
         {rtcp_parse_result::ok, rtcp_parse_result::too_short, rtcp_parse_result::not_version_2,
          rtcp_parse_result::not_a_report, rtcp_parse_result::bad_length, rtcp_parse_result::bad_padding}) {
        EXPECT_FALSE(describe(result).empty());
        EXPECT_NE(describe(result), "?");
    }
    EXPECT_EQ(describe(rtcp_parse_result::ok), "a valid RTCP compound packet");
}

}  // namespace
}  // namespace g723::rtp
