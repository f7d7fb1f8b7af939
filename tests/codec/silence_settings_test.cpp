// SPDX-License-Identifier: BSD-2-Clause
// Silence-compression settings on a running encoder: switching vad_mode on
// restarts the detector and the comfort noise, a reset puts vad_mode back
// to 1, and with vad_mode 0 every frame is speech.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"
#include "tests/codec/silence_test_signals.h"

namespace g723 {
namespace {

struct running_encoder : ::testing::Test {
    g723_encoder* enc = nullptr;
    std::vector<int16_t> signal;

    void SetUp() override {
        ASSERT_EQ(g723_encoder_open(&enc), g723_ok);
        signal = test::whole_frames(test::speech_sample());
        ASSERT_GE(signal.size(), 100u * kFrameSamples) << "the bundled speech sample is missing";
    }
    void TearDown() override { g723_encoder_close(&enc); }

    // Codes frames [first, first + count) of the sample; returns their headers.
    std::vector<int> encode(size_t first, size_t count) {
        std::vector<int> headers;
        for (size_t f = first; f < first + count; ++f) {
            std::array<uint8_t, kSlotBytes> slot;
            int32_t length = 0;
            g723_encode_frame(enc, signal.data() + f * kFrameSamples, slot.data(), &length);
            EXPECT_EQ(length, kSlotBytes);
            headers.push_back(slot[0] & 3);
        }
        return headers;
    }
};

vad_state fresh_vad() {
    vad_state v{};
    reset_vad(v);
    return v;
}

TEST_F(running_encoder, SwitchingSilenceCompressionOnRestartsDetectorAndComfortNoise) {
    encode(0, 60);
    // The detector and the comfort-noise state have moved on from reset.
    const vad_state reset_detector = fresh_vad();
    ASSERT_NE(std::memcmp(&enc->vad_state, &reset_detector, sizeof(vad_state)), 0);
    ASSERT_NE(enc->encoder_cng_state.acf_history[0][0], 0.0f);

    EXPECT_EQ(g723_encoder_set_vad_mode(enc, 1, 0), g723_ok);  // already on: resets all the same
    EXPECT_EQ(std::memcmp(&enc->vad_state, &reset_detector, sizeof(vad_state)), 0);
    const encoder_cng_state& cng = enc->encoder_cng_state;
    EXPECT_EQ(cng.previous_frame_type, kFrameSpeech);
    EXPECT_EQ(cng.noise_seed, 12345);
    EXPECT_EQ(cng.noise_gain, 0.0f);
    for (const auto& acf : cng.acf_history)
        for (float r : acf) EXPECT_EQ(r, 0.0f);
    for (float a : cng.sid_lpc) EXPECT_EQ(a, 0.0f);

    // The detector then holds the first three frames at speech again.
    const std::vector<int> headers = encode(0, 3);
    EXPECT_EQ(headers, (std::vector<int>{0, 0, 0}));
}

TEST_F(running_encoder, WithSilenceCompressionOffEveryFrameIsSpeechAndTheDetectorRests) {
    ASSERT_EQ(g723_encoder_set_vad_mode(enc, 0, 7), g723_ok);
    const vad_state before = enc->vad_state;
    const auto acf_before = enc->encoder_cng_state.acf_history;
    for (int header : encode(0, signal.size() / kFrameSamples)) ASSERT_EQ(header, 0);
    // Only the open-loop lags of the last frame reach the detector's record.
    vad_state after = enc->vad_state;
    after.lag_history[2] = before.lag_history[2];
    after.lag_history[3] = before.lag_history[3];
    EXPECT_EQ(std::memcmp(&after, &before, sizeof(vad_state)), 0);
    EXPECT_NE(enc->vad_state.lag_history[2], before.lag_history[2]);
    EXPECT_EQ(enc->encoder_cng_state.acf_history, acf_before);
}

TEST_F(running_encoder, ResetSwitchesSilenceCompressionBackOn) {
    ASSERT_EQ(g723_encoder_set_filter_mode(enc, 0), g723_ok);
    ASSERT_EQ(g723_encoder_set_vad_mode(enc, 1, 0), g723_ok);
    ASSERT_EQ(g723_encoder_set_vad_mode(enc, 0, 1), g723_ok);
    encode(0, 40);
    ASSERT_EQ(g723_encoder_reset(enc), g723_ok);
    const vad_state reset_detector = fresh_vad();
    EXPECT_EQ(std::memcmp(&enc->vad_state, &reset_detector, sizeof(vad_state)), 0);

    // And the sample, which opens with half a second of silence, now gets
    // silence frames after the three forced speech frames.
    const std::vector<int> headers = encode(0, 16);
    EXPECT_EQ(headers[0], 0);
    EXPECT_EQ(headers[1], 0);
    EXPECT_EQ(headers[2], 0);
    EXPECT_EQ(headers[3], 2) << "a silence period opens with a SID frame";
    EXPECT_EQ(headers[4], 3);
}

}  // namespace
}  // namespace g723
