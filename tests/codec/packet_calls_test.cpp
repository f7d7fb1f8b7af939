// SPDX-License-Identifier: BSD-2-Clause
// The packet calls against the frame calls.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/codec_test_support.h"

namespace g723 {
namespace {

class PacketCallsTest : public ::testing::Test {
protected:
    g723_encoder* encoder = nullptr;
    void SetUp() override {
        ASSERT_EQ(g723_encoder_open(&encoder), g723_ok);
        g723_encoder_set_vad_mode(encoder, 0, 1);
    }
    void TearDown() override { g723_encoder_close(&encoder); }
};

TEST_F(PacketCallsTest, ConsumesWholeFramesOnly) {
    const std::vector<int16_t> speech = test::speech_sample();
    ASSERT_GE(speech.size(), 40000u);
    std::vector<uint8_t> out(3 * G723_SLOT_BYTES, 0xaa);

    int32_t in_count = 500, out_length = -1;
    EXPECT_EQ(g723_encode_packet(encoder, &speech[20000], &in_count, out.data(), &out_length), g723_ok);
    EXPECT_EQ(in_count, 480);
    EXPECT_EQ(out_length, 48);
    EXPECT_EQ(out[48], 0xaa);  // nothing written past the two slots

    for (int32_t count : {239, 0, -5}) {
        in_count = count;
        out_length = -1;
        EXPECT_EQ(g723_encode_packet(encoder, speech.data(), &in_count, out.data(), &out_length), g723_ok);
        EXPECT_EQ(in_count, 0);
        EXPECT_EQ(out_length, 0);
    }
}

// Splitting a signal into packets of any number of whole frames gives the
// same coded frames as coding it frame by frame.
TEST_F(PacketCallsTest, PacketsOfAnySizeGiveTheFrameByFrameStream) {
    const std::vector<int16_t> speech = test::whole_frames(test::speech_sample());
    ASSERT_FALSE(speech.empty());
    const int frames = int(speech.size() / G723_FRAME_SAMPLES);
    std::vector<uint8_t> by_frame;
    test::code_and_decode(speech, 0, &by_frame);

    std::vector<uint8_t> by_packet(frames * G723_SLOT_BYTES);
    int done = 0, size = 1;
    while (done < frames) {
        const int n = std::min(size, frames - done);
        int32_t in_count = n * G723_FRAME_SAMPLES + (size % G723_FRAME_SAMPLES);  // plus a partial tail
        int32_t out_length = 0;
        g723_encode_packet(encoder, &speech[done * G723_FRAME_SAMPLES], &in_count,
                           &by_packet[done * G723_SLOT_BYTES], &out_length);
        ASSERT_EQ(in_count, n * G723_FRAME_SAMPLES);
        ASSERT_EQ(out_length, n * G723_SLOT_BYTES);
        done += n;
        size = size % 5 + 1;
    }
    EXPECT_EQ(by_packet, by_frame);

    // And the packets decode in one call.
    g723_decoder* decoder = nullptr;
    g723_decoder_open(&decoder);
    std::vector<int16_t> decoded(frames * G723_FRAME_SAMPLES);
    int32_t in_length = int32_t(by_packet.size()), out_count = 0;
    EXPECT_EQ(g723_decode_packet(decoder, by_packet.data(), &in_length, decoded.data(), 0, &out_count), g723_ok);
    EXPECT_EQ(out_count, frames * G723_FRAME_SAMPLES);
    g723_decoder_close(&decoder);
}

}  // namespace
}  // namespace g723
