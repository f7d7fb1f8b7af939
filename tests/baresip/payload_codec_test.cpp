// SPDX-License-Identifier: BSD-2-Clause
// The baresip module's handlers called as baresip calls them, against the
// library's own frame calls: what each packet time sends for 1 to 3 frames
// a packet and each annexa agreement, what a payload of any frames
// decodes to in the room given, and the errors a host can cause.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/codec_test_support.h"

extern "C" {
#include "baresip/payload_codec.h"
}

namespace {

using bytes = std::vector<uint8_t>;

constexpr std::size_t kFrame = G723_FRAME_SAMPLES;
constexpr std::size_t kFrameBytes[4] = {24, 20, 4, 1};

aucodec codec_with(const char* fmtp) {
    aucodec codec{};
    codec.pt = "4";
    codec.name = "G723";
    codec.srate = codec.crate = 8000;
    codec.ch = codec.pch = 1;
    codec.ptime = 30;
    codec.fmtp = fmtp;
    return codec;
}

struct call {
    auenc_state* encoder = nullptr;
    audec_state* decoder = nullptr;
    call(const aucodec& codec, const char* peer_fmtp) {
        auenc_param parameters{30, 0};
        EXPECT_EQ(g723_call_encoder_update(&encoder, &codec, &parameters, peer_fmtp), 0);
        EXPECT_EQ(g723_call_decoder_update(&decoder, &codec, peer_fmtp), 0);
    }
    ~call() {
        mem_deref(encoder);
        mem_deref(decoder);
    }
};

// The frames of a compact stream or payload, each as long as its header says.
std::vector<bytes> frames_of(const uint8_t* data, std::size_t length) {
    std::vector<bytes> frames;
    for (std::size_t at = 0; at < length; at += kFrameBytes[data[at] & 3])
        frames.emplace_back(data + at, data + at + kFrameBytes[data[at] & 3]);
    return frames;
}

std::vector<int16_t> decode_with_library(g723_decoder* decoder, const std::vector<bytes>& frames) {
    std::vector<int16_t> out;
    for (const bytes& frame : frames) {
        uint8_t slot[G723_SLOT_BYTES] = {};
        int16_t samples[kFrame];
        int32_t count = 0;
        std::memcpy(slot, frame.data(), frame.size());
        g723_decode_frame(decoder, slot, samples, 0, &count);
        out.insert(out.end(), samples, samples + kFrame);
    }
    return out;
}

}  // namespace

TEST(BaresipPayloadCodec, PacketsCarryTheEncodersFramesAndDecodeAsTheLibraryDoes) {
    // 4.5 s of the sample: two pauses, each with a talkspurt after it.
    std::vector<int16_t> speech = g723::test::speech_sample();
    ASSERT_GT(speech.size(), 150 * kFrame);
    speech.resize(150 * kFrame);
    struct agreement {
        const char* own;
        const char* peer;
        bool silence_compression;
        std::size_t per_packet;
    };
    const agreement agreements[] = {{"annexa=yes", nullptr, true, 1},
                                    {"annexa=yes", "annexa=yes", true, 2},
                                    {"annexa=yes", nullptr, true, 3},
                                    {"annexa=yes", "bitrate=6.3;ANNEXA=No", false, 2},
                                    {"annexa=no", "annexa=yes", false, 3}};
    for (const agreement& a : agreements) {
        const std::size_t per_packet = a.per_packet;
        SCOPED_TRACE(std::string(a.own) + " / " + (a.peer ? a.peer : "(none)") + ", " +
                     std::to_string(per_packet) + " frames a packet");
        const aucodec codec = codec_with(a.own);
        call module(codec, a.peer);
        g723_encoder* encoder = nullptr;
        g723_decoder* decoder = nullptr;
        ASSERT_EQ(g723_encoder_open(&encoder), g723_ok);
        ASSERT_EQ(g723_encoder_set_vad_mode(encoder, a.silence_compression, 1), g723_ok);
        ASSERT_EQ(g723_decoder_open(&decoder), g723_ok);

        bytes sid;
        bool speech_before = false, started = false;
        std::size_t sids = 0, untransmitted = 0, silent_packets = 0;
        std::vector<bytes> received;
        std::vector<int16_t> module_decoded;
        for (std::size_t at = 0; at + per_packet * kFrame <= speech.size(); at += per_packet * kFrame) {
            // What the library codes for this packet time, and what the
            // module should send for it.
            bytes expected, pending;
            bool speech_now = false;
            for (std::size_t f = 0; f < per_packet; ++f) {
                uint8_t slot[G723_SLOT_BYTES];
                int32_t length = 0;
                g723_encode_frame(encoder, &speech[at + f * kFrame], slot, &length);
                const unsigned code = slot[0] & 3;
                if (code == 3) {
                    ++untransmitted;
                    pending.insert(pending.end(), sid.begin(), sid.end());
                    continue;
                }
                if (code == 2) sid.assign(slot, slot + 4), ++sids;
                speech_now |= code == 0;
                expected.insert(expected.end(), pending.begin(), pending.end());
                expected.insert(expected.end(), slot, slot + kFrameBytes[code]);
                pending.clear();
            }
            uint8_t payload[3 * 24];
            std::size_t length = sizeof payload;
            bool marker = false;
            ASSERT_EQ(g723_call_encode(module.encoder, &marker, payload, &length, AUFMT_S16LE,
                                       &speech[at], per_packet * kFrame),
                      0);
            ASSERT_EQ(bytes(payload, payload + length), expected) << "packet time at sample " << at;
            EXPECT_EQ(marker, length > 0 && (!started || (speech_now && !speech_before)));
            started |= length > 0;
            speech_before = speech_now;
            silent_packets += length == 0;
            if (length == 0) continue;

            // The module's decoder against the library's on the same frames.
            std::vector<int16_t> out(24 * kFrame);
            std::size_t count = out.size();
            ASSERT_EQ(g723_call_decode(module.decoder, AUFMT_S16LE, out.data(), &count, marker,
                                       payload, length),
                      0);
            const std::vector<bytes> frames = frames_of(payload, length);
            ASSERT_EQ(count, frames.size() * kFrame);
            module_decoded.insert(module_decoded.end(), out.begin(), out.begin() + count);
            received.insert(received.end(), frames.begin(), frames.end());
        }
        EXPECT_EQ(module_decoded, decode_with_library(decoder, received));
        if (a.silence_compression) {
            EXPECT_GT(sids, 0u);
            EXPECT_GT(untransmitted, 0u);
            EXPECT_GT(silent_packets, 0u);
        } else {
            EXPECT_EQ(sids + untransmitted + silent_packets, 0u);
        }
        g723_encoder_close(&encoder);
        g723_decoder_close(&decoder);
    }
}

