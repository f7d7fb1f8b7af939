// SPDX-License-Identifier: BSD-2-Clause
// The forms an SDES key comes in (padding, lifetimes, identifiers, several
// keys, key files) and each malformed one refused with its reason; the
// sessions libsrtp will not make refused the same way.
#include "rtp/srtp/srtp_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtp/srtp/srtp_session.h"

namespace g723::rtp::srtp {
namespace {

constexpr std::string_view key_80 = "UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";
constexpr std::string_view gcm_128 = "TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ";  // 28 bytes, no padding

std::string refusal(const std::string& text) {
    try {
        parse_srtp_key(text);
    } catch (const srtp_key_error& error) {
        return error.what();
    }
    return "accepted";
}

TEST(srtp_key, EveryFormOfAKeyAndEveryWayOneIsWrong) {
    // The suites, in their order, with their names.
    ASSERT_EQ(srtp_suites().size(), 8u);
    for (std::size_t i = 0; i < srtp_suites().size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(srtp_suites()[i].suite), i);
        EXPECT_EQ(&describe(srtp_suites()[i].suite), &srtp_suites()[i]);
        EXPECT_NE(suite_names().find(srtp_suites()[i].name), std::string::npos);
    }
    EXPECT_EQ(suite_names().find(", "), std::string("AES_CM_128_HMAC_SHA1_80").size());

    // Base64 with and without padding, and spaces, tabs and CR around.
    const std::string gcm = std::string(gcm_128);
    for (const std::string& text : {"AEAD_AES_128_GCM inline:" + gcm, "AEAD_AES_128_GCM inline:" + gcm + "==",
                                    " \tAEAD_AES_128_GCM\t inline:" + gcm + "= \t\r"}) {
        const srtp_key key = parse_srtp_key(text);
        EXPECT_EQ(key.suite, srtp_suite::aead_aes_128_gcm) << text;
        ASSERT_EQ(key.keys.size(), 1u);
        EXPECT_EQ(key.keys[0].key_and_salt.size(), 28u);
        EXPECT_EQ(key.keys[0].key_and_salt.view()[0], 0x4c);  // 'T','D' = 19,3
        EXPECT_EQ(key.keys[0].mki.size(), 0u);
    }
    // Identifiers: the value in the last bytes, big-endian.
    const srtp_key nine = parse_srtp_key("AES_CM_128_HMAC_SHA1_80 inline:" + std::string(key_80) + "|1048576|258:9");
    EXPECT_EQ(std::vector<std::uint8_t>(nine.keys[0].mki.view().begin(), nine.keys[0].mki.view().end()),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 1, 2}));

    const std::string prefix = "AES_CM_128_HMAC_SHA1_80 inline:" + std::string(key_80);
    const std::string not_base64 = "the SRTP key is not base64";
    const std::string lifetime = "the SRTP key's lifetime is not a number or 2^N";
    const std::string mki = "the key's master key identifier is not VALUE:LENGTH, LENGTH 1 to 128";
    const std::string one_length = "several SRTP keys need identifiers of one length";
    struct refused {
        std::string text;
        std::string why;
    };
    std::string seventeen = prefix + "|1:1";
    for (int i = 2; i <= 17; ++i) seventeen += ";inline:" + std::string(key_80) + "|" + std::to_string(i) + ":1";
    for (const refused& r : {
             refused{"AEAD_AES_128_GCM inline:" + gcm.substr(0, gcm.size() - 1) + "R", not_base64},  // bits left over
             refused{"AEAD_AES_128_GCM inline:" + gcm + "AAA", not_base64},  // 4n+1 characters
             refused{"AEAD_AES_128_GCM inline:" + gcm.substr(0, 10) + "-" + gcm.substr(11), not_base64},
             refused{prefix + "|", lifetime},
             refused{prefix + "|2^", lifetime},
             refused{prefix + "|2^20|2^20", lifetime},
             refused{prefix + "|2^123456789012345678901", lifetime},
             refused{prefix + "|1:4|2^20", "the SRTP key has fields after its identifier"},
             refused{prefix + "|:4", mki},
             refused{prefix + "|x:4", mki},
             refused{prefix + "|1:", mki},
             refused{prefix + "|1:4x", mki},
             refused{prefix + "|1:0", mki},
             refused{prefix + "|1:129", mki},
             refused{prefix + "|256:1", mki},
             refused{prefix + ";inline:" + std::string(key_80), one_length},
             refused{prefix + "|1:1;inline:" + std::string(key_80) + "|2:2", one_length},
             refused{prefix + "|1:1;inline:" + std::string(key_80), one_length},
             refused{seventeen, "more than 16 SRTP master keys"},
             refused{"AES_CM_128_HMAC_SHA1_80", "no SRTP key given"},
             refused{"AES_CM_128_HMAC_SHA1_80 inline:" + std::string(key_80) + " trailing",
                     "an SRTP key is 'SUITE inline:KEY', with nothing after the key"},
             refused{"inline:" + std::string(key_80), "an SRTP key is 'SUITE inline:KEY': the suite is missing"},
         }) {
        EXPECT_EQ(refusal(r.text), r.why) << r.text;
    }
    // A suite is said back only when it looks like a suite's name.
    for (const std::string& name : {std::string("aes_cm_128_hmac_sha1_80"), std::string(key_80), std::string(33, 'A')}) {
        const std::string said = refusal(name + " inline:" + std::string(key_80));
        EXPECT_EQ(said.find(name), std::string::npos) << said;
        EXPECT_EQ(said.substr(0, 27), "unknown SRTP suite (known: ");
    }
    const std::string sixteen = seventeen.substr(0, seventeen.rfind(';'));
    EXPECT_EQ(parse_srtp_key(sixteen).keys.size(), 16u);
}

