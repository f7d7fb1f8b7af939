// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/encode_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "g723/encoder/lpc_analysis.h"
#include "g723/encoder/open_loop_pitch.h"
#include "g723/encoder/perceptual_weighting.h"
#include "tests/support/codec_test_support.h"
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

TEST_F(EncodeFrameTest, SpeechFrameSetsTheComfortNoiseStateAndTheRate) {
    encoder->encoder_cng_state.previous_frame_type = kFrameSid;
    encoder->encoder_cng_state.noise_seed = 7;
    encoder->comp_rate = 1;
    slot.fill(0xff);
    encode(noise_frame(3));
    EXPECT_EQ(encoder->encoder_cng_state.previous_frame_type, kFrameSpeech);
    EXPECT_EQ(encoder->encoder_cng_state.noise_seed, 12345);
    EXPECT_EQ(encoder->comp_rate, 0);
    EXPECT_EQ(slot[0] & 3, 0);  // 6.3 kbit/s header
}

// What a speech frame leaves in the record is the analysis of its own
// samples: the weighted speech is the frame (60 samples behind the newest
// input) through the weighting filter of its four subframes; the detector's
// lag entries are the open-loop lags of its two half frames; and the
// weighted synthesis is the frame's synthesized speech through the same four
// weighting filters, each subframe with its own. Checked over six frames of
// speech, across the history move at slot 0.
TEST_F(EncodeFrameTest, EachSpeechFrameIsAnalysedAndWeightedWithItsOwnFilters) {
    const std::vector<int16_t> speech = test::speech_sample();
    ASSERT_GE(speech.size(), 20000u) << "speech sample missing";
    auto scratch = std::make_unique<g723_encoder>();
    for (int frame = 0; frame < 6; ++frame) {
        const std::vector<int16_t> in(speech.begin() + 12000 + frame * kFrameSamples,
                                      speech.begin() + 12000 + (frame + 1) * kFrameSamples);
        const std::array<float, kLpcOrder> weighting_memory = encoder->weighting_memory;
        const std::array<float, kLpcOrder> synthesis_memory = encoder->synthesis_memory;
        const int slot_start = encoder->frame_position * kFrameSamples;
        std::array<float, kFrameSamples> synthesized;
        encode_frame(*encoder, std::span<const int16_t, kFrameSamples>(in.data(), kFrameSamples), slot,
                     synthesized);

        // The frame's filters from its conditioned input; the analysis only
        // writes to the record, so a copy serves.
        *scratch = *encoder;
        const float* input = &encoder->input_buffer[kInputPast + slot_start];
        std::array<lpc_vector, kSubframes> lpc;
        analyze_lpc(lpc, input - 2 * kSubframeSamples, *scratch);
        std::array<weighting_coefficients, kSubframes> weights;
        compute_weighting_coefficients(weights, lpc);

        std::array<float, kLpcOrder> memory = weighting_memory;
        std::array<float, kFrameSamples> weighted;
        apply_weighting_filter(input - kSubframeSamples, weighted, weights, memory);
        const float* stored = &encoder->weighted_speech[kWeightedPast + slot_start];
        EXPECT_TRUE(std::equal(weighted.begin(), weighted.end(), stored)) << "frame " << frame;
        EXPECT_EQ(encoder->vad_state.lag_history[2], estimate_open_loop_pitch(stored)) << "frame " << frame;
        EXPECT_EQ(encoder->vad_state.lag_history[3], estimate_open_loop_pitch(stored + 2 * kSubframeSamples))
            << "frame " << frame;

        std::array<float, kFilterArraySize> s;
        for (int i = 0; i < kLpcOrder; ++i) s[kLpcOrder - 1 - i] = synthesis_memory[i];
        std::copy(synthesized.begin(), synthesized.end(), s.begin() + kLpcOrder);
        const float* u = &encoder->weighted_synthesis_history[kWeightedPast + slot_start];
        for (int n = 0; n < kFrameSamples; ++n)
            ASSERT_EQ(u[n], pole_zero_step(&s[kLpcOrder + n], &u[n], weights[n / kSubframeSamples]))
                << "frame " << frame << " sample " << n;
    }
}

}  // namespace
}  // namespace g723
