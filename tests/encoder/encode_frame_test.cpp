#include "g723/encoder/encode_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "tests/encoder/filter_test_support.h"

namespace g723 {
namespace {

class EncodeFrameTest : public ::testing::Test {
protected:
    std::unique_ptr<g723_encoder> encoder = std::make_unique<g723_encoder>();
    std::array<uint8_t, kSlotBytes> slot{};

    void SetUp() override {
        open_encoder(*encoder);
        encoder->vad_mode = 0;
    }

    void encode(const std::vector<int16_t>& samples) {
        encode_frame(*encoder, std::span<const int16_t, kFrameSamples>(samples.data(), kFrameSamples), slot);
    }

    static std::vector<int16_t> noise_frame(unsigned seed, float level = 8000.0f) {
        const std::vector<float> x = test::random_signal(kFrameSamples, level, seed);
        return std::vector<int16_t>(x.begin(), x.end());
    }
};

// Eight frames use slots 0, 1, 2, 3, 0, 1, 2, 3; on returning to slot 0 the
// newest past of every buffer moves to its front (147 samples for the two
// weighted buffers, whose comb reaches that far back).
TEST_F(EncodeFrameTest, SlotsCycleAndTheHistoryMovesAtSlotZero) {
    for (int frame = 0; frame < 8; ++frame) {
        EXPECT_EQ(encoder->frame_position, frame % 4);
        const g723_encoder before = *encoder;
        encode(noise_frame(frame));
        if (frame == 4) {
            auto moved = [](const auto& old_buffer, const auto& new_buffer, int past) {
                return std::equal(old_buffer.end() - past, old_buffer.end(), new_buffer.begin());
            };
            EXPECT_TRUE(moved(before.input_buffer, encoder->input_buffer, kInputPast));
            EXPECT_TRUE(moved(before.excitation_buffer, encoder->excitation_buffer, kExcitationPast));
            EXPECT_TRUE(moved(before.weighted_speech, encoder->weighted_speech, kWeightedPast));
            EXPECT_TRUE(
                moved(before.weighted_synthesis_history, encoder->weighted_synthesis_history, kWeightedPast));
        }
    }
    EXPECT_EQ(encoder->frame_position, 0);
}

TEST_F(EncodeFrameTest, HighPassFilterDecaysAConstantAndCanBeSwitchedOff) {
    encode(std::vector<int16_t>(kFrameSamples, 1000));
    const float* filtered = &encoder->input_buffer[kInputPast];
    EXPECT_EQ(filtered[0], 1000.0f);
    for (int n = 1; n < kFrameSamples; ++n) {
        const double expected = 1000.0 * std::pow(0.9921875, n);
        EXPECT_NEAR(filtered[n], expected, 1e-5 * expected) << n;
    }

    const float previous_input = encoder->hp_previous_input;
    const float previous_output = encoder->hp_previous_output;
    encoder->filter_mode = 0;
    encode(std::vector<int16_t>(kFrameSamples, -77));
    EXPECT_EQ(encoder->hp_previous_input, previous_input);
    EXPECT_EQ(encoder->hp_previous_output, previous_output);
    for (int n = 0; n < kFrameSamples; ++n) EXPECT_EQ(encoder->input_buffer[kInputPast + kFrameSamples + n], -77.0f);
}

TEST_F(EncodeFrameTest, SpeechFrameSetsTheComfortNoiseStateAndTheDetectorLags) {
    encoder->encoder_cng_state.previous_frame_type = kFrameSid;
    encoder->encoder_cng_state.noise_seed = 7;
    encoder->comp_rate = 1;
    slot.fill(0xff);
    encode(noise_frame(3));
    EXPECT_EQ(encoder->encoder_cng_state.previous_frame_type, kFrameSpeech);
    EXPECT_EQ(encoder->encoder_cng_state.noise_seed, 12345);
    EXPECT_EQ(encoder->comp_rate, 0);
    EXPECT_EQ(slot[0] & 3, 0);  // 6.3 kbit/s header
    for (int i = 2; i < 4; ++i) {
        EXPECT_GE(encoder->vad_state.lag_history[i], 19);
        EXPECT_LE(encoder->vad_state.lag_history[i], 144);
    }
}

// The synthesized speech handed out is the signal that the filter memories
// carry on: its last ten samples are the stored synthesis memory.
TEST_F(EncodeFrameTest, HandsOutTheSynthesizedSpeechThatTheMemoriesContinue) {
    std::array<float, kFrameSamples> synthesized;
    std::array<uint8_t, kSlotBytes> other{};
    for (int frame = 0; frame < 3; ++frame) {
        const std::vector<int16_t> in = noise_frame(40 + frame);
        encode_frame(*encoder, std::span<const int16_t, kFrameSamples>(in.data(), kFrameSamples), other,
                     synthesized);
        for (int i = 0; i < kLpcOrder; ++i)
            EXPECT_EQ(encoder->synthesis_memory[i], synthesized[kFrameSamples - 1 - i]);
    }
    double energy = 0.0;
    for (float v : synthesized) energy += double(v) * v;
    EXPECT_GT(energy, 0.0);
}

}  // namespace
}  // namespace g723