TEST(srtp_key, KeyFilesGiveTheirKeyLinesWithTheirNumbers) {
    const std::string text = "# keys of the call\n\n  AES_CM_128_HMAC_SHA1_80 inline:A  \r\n\t\r\n\tB\n   # late\nC";
    const auto lines = key_file_lines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].number, 3u);
    EXPECT_EQ(lines[0].text, "AES_CM_128_HMAC_SHA1_80 inline:A");
    EXPECT_EQ(lines[1].number, 5u);
    EXPECT_EQ(lines[1].text, "B");
    EXPECT_EQ(lines[2].number, 7u);
    EXPECT_EQ(lines[2].text, "C");
    EXPECT_TRUE(key_file_lines("").empty());
    EXPECT_TRUE(key_file_lines("\n\n#\n").empty());
}

TEST(srtp_session, SessionsLibsrtpCannotMakeAreRefusedAndOthersMove) {
    const srtp_key key = parse_srtp_key("AES_CM_128_HMAC_SHA1_80 inline:" + std::string(key_80));
    EXPECT_THROW(srtp_session(srtp_key{}, session_direction::inbound), srtp_key_error);
    try {
        srtp_session narrow(key, session_direction::inbound, 10);  // narrower than libsrtp allows
        FAIL() << "a window of 10 was taken";
    } catch (const srtp_key_error& error) {
        EXPECT_EQ(std::string(error.what()).substr(0, 48), "libsrtp refuses the AES_CM_128_HMAC_SHA1_80 key ");
    }
    for (const unprotect_result result : {unprotect_result::ok, unprotect_result::failed, unprotect_result::replayed,
                                          unprotect_result::malformed}) {
        EXPECT_FALSE(describe(result).empty());
    }
    EXPECT_EQ(describe(unprotect_result::failed), "failed authentication");

    srtp_session first(key, session_direction::outbound);
    srtp_session sender(std::move(first));  // the moved-from one frees nothing twice
    srtp_session receiver(key, session_direction::inbound);
    std::vector<std::uint8_t> short_rtp(11, 0x80), short_rtcp(7, 0x80);
    EXPECT_FALSE(sender.protect_rtp(short_rtp));
    EXPECT_FALSE(sender.protect_rtcp(short_rtcp));
    EXPECT_EQ(short_rtp.size(), 11u);
    std::size_t length = 0;
    EXPECT_EQ(receiver.unprotect_rtp(short_rtp, length), unprotect_result::malformed);
    EXPECT_EQ(receiver.unprotect_rtcp(short_rtcp, length), unprotect_result::malformed);
    std::vector<std::uint8_t> packet = {0x80, 4, 0, 1, 0, 0, 0, 240, 1, 2, 3, 4, 9, 9, 9, 9};
    const std::vector<std::uint8_t> clear = packet;
    ASSERT_TRUE(sender.protect_rtp(packet));
    ASSERT_EQ(receiver.unprotect_rtp(packet, length), unprotect_result::ok);
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(length)), clear);
}

}  // namespace
}  // namespace g723::rtp::srtp
