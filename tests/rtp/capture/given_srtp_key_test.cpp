// SPDX-License-Identifier: BSD-2-Clause
// Keys given for a capture's streams: each way of naming the stream, the
// stream they then name, and malformed lines refused with the line's
// number and never the key.
#include "rtp/capture/given_srtp_key.h"

#include <gtest/gtest.h>

#include <string>

#include "rtp/capture/stream_decryption.h"

namespace g723::rtp {
namespace {

constexpr std::string_view key = "AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";

stream_key from(const char* address, std::uint16_t port, std::uint32_t ssrc) {
    return {{*capture::parse_ip_address(address), port}, {*capture::parse_ip_address("192.0.2.99"), 9000}, ssrc};
}

std::string refusal(const std::string& text) {
    try {
        parse_given_srtp_key(text);
    } catch (const srtp::srtp_key_error& error) {
        return error.what();
    }
    return "accepted";
}

TEST(given_srtp_key, EachFormNamesItsStreams) {
    struct form {
        const char* stream;
        bool names_v4_49170;     // 192.0.2.10:49170
        bool names_v4_other;     // 192.0.2.10:50000
        bool names_v6_49170;     // [2001:db8::1]:49170
        bool names_ssrc;         // ssrc 0x1a2b3c4d from elsewhere
    };
    for (const form& f : {form{"192.0.2.10", true, true, false, false},
                          form{"192.0.2.10:49170", true, false, false, false},
                          form{"[2001:db8::1]:49170", false, false, true, false},
                          form{"[2001:db8::1]", false, false, true, false},
                          form{"2001:db8::1", false, false, true, false},
                          form{":49170", true, false, true, false},
                          form{"0x1a2b3c4d", false, false, false, true},
                          form{"0X1A2B3C4D", false, false, false, true}}) {
        SCOPED_TRACE(f.stream);
        const given_srtp_key given = parse_given_srtp_key(std::string(f.stream) + "  " + std::string(key));
        EXPECT_EQ(given.key.keys.size(), 1u);
        EXPECT_EQ(names_stream(given, from("192.0.2.10", 49170, 7)), f.names_v4_49170);
        EXPECT_EQ(names_stream(given, from("192.0.2.10", 50000, 7)), f.names_v4_other);
        EXPECT_EQ(names_stream(given, from("2001:db8::1", 49170, 7)), f.names_v6_49170);
        EXPECT_EQ(names_stream(given, from("198.51.100.1", 1, 0x1a2b3c4d)), f.names_ssrc);
    }

    const std::string no_stream = "an SRTP key's first word names no stream";
    for (const char* stream : {"0x", "0x123456789", "0xg", "[2001:db8::1", "[2001:db8::1]49170", "[2001:db8::1]:",
                               "192.0.2.10:", "192.0.2.10:0", "192.0.2.10:65536", "192.0.2.10:x", "192.0.2.300",
                               "[192.0.2.10:5]:5", "host.example:5004", ":"}) {
        const std::string said = refusal(std::string(stream) + " " + std::string(key));
        EXPECT_EQ(said.substr(0, no_stream.size()), no_stream) << stream;
        EXPECT_EQ(said.find("UR46"), std::string::npos);
    }
    EXPECT_EQ(refusal(""), "an SRTP key is 'STREAM SUITE inline:KEY', and this one is empty");
    EXPECT_EQ(refusal(std::string(key)), "an SRTP key is 'STREAM SUITE inline:KEY': the stream is missing");
    EXPECT_EQ(refusal("inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ"),
              "an SRTP key is 'STREAM SUITE inline:KEY': the stream is missing");
    EXPECT_EQ(refusal("AEAD_AES_128_GCM inline:x"), "an SRTP key is 'STREAM SUITE inline:KEY': the stream is missing");
    EXPECT_EQ(refusal("192.0.2.10 AES_CM_128_HMAC_SHA1_80 inline:AAAA").substr(0, 41),
              "AES_CM_128_HMAC_SHA1_80 needs a key of 30");
}

TEST(given_srtp_key, KeyFilesAreReadLineByLineAndErrorsNameTheLine) {
    const std::string file = "# the PBX's keys\n192.0.2.10:49170 " + std::string(key) + "\n\n  0xabc " +
                             std::string(key) + "\r\n";
    const auto keys = parse_srtp_key_file(file);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].port, 49170);
    EXPECT_EQ(keys[1].ssrc, 0xabcu);
    EXPECT_TRUE(parse_srtp_key_file("#\n\n").empty());
    try {
        parse_srtp_key_file(file + "\n192.0.2.11 AES_CM_128_HMAC_SHA1_80 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm\n");
        FAIL() << "a short key was taken";
    } catch (const srtp::srtp_key_error& error) {
        const std::string said = error.what();
        EXPECT_EQ(said.substr(0, 8), "line 6: ") << said;
        EXPECT_EQ(said.find("UR46"), std::string::npos) << said;
    }
}

}  // namespace
}  // namespace g723::rtp
