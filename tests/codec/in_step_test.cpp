// SPDX-License-Identifier: BSD-2-Clause
// The encoder synthesizes with exactly the decoder's quantized filters and
// excitation: a decoder without postfilter must reproduce the encoder's own
// synthesized speech, frame after frame, up to the output rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "g723/encoder/encode_frame.h"
#include "tests/support/codec_test_support.h"

namespace g723 {
namespace {

int16_t to_pcm(float v) {
    // Rounding half away from zero of the clamped value.
    return static_cast<int16_t>(std::round(std::clamp(double(v), -32767.5, 32766.5)));
}

// Speech frames only (silence compression off); the comfort-noise frames
// have their own in-step test.
TEST(InStepTest, DecoderWithoutPostfilterReproducesTheEncoderSynthesis) {
    const std::vector<int16_t> speech = test::whole_frames(test::speech_sample());
    ASSERT_GE(speech.size(), 100u * kFrameSamples) << "speech sample missing";

    g723_encoder* encoder = nullptr;
    g723_decoder* decoder = nullptr;
    ASSERT_EQ(g723_encoder_open(&encoder), g723_ok);
    ASSERT_EQ(g723_encoder_set_vad_mode(encoder, 0, 1), g723_ok);
    ASSERT_EQ(g723_decoder_open(&decoder), g723_ok);
    ASSERT_EQ(g723_decoder_set_filter_mode(decoder, 0), g723_ok);

    long exact = 0, off_by_one = 0, worse = 0;
    double largest = 0.0;
    for (std::size_t f = 0; f < speech.size(); f += kFrameSamples) {
        std::array<uint8_t, kSlotBytes> slot;
        std::array<float, kFrameSamples> synthesized;
        encode_frame(*encoder, std::span<const int16_t, kFrameSamples>(&speech[f], kFrameSamples), slot,
                     synthesized);
        std::array<int16_t, kFrameSamples> decoded;
        int32_t count = 0;
        ASSERT_EQ(g723_decode_frame(decoder, slot.data(), decoded.data(), 0, &count), g723_ok);
        ASSERT_EQ(count, kFrameSamples);
        for (int n = 0; n < kFrameSamples; ++n) {
            const int diff = std::abs(int(decoded[n]) - int(to_pcm(synthesized[n])));
            largest = std::max(largest, std::fabs(double(synthesized[n])));
            if (diff == 0) ++exact;
            else if (diff == 1) ++off_by_one;
            else ++worse;
        }
    }
    g723_encoder_close(&encoder);
    g723_decoder_close(&decoder);

    RecordProperty("exact", std::to_string(exact));
    RecordProperty("off_by_one", std::to_string(off_by_one));
    std::printf("in step: %ld samples exact, %ld off by one, %ld worse (peak %.0f)\n", exact, off_by_one,
                worse, largest);
    EXPECT_EQ(worse, 0);
    EXPECT_EQ(off_by_one, 0);
    EXPECT_GT(largest, 1000.0);  // the comparison saw real speech
}

}  // namespace
}  // namespace g723
