// SPDX-License-Identifier: BSD-2-Clause
// Objective quality on the bundled speech sample, coded and decoded through
// the public calls.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/codec_test_support.h"

namespace g723 {
namespace {

// Floors a little under the figures measured when the codec was completed
// on this sample; a drop below them is a regression.
constexpr double kSnrFloor = 10.0;         // measured 10.68 dB
constexpr double kSegmentalSnrFloor = 8.5;  // measured 9.15 dB

TEST(SpeechQualityTest, SegmentalSnrWithoutPostfilterStaysAboveTheFloor) {
    const std::vector<int16_t> speech = test::whole_frames(test::speech_sample());
    ASSERT_GE(speech.size(), 100u * G723_FRAME_SAMPLES) << "speech sample missing";
    const test::snr_figures plain = test::measure_snr(speech, test::code_and_decode(speech, 0));
    const test::snr_figures postfiltered = test::measure_snr(speech, test::code_and_decode(speech, 1));
    std::printf("postfilter off: SNR %.2f dB, segmental SNR %.2f dB over %d segments\n", plain.snr,
                plain.segmental_snr, plain.segments);
    std::printf("postfilter on:  SNR %.2f dB, segmental SNR %.2f dB\n", postfiltered.snr,
                postfiltered.segmental_snr);
    RecordProperty("snr_db", std::to_string(plain.snr));
    RecordProperty("segmental_snr_db", std::to_string(plain.segmental_snr));
    EXPECT_GT(plain.segments, 50);
    EXPECT_GT(plain.snr, kSnrFloor);
    EXPECT_GT(plain.segmental_snr, kSegmentalSnrFloor);
}

// The same speech coded twice by fresh encoders gives the same bit-stream,
// and a reset encoder starts over as if fresh.
TEST(SpeechQualityTest, CodingIsDeterministicAndResetStartsOver) {
    const std::vector<int16_t> speech = test::whole_frames(test::speech_sample());
    ASSERT_FALSE(speech.empty());
    std::vector<uint8_t> first, second;
    test::code_and_decode(speech, 0, &first);
    test::code_and_decode(speech, 0, &second);
    EXPECT_EQ(first, second);

    g723_encoder* encoder = nullptr;
    g723_encoder_open(&encoder);
    g723_encoder_set_vad_mode(encoder, 0, 1);
    std::vector<uint8_t> third;
    for (int pass = 0; pass < 2; ++pass) {
        third.clear();
        g723_encoder_reset(encoder);
        g723_encoder_set_vad_mode(encoder, 0, 1);
        for (std::size_t f = 0; f < speech.size(); f += G723_FRAME_SAMPLES) {
            uint8_t slot[G723_SLOT_BYTES];
            int32_t length = 0;
            g723_encode_frame(encoder, &speech[f], slot, &length);
            third.insert(third.end(), slot, slot + length);
        }
    }
    g723_encoder_close(&encoder);
    EXPECT_EQ(first, third);
}

}  // namespace
}  // namespace g723
