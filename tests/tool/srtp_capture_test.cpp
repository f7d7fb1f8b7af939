// SPDX-License-Identifier: BSD-2-Clause
// g723 pcap on SRTP calls: captures written with libpcap of calls whose
// packets libsrtp protected, decoded by the tool with the keys of the
// capture's SDP or keys given, against the same call in the clear; streams
// without a key; packets forged, damaged or replayed; sequence wraps.
#include <filesystem>
#include <map>

#include "rtp/srtp/srtp_session.h"
#include "rtp_capture.h"
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

using rtp::srtp::parse_srtp_key;
using rtp::srtp::session_direction;
using rtp::srtp::srtp_session;

// The offerer's two keys and the answerer's key (all test values).
constexpr const char* a_key_80 = "UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";
constexpr const char* a_key_32 = "QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5";
constexpr const char* b_key_32 = "K4LWjNRDDkKnvyHlHqhLXHVDB+9iO8tXvIs5AZTI";
constexpr const char* other_key = "KQyHF+JrZNLMfGAFgOYjhPusImxdCHvmk9+C3plL";

const udp_flow a_to_b{"192.0.2.1", "192.0.2.2", 4000, 5004};
const udp_flow b_to_a{"192.0.2.2", "192.0.2.1", 5004, 4000};
const udp_flow sip{"192.0.2.1", "192.0.2.2", 5060, 5060};

std::vector<rtp_packet_made> protect(std::vector<rtp_packet_made> packets, const std::string& key) {
    srtp_session session(parse_srtp_key(key), session_direction::outbound);
    for (rtp_packet_made& packet : packets) {
        std::vector<std::uint8_t> bytes(packet.bytes.begin(), packet.bytes.end());
        EXPECT_TRUE(session.protect_rtp(bytes));
        packet.bytes.assign(bytes.begin(), bytes.end());
    }
    return packets;
}

// An SRTCP receiver report from `ssrc`.
std::string protected_report(const std::string& key, std::uint32_t ssrc) {
    srtp_session session(parse_srtp_key(key), session_direction::outbound);
    std::vector<std::uint8_t> report = {0x80, 201, 0, 1, static_cast<std::uint8_t>(ssrc >> 24),
                                        static_cast<std::uint8_t>(ssrc >> 16), static_cast<std::uint8_t>(ssrc >> 8),
                                        static_cast<std::uint8_t>(ssrc)};
    EXPECT_TRUE(session.protect_rtcp(report));
    return {report.begin(), report.end()};
}

class srtp_capture : public ::testing::Test {
protected:
    void SetUp() override {
        frames_ = encode_sample(true);
        a_.ssrc = 0x0a0a0a0a;
        a_.frames_per_packet = 2;
        b_.ssrc = 0x0b0b0b0b;
        b_.sequence = 65500;  // wraps within the call
        b_.start_seconds = 1000.1;
    }

    // The call: SIP offer and answer (SRTP with these a=crypto lines, or
    // the clear profile), then both directions.
    void write_call(const std::string& name, bool srtp, const std::string& offer_crypto,
                    const std::string& answer_crypto, bool with_reports = false) {
        capture_file capture(dir_.path(name), link_kind::ethernet);
        const std::string transport = srtp ? "RTP/SAVP" : "RTP/AVP";
        capture.add_udp(999.0, sip, sip_with_sdp("INVITE sip:b@example.com SIP/2.0", "c1", "192.0.2.1", 4000, 4, transport, offer_crypto));
        capture.add_udp(999.2, {sip.destination, sip.source, 5060, 5060},
                        sip_with_sdp("SIP/2.0 200 OK", "c1", "192.0.2.2", 5004, 4, transport, answer_crypto));
        auto forward = packetize(frames_, a_);
        auto backward = packetize(frames_, b_);
        if (srtp) {
            forward = protect(forward, std::string("AES_CM_128_HMAC_SHA1_32 inline:") + a_key_32);
            backward = protect(backward, std::string("AES_CM_128_HMAC_SHA1_32 inline:") + b_key_32);
        }
        for (const auto& p : forward) capture.add_udp(p.seconds, a_to_b, p.bytes);
        for (const auto& p : backward) capture.add_udp(p.seconds, b_to_a, p.bytes);
        if (with_reports) {
            capture.add_udp(1005.0, {"192.0.2.1", "192.0.2.2", 4001, 5005},
                            protected_report(std::string("AES_CM_128_HMAC_SHA1_32 inline:") + a_key_32, a_.ssrc));
            capture.add_udp(1005.1, {"192.0.2.2", "192.0.2.1", 5005, 4001},
                            protected_report(std::string("AES_CM_128_HMAC_SHA1_32 inline:") + b_key_32, b_.ssrc));
        }
    }

