// SPDX-License-Identifier: BSD-2-Clause
// SIP messages and SDP bodies as they come: compact headers, bare LF
// lines, session- and media-level addresses, G.723.1 under any type.
#include "rtp/sdp/session_description.h"

#include <gtest/gtest.h>

#include "rtp/sdp/sip_message.h"

namespace g723::rtp::sdp {
namespace {

TEST(sip_and_sdp, FindTheG723FormatsOfEachAudioMedia) {
    const std::string body =
        "v=0\r\nc=IN IP4 192.0.2.10\r\nm=video 5000 RTP/AVP 31\r\n"
        "m=audio 49170 RTP/AVP 0 4 97 101\r\na=rtpmap:97 g723/8000/1\r\n"
        "a=fmtp:97 bitrate=6.3; annexa=no\r\na=rtpmap:101 telephone-event/8000\r\n"
        "m=audio 49180/2 RTP/SAVP 98 4\r\nc=IN IP6 2001:db8::5\r\na=rtpmap:98 G723/16000\r\n"
        "a=rtpmap:4 PCMU/8000\r\n";
    const std::string text =
        "INVITE sip:bob@example.com SIP/2.0\nv: SIP/2.0/UDP x\ni: abc@host\n"
        "c: Application/SDP;charset=x\nl: " +
        std::to_string(body.size()) + "\n\n" + body + "trailing bytes beyond the length";
    const auto message = parse_sip_message(text);
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->request);
    EXPECT_EQ(message->method, "INVITE");
    EXPECT_EQ(message->call_id, "abc@host");
    EXPECT_EQ(message->content_type, "application/sdp");
    EXPECT_EQ(message->body, body);

    const session_description session = parse_session_description(message->body);
    ASSERT_EQ(session.media.size(), 3u);
    EXPECT_TRUE(g723_formats(session.media[0]).empty());  // video
    const media_description& audio = session.media[1];
    EXPECT_EQ(audio.address, "192.0.2.10");
    EXPECT_EQ(audio.port, 49170);
    const auto formats = g723_formats(audio);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].payload_type, 4u);
    EXPECT_FALSE(formats[0].annex_a);
    EXPECT_EQ(formats[1].payload_type, 97u);
    EXPECT_EQ(formats[1].annex_a, false);
    // Its own address; a 16 kHz clock is not G.723.1, nor is type 4 renamed.
    EXPECT_EQ(session.media[2].address, "2001:db8::5");
    EXPECT_EQ(session.media[2].port, 49180);
    EXPECT_TRUE(g723_formats(session.media[2]).empty());

    // A connection line without its address, or of another network type,
    // gives no address: neither the session's nor a medium's.
    const session_description partial =
        parse_session_description("v=0\r\nc=IN IP4\r\nm=audio 5004 RTP/AVP 4\r\nc=ATM NSAP 47\r\n");
    ASSERT_EQ(partial.media.size(), 1u);
    EXPECT_EQ(partial.media[0].address, "");
}

TEST(sip_and_sdp, ResponsesAndWhatIsNotSip) {
    const auto ok = parse_sip_message("SIP/2.0 200 OK\r\nCSeq: 1 INVITE\r\nCall-ID: x\r\n\r\n");
    ASSERT_TRUE(ok);
    EXPECT_FALSE(ok->request);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(ok->method, "INVITE");
    EXPECT_EQ(ok->body, "");
    for (const char* text : {"", "SIP/2.0 2x0 OK\r\n", "SIP/2.0 999 No\r\n", "GET / HTTP/1.1\r\n",
                             "IN VITE x SIP/2.0\r\n", "\x80\x04\x00\x01"}) {
        EXPECT_FALSE(parse_sip_message(text)) << text;
    }
    // Damaged lines are passed over.
    const auto partial =
        parse_session_description("m=audio\nm=audio x RTP/AVP 4\na=rtpmap:\nc=IN\n");
    ASSERT_EQ(partial.media.size(), 2u);
    EXPECT_EQ(partial.media[1].port, 0);
    EXPECT_EQ(g723_formats(partial.media[1]).size(), 1u);
}

}  // namespace
}  // namespace g723::rtp::sdp
