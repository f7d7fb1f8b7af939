// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/decoder_comfort_noise.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "g723/decoder/decoder_state.h"
#include "g723/dsp/lsp_decode.h"
#include "g723/silence/comfort_noise_excitation.h"
#include "g723/tables/lsp_tables.h"

namespace g723 {
namespace {

struct decoder_cng : ::testing::Test {
    g723_decoder decoder{};
    frame_params params{};
    std::array<lpc_vector, kSubframes> lpc{};

    void SetUp() override { open_decoder(decoder); }
    decoder_cng_state& cng() { return decoder.decoder_cng_state; }
    float* slot() { return decoder.excitation_buffer.data() + kExcitationPast; }

    // One silence frame into slot 0, the driver's bookkeeping included.
    void run(int32_t frame_type) {
        decode_silence_frame(frame_type, params, slot(), decoder.excitation_buffer.data(), lpc, cng(),
                             decoder.previous_lsp);
        cng().previous_frame_type = frame_type;
    }
    void sid(int32_t lsp_index, int32_t gain_index) {
        params = frame_params{};
        params.lsp_index = lsp_index;
        params.subframes[0].fixed_gain_index = gain_index;
        run(kFrameSid);
    }
    void untransmitted() {
        params = frame_params{};
        run(kFrameUntransmitted);
    }
    double half_frame_rms(int half) {
        double e = 0.0;
        for (int n = 0; n < 120; ++n) e += double(slot()[120 * half + n]) * slot()[120 * half + n];
        return std::sqrt(e / 120.0);
    }
};

constexpr int32_t kSomeLspIndex = (37 << 16) | (201 << 8) | 90;

TEST_F(decoder_cng, SidAfterSpeechTakesItsLevelAndSpectrumAtOnce) {
    lsp_vector speech_lsp = lsp_dc_vector;
    for (int i = 0; i < kLpcOrder; ++i) speech_lsp[i] += (i % 2 ? 1.5f : -2.0f);
    decoder.previous_lsp = speech_lsp;
    cng().noise_gain = 12345.0f;  // whatever the last speech frame left there

    sid(kSomeLspIndex, 40);
    EXPECT_EQ(cng().sid_gain, decode_sid_gain(40));
    EXPECT_EQ(cng().noise_gain, static_cast<float>(decode_sid_gain(40)));
    const lsp_vector expected_lsp = lsp_inverse_quantize(kSomeLspIndex, speech_lsp, 0);
    EXPECT_EQ(cng().sid_lsp, expected_lsp);
    EXPECT_EQ(decoder.previous_lsp, expected_lsp);

    // Filters glide from the speech LSPs to the SID LSPs over the frame.
    std::array<lpc_vector, kSubframes> expected_lpc;
    lsp_vector previous = speech_lsp;
    lsp_interpolate(expected_lpc, expected_lsp, previous);
    EXPECT_EQ(lpc, expected_lpc);

    // On a silent history the excitation carries the SID level.
    EXPECT_NEAR(half_frame_rms(0), decode_sid_gain(40), 0.01 * decode_sid_gain(40));
    EXPECT_NEAR(half_frame_rms(1), decode_sid_gain(40), 0.01 * decode_sid_gain(40));
    EXPECT_EQ(params.open_loop_lag[0], 129) << "the random sequence starts from 12345";
    EXPECT_NE(cng().noise_seed, kCngSeedStart);
}

TEST_F(decoder_cng, LaterSidMovesTheLevelAnEighthOfTheWay) {
    sid(kSomeLspIndex, 20);
    const float first = cng().noise_gain;
    sid(kSomeLspIndex, 50);
    EXPECT_EQ(cng().sid_gain, decode_sid_gain(50));
    EXPECT_EQ(cng().noise_gain, 0.125f * decode_sid_gain(50) + 0.875f * first);
}

TEST_F(decoder_cng, UntransmittedFramesKeepTheSidAndGlideToItsLevel) {
    sid(kSomeLspIndex, 30);
    // A second SID far below, then silence: the level approaches it
    // geometrically from the first level.
    sid(kSomeLspIndex, 5);
    const float target = decode_sid_gain(5);
    float distance = cng().noise_gain - target;
    ASSERT_GT(distance, 0.0f);
    const lsp_vector second_lsp = cng().sid_lsp;
    for (int frame = 0; frame < 20; ++frame) {
        untransmitted();
        EXPECT_EQ(cng().sid_lsp, second_lsp);
        EXPECT_EQ(cng().sid_gain, decode_sid_gain(5));
        for (int k = 1; k < kSubframes; ++k) EXPECT_EQ(lpc[k], lpc[0]) << "constant filter";
        distance *= 0.875f;
        EXPECT_NEAR(cng().noise_gain - target, distance, 1e-3f * std::fabs(distance) + 1e-4f);
    }
    EXPECT_EQ(params.lsp_index, 0) << "an untransmitted frame reads no spectrum";
}

TEST_F(decoder_cng, UntransmittedAfterSpeechUsesTheStoredExcitationEnergy) {
    lsp_vector speech_lsp = lsp_dc_vector;
    speech_lsp[4] += 3.0f;
    decoder.previous_lsp = speech_lsp;
    cng().sid_lsp = speech_lsp;  // as the driver leaves it after a good speech frame
    cng().noise_gain = 1200000.0f;  // 120 samples of amplitude 100
    untransmitted();
    EXPECT_EQ(cng().sid_gain, 96);
    EXPECT_EQ(cng().noise_gain, 96.0f);
    EXPECT_EQ(cng().sid_lsp, speech_lsp);
    EXPECT_EQ(decoder.previous_lsp, speech_lsp);
    for (int k = 1; k < kSubframes; ++k) EXPECT_EQ(lpc[k], lpc[0]);
}

TEST_F(decoder_cng, UntransmittedFirstFrameAfterResetIsQuiet) {
    untransmitted();
    EXPECT_EQ(cng().noise_gain, 0.0f);
    for (int n = 0; n < kFrameSamples; ++n) {
        ASSERT_TRUE(std::isfinite(slot()[n]));
        EXPECT_EQ(slot()[n], 0.0f);
    }
    // A reset after use gives the same start.
    cng().noise_gain = 5.0e6f;
    reset_decoder(decoder);
    untransmitted();
    EXPECT_EQ(cng().noise_gain, 0.0f);
}

TEST_F(decoder_cng, HugeStoredEnergyGivesTheTopLevel) {
    cng().noise_gain = INFINITY;
    untransmitted();
    EXPECT_EQ(cng().sid_gain, decode_sid_gain(63));
    for (int n = 0; n < kFrameSamples; ++n) ASSERT_TRUE(std::isfinite(slot()[n]));
}

}  // namespace
}  // namespace g723