    tool_result pcap(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "pcap");
        return run_tool(arguments);
    }

    std::map<std::string, std::string> written(const std::string& directory) const {
        return directory_files(directory);
    }

    scratch_directory dir_;
    std::vector<slot> frames_;
    rtp_sender a_, b_;
};

TEST_F(srtp_capture, SdpKeysDecodeBothDirectionsAsTheClearCall) {
    // The offer has two suites; the answer takes tag 2, so each side sends
    // with its AES_CM_128_HMAC_SHA1_32 key.
    const std::string offer = std::string("a=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:") + a_key_80 +
                              "|2^20|1:4\r\na=crypto:2 AES_CM_128_HMAC_SHA1_32 inline:" + a_key_32 + "\r\n";
    const std::string answer = std::string("a=crypto:2 AES_CM_128_HMAC_SHA1_32 inline:") + b_key_32 + "\r\n";
    write_call("clear.pcap", false, "", "");
    write_call("srtp.pcap", true, offer, answer, true);
    for (const std::string option : {"--stereo", "--jobs=1"}) {
        const tool_result clear = pcap({option, dir_.path("clear.pcap"), dir_.path("clear")});
        const tool_result srtp = pcap({option, dir_.path("srtp.pcap"), dir_.path("srtp")});
        ASSERT_EQ(clear.exit_status, 0) << clear.err;
        ASSERT_EQ(srtp.exit_status, 0) << srtp.err;
        const auto clear_files = written(dir_.path("clear"));
        EXPECT_EQ(clear_files.size(), option == "--stereo" ? 1u : 2u);
        EXPECT_TRUE(written(dir_.path("srtp")) == clear_files) << srtp.out;
        EXPECT_EQ(srtp.out.find(a_key_32), std::string::npos);
        std::filesystem::remove_all(dir_.path("clear"));
        std::filesystem::remove_all(dir_.path("srtp"));
    }
    const tool_result json = pcap({"--json", dir_.path("srtp.pcap")});
    ASSERT_EQ(json.exit_status, 0) << json.err;
    const std::string stream =
        "\"encrypted\": true, \"srtp_suite\": \"AES_CM_128_HMAC_SHA1_32\", \"key_source\": \"SDP\", "
        "\"authentication_failures\": 0, \"replayed\": 0";
    // Both streams.
    EXPECT_NE(json.out.find(stream), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(stream), json.out.rfind(stream)) << json.out;
    EXPECT_NE(json.out.find("\"SRTCP packets\": 2"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"lost_packets\": 0"), std::string::npos) << json.out;
    const tool_result table = pcap({dir_.path("srtp.pcap")});
    EXPECT_NE(table.out.find("payload type 4 (SDP), SRTP AES_CM_128_HMAC_SHA1_32 (key from SDP)\n"), std::string::npos)
        << table.out;
}

TEST_F(srtp_capture, WithoutKeysTheStreamsAreListedAsEncryptedAndNothingIsWritten) {
    write_call("srtp.pcap", true, "", "");
    for (const std::string option : {"--stereo", "--jobs=2"}) {
        const tool_result result = pcap({option, dir_.path("srtp.pcap"), dir_.path("out")});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        EXPECT_TRUE(written(dir_.path("out")).empty()) << result.out;
        std::size_t listed = 0;
        for (std::size_t at = 0; (at = result.out.find(", SRTP: no key, not decoded\n", at)) != std::string::npos; ++at)
            ++listed;
        EXPECT_EQ(listed, 2u) << result.out;
        // Nothing of the ciphertext reaches the decoder.
        EXPECT_EQ(result.out.find("malformed  "), std::string::npos);
        EXPECT_NE(result.out.find("     1       0      0      0"), std::string::npos) << result.out;
    }
    // A key given for one direction decodes that one only.
    const tool_result given = pcap({"--srtp-key", std::string("192.0.2.2 AES_CM_128_HMAC_SHA1_32 inline:") + b_key_32,
                                    dir_.path("srtp.pcap"), dir_.path("out")});
    ASSERT_EQ(given.exit_status, 0) << given.err;
    EXPECT_EQ(written(dir_.path("out")).size(), 1u);
    EXPECT_NE(given.out.find("SRTP AES_CM_128_HMAC_SHA1_32 (key given)"), std::string::npos) << given.out;
    EXPECT_NE(given.out.find("SRTP: no key"), std::string::npos) << given.out;
}