TEST(BaresipPayloadCodec, ReceivingAnyFramesInTheRoomGivenAndConcealingAGap) {
    const aucodec codec = codec_with("annexa=yes");
    call module(codec, nullptr);
    const std::vector<int16_t> speech = g723::test::whole_frames(g723::test::speech_sample());
    uint8_t payload[4 * 24];
    std::size_t length = sizeof payload;
    bool marker = false;
    ASSERT_EQ(g723_call_encode(module.encoder, &marker, payload, &length, AUFMT_S16LE,
                               &speech[40 * kFrame], 3 * kFrame),
              0);
    ASSERT_EQ(length, 72u);
    // A SID frame and a 1-byte untransmitted frame behind the speech.
    const uint8_t tail[] = {0x02, 0x11, 0x22, 0x33, 0x03};
    std::memcpy(payload + length, tail, sizeof tail);
    length += sizeof tail;

    std::vector<int16_t> out(24 * kFrame);
    std::size_t room = out.size();
    EXPECT_EQ(g723_call_decode(module.decoder, AUFMT_S16LE, out.data(), &room, false, payload, length), 0);
    EXPECT_EQ(room, 5 * kFrame);
    // Room for two frames: two are decoded, nothing is written beyond.
    room = 2 * kFrame + kFrame / 2;
    out.assign(24 * kFrame, 0x5555);
    EXPECT_EQ(g723_call_decode(module.decoder, AUFMT_S16LE, out.data(), &room, false, payload, length), 0);
    EXPECT_EQ(room, 2 * kFrame);
    EXPECT_EQ(out[2 * kFrame], 0x5555);
    // A frame cut short still stands for its 30 ms.
    room = out.size();
    EXPECT_EQ(g723_call_decode(module.decoder, AUFMT_S16LE, out.data(), &room, false, payload, 30), 0);
    EXPECT_EQ(room, 2 * kFrame);
    room = out.size();
    EXPECT_EQ(g723_call_decode(module.decoder, AUFMT_S16LE, out.data(), &room, false, payload, 0), 0);
    EXPECT_EQ(room, 0u);

    // A gap is taken to be one packet as long as the one after it (which is
    // decoded by its own call), and at least one frame.
    room = out.size();
    EXPECT_EQ(g723_call_conceal(module.decoder, AUFMT_S16LE, out.data(), &room, payload, 72), 0);
    EXPECT_EQ(room, 3 * kFrame);
    room = out.size();
    EXPECT_EQ(g723_call_conceal(module.decoder, AUFMT_S16LE, out.data(), &room, nullptr, 0), 0);
    EXPECT_EQ(room, kFrame);
    room = kFrame;
    EXPECT_EQ(g723_call_conceal(module.decoder, AUFMT_S16LE, out.data(), &room, payload, 72), 0);
    EXPECT_EQ(room, kFrame);

    // Samples of another format, or not whole frames, or too little room
    // for the payload, are refused.
    length = sizeof payload;
    EXPECT_EQ(g723_call_encode(module.encoder, &marker, payload, &length, AUFMT_S16LE + 1, speech.data(),
                               kFrame),
              ENOTSUP);
    EXPECT_EQ(g723_call_encode(module.encoder, &marker, payload, &length, AUFMT_S16LE, speech.data(), 160),
              EINVAL);
    length = 47;
    EXPECT_EQ(g723_call_encode(module.encoder, &marker, payload, &length, AUFMT_S16LE, speech.data(),
                               2 * kFrame),
              ENOMEM);
    room = out.size();
    EXPECT_EQ(g723_call_decode(module.decoder, AUFMT_S16LE + 1, out.data(), &room, false, payload, 24),
              ENOTSUP);
}

TEST(BaresipPayloadCodec, AnnexaIsAllowedUnlessTheParametersSayNo) {
    EXPECT_TRUE(g723_fmtp_allows_annexa(nullptr));
    EXPECT_TRUE(g723_fmtp_allows_annexa(""));
    EXPECT_TRUE(g723_fmtp_allows_annexa("annexa=yes"));
    EXPECT_TRUE(g723_fmtp_allows_annexa("bitrate=6.3"));
    EXPECT_TRUE(g723_fmtp_allows_annexa("annexa=maybe"));
    EXPECT_FALSE(g723_fmtp_allows_annexa("annexa=no"));
    EXPECT_FALSE(g723_fmtp_allows_annexa("bitrate=5.3;annexa=NO"));
    EXPECT_FALSE(g723_fmtp_allows_annexa("bitrate=6.3; annexa=no"));
}