TEST_F(srtp_capture, GivenKeysByPortSsrcOrFileAndPacketsThatFail) {
    // No SIP at all: the keys come from elsewhere. One packet of the
    // forward stream is damaged, one comes twice; the backward stream's key
    // is wrong.
    auto forward = protect(packetize(frames_, a_), std::string("AES_CM_128_HMAC_SHA1_80 inline:") + a_key_80);
    const auto backward = protect(packetize(frames_, b_), std::string("AEAD_AES_128_GCM inline:TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ=="));
    const std::size_t damaged = 20;
    forward[damaged].bytes[14] = static_cast<char>(forward[damaged].bytes[14] ^ 0x40);
    {
        capture_file capture(dir_.path("keys.pcap"), link_kind::ethernet);
        for (std::size_t i = 0; i < forward.size(); ++i) {
            capture.add_udp(forward[i].seconds, a_to_b, forward[i].bytes);
            if (i == 30) capture.add_udp(forward[i].seconds + 0.001, a_to_b, forward[i].bytes);
        }
        for (const auto& p : backward) capture.add_udp(p.seconds, b_to_a, p.bytes);
    }
    write_file(dir_.path("keys.txt"), std::string("# from the PBX\n\n0x0A0A0A0A AES_CM_128_HMAC_SHA1_80 inline:") +
                                          a_key_80 + "\n:5004 AEAD_AES_128_GCM inline:" +
                                          "ivywHJ44GPE1sao9DONXbgFLr0Ci6peHXgFtpCsh"  // 30 bytes: wrong for GCM
                                          "\n");
    const tool_result refused = pcap({"--srtp-key-file", dir_.path("keys.txt"), dir_.path("keys.pcap")});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.err, "g723: " + dir_.path("keys.txt") +
                               ": line 4: AEAD_AES_128_GCM needs a key of 28 bytes (16 of master key, 12 of salt: "
                               "38 base64 characters); this one has 30\n");
    write_file(dir_.path("keys.txt"), std::string("0x0a0a0a0a AES_CM_128_HMAC_SHA1_80 inline:") + a_key_80 + "\n");
    for (const std::vector<std::string>& keys :
         {std::vector<std::string>{"--srtp-key-file", dir_.path("keys.txt")},
          std::vector<std::string>{"--srtp-key", std::string("192.0.2.1:4000 AES_CM_128_HMAC_SHA1_80 inline:") + a_key_80}}) {
        std::vector<std::string> arguments = keys;
        arguments.insert(arguments.end(), {"--srtp-key", std::string(":5004 AEAD_AES_128_GCM inline:") +
                                                             "TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ==",
                                           dir_.path("keys.pcap"), dir_.path("out")});
        const tool_result result = pcap(arguments);
        ASSERT_EQ(result.exit_status, 0) << result.err;
        EXPECT_NE(result.out.find("SRTP AES_CM_128_HMAC_SHA1_80 (key given), 1 failed authentication, 1 replayed"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("SRTP AEAD_AES_128_GCM (key given)\n"), std::string::npos) << result.out;
        // The damaged packet's frames are concealed as lost, as if it had
        // never come.
        const auto files = written(dir_.path("out"));
        ASSERT_EQ(files.size(), 2u);
        const audio forward_audio = read_audio(dir_.path("out") + "/" + files.begin()->first);
        std::set<std::size_t> lost{forward[damaged].first_frame, forward[damaged].first_frame + 1};
        const auto expected = decode_frames(frames_, 0, forward.back().first_frame + forward.back().frames - 1, lost);
        EXPECT_TRUE(forward_audio.samples == expected);
        std::filesystem::remove_all(dir_.path("out"));
    }
    // Another key for the backward stream: every packet fails, no file.
    const tool_result wrong = pcap({"--srtp-key", std::string("0x0b0b0b0b AES_CM_128_HMAC_SHA1_80 inline:") + other_key,
                                    dir_.path("keys.pcap"), dir_.path("out")});
    ASSERT_EQ(wrong.exit_status, 0) << wrong.err;
    EXPECT_EQ(written(dir_.path("out")).size(), 1u);
    EXPECT_NE(wrong.out.find("(key given), " + std::to_string(packetize(frames_, b_).size()) + " failed authentication"),
              std::string::npos)
        << wrong.out;
}

TEST_F(srtp_capture, KeysThatCannotBeUsedAreClearErrorsThatNeverShowThem) {
    write_call("srtp.pcap", true, "", "");
    const std::pair<std::string, std::string> cases[] = {
        {"192.0.2.1 AES_CM_128_HMAC_SHA1_80 inline:lE1zfTz4uUGhcL6VDM9uBKSCiZc4K+GdDsfjdTU=",
         "g723: pcap: --srtp-key: AES_CM_128_HMAC_SHA1_80 needs a key of 30 bytes (16 of master key, 14 of salt: 40 "
         "base64 characters); this one has 29 (see 'g723 pcap --help')\n"},
        {"192.0.2.1 AES_CM_256_HMAC_SHA1_80 inline:lE1zfTz4uUGhcL6VDM9uBKSCiZc4K+GdDsfjdTU=",
         "g723: pcap: --srtp-key: unknown SRTP suite 'AES_CM_256_HMAC_SHA1_80' (known: AES_CM_128_HMAC_SHA1_80, "
         "AES_CM_128_HMAC_SHA1_32, AES_192_CM_HMAC_SHA1_80, AES_192_CM_HMAC_SHA1_32, AES_256_CM_HMAC_SHA1_80, "
         "AES_256_CM_HMAC_SHA1_32, AEAD_AES_128_GCM, AEAD_AES_256_GCM) (see 'g723 pcap --help')\n"},
        {"lE1zfTz4uUGhcL6VDM9uBKSCiZc4K+GdDsfjdTU= AES_CM_128_HMAC_SHA1_80",
         "g723: pcap: --srtp-key: an SRTP key's first word names no stream: give ADDRESS, ADDRESS:PORT, [IPv6]:PORT, "
         ":PORT or an SSRC as 0x and hexadecimal digits, then SUITE inline:KEY (see 'g723 pcap --help')\n"},
    };
    for (const auto& [key, message] : cases) {
        const tool_result result = pcap({"--srtp-key", key, dir_.path("srtp.pcap")});
        EXPECT_EQ(result.exit_status, 2);
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(srtp_capture, RolloverCounterCarriesThroughALongCapture) {
    // More than 65,536 packets of one stream, from sequence 60,000: the
    // numbers wrap after 5,536 of them, and every packet after must still
    // decrypt.
    std::vector<slot> frames;
    while (frames.size() < 66000) frames.insert(frames.end(), frames_.begin(), frames_.end());
    for (slot& frame : frames) {
        // Speech frames only: one packet per frame.
        if ((frame[0] & 3) != 0) frame = frames_[2];
    }
    rtp_sender sender;
    sender.sequence = 60000;
    const auto packets = protect(packetize(frames, sender), std::string("AEAD_AES_256_GCM inline:") +
                                                                "rhCtB8M/MtAV35yLZwQi4cqEu6+lVwi74+4yh1w/qIdxy+cLai4Y1Zr9BO4=");
    ASSERT_GT(packets.size(), 65536u);
    {
        capture_file capture(dir_.path("long.pcap"), link_kind::raw_ip);
        for (const auto& p : packets) capture.add_udp(p.seconds, a_to_b, p.bytes);
    }
    const tool_result result = pcap({"--json", "--srtp-key",
                                     "0x11223344 AEAD_AES_256_GCM inline:rhCtB8M/MtAV35yLZwQi4cqEu6+lVwi74+4yh1w/qIdxy+cLai4Y1Zr9BO4=",
                                     dir_.path("long.pcap")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.out.find("\"packets\": " + std::to_string(packets.size()) + ", "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"lost_packets\": 0"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"authentication_failures\": 0, \"replayed\": 0"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace g723::tool_test
