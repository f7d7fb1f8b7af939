// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/encoder_comfort_noise.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "g723/encoder/encoder_state.h"
#include "g723/silence/comfort_noise_excitation.h"
#include "g723/tables/sid_gain_tables.h"

namespace g723 {
namespace {

using autocorrelation = std::array<float, kAcfLength>;

// Autocorrelation of a first-order process with coefficient rho.
autocorrelation colored(float r0, float rho) {
    autocorrelation r;
    float p = 1.0f;
    for (int k = 0; k < kAcfLength; ++k, p *= rho) r[k] = r0 * p;
    return r;
}

autocorrelation white(float r0) { return colored(r0, 0.0f); }

struct encoder_cng : ::testing::Test {
    g723_encoder encoder{};
    frame_params params{};
    std::array<lpc_vector, kSubframes> lpc{};

    void SetUp() override { open_encoder(encoder); }
    encoder_cng_state& cng() { return encoder.encoder_cng_state; }
    float* slot() { return encoder.excitation_buffer.data() + kExcitationPast; }

    // Pushes one frame's autocorrelation, as the LPC analysis does, and codes
    // the frame as silence.
    int32_t silence(const autocorrelation& r) {
        subframe_autocorrelations parts{};
        for (int k = 0; k < kAcfLength; ++k) parts[0][k] = r[k];
        update_cng_autocorrelation(parts, cng());
        params = frame_params{};
        return encode_silence_frame(slot(), encoder.excitation_buffer.data(), params, lpc, cng(), encoder.vad_state,
                                    encoder.single_sid, encoder.previous_lsp);
    }
};

// White frames leave residual energy r0; this finds the r0 whose level,
// summed over count equal energies and scaled, is coded by index.
float white_energy_for_index(int32_t index, int32_t count) {
    const float level = decode_sid_gain(index);
    return level * level / (sid_gain_scale[count] * static_cast<float>(count));
}

TEST(UpdateCngAutocorrelation, SumsTheSubframesAndAges) {
    encoder_cng_state state{};
    reset_encoder_cng(state);
    for (int frame = 1; frame <= 5; ++frame) {
        subframe_autocorrelations parts{};
        for (int s = 0; s < kSubframes; ++s)
            for (int k = 0; k < kAcfLength; ++k) parts[s][k] = float(frame * 1000 + s * 100 + k);
        update_cng_autocorrelation(parts, state);
    }
    for (int entry = 0; entry < 4; ++entry) {
        const int frame = 5 - entry;
        for (int k = 0; k < kAcfLength; ++k)
            EXPECT_EQ(state.acf_history[entry][k], float(4 * (frame * 1000 + k) + 600)) << entry << " " << k;
    }
}

TEST_F(encoder_cng, FirstSilenceFrameIsASidAtItsOwnLevel) {
    ASSERT_EQ(encoder.single_sid, 1);
    const float r0 = white_energy_for_index(40, 1);
    for (int i = 0; i < 3; ++i) update_cng_autocorrelation({}, cng());  // speech frames before
    EXPECT_EQ(silence(white(r0)), kFrameSid);
    EXPECT_EQ(params.subframes[0].fixed_gain_index, 40);
    EXPECT_EQ(cng().sid_gain_index, 40);
    EXPECT_EQ(cng().sid_gain, decode_sid_gain(40));
    EXPECT_EQ(cng().noise_gain, static_cast<float>(decode_sid_gain(40))) << "no smoothing after speech";
    EXPECT_EQ(cng().energy_count, 1);
    EXPECT_EQ(cng().energies[0], r0) << "a white frame leaves all of its energy";
    EXPECT_EQ(cng().previous_frame_type, kFrameSid);
    EXPECT_EQ(encoder.previous_lsp, cng().sid_lsp);
}

TEST_F(encoder_cng, SingleSidSendsNothingMoreAndGlidesToTheSidLevel) {
    const float r0 = white_energy_for_index(40, 1);
    ASSERT_EQ(silence(white(r0)), kFrameSid);
    const float level = cng().noise_gain;
    // Much louder noise: without further SIDs the level stays with the first.
    const float loud = white_energy_for_index(60, 1);
    float previous_gain = level;
    for (int frame = 0; frame < 6; ++frame) {
        EXPECT_EQ(silence(white(loud)), kFrameUntransmitted);
        EXPECT_EQ(cng().energy_count, std::min(frame + 2, 3));
        EXPECT_EQ(cng().noise_gain, 0.125f * level + 0.875f * previous_gain);
        previous_gain = cng().noise_gain;
    }
    EXPECT_EQ(cng().sid_gain_index, 40) << "computed every frame, sent only in the first";
    EXPECT_EQ(cng().previous_frame_type, kFrameUntransmitted);
}

TEST_F(encoder_cng, MoreSidsWhenTheLevelMovesByFourIndices) {
    encoder.single_sid = 0;
    const float e20 = white_energy_for_index(20, 1);
    ASSERT_EQ(silence(white(e20)), kFrameSid);
    ASSERT_EQ(cng().sid_gain_index, 20);
    // Two more frames of the same noise: three equal energies now.
    EXPECT_EQ(silence(white(e20)), kFrameUntransmitted);
    EXPECT_EQ(silence(white(e20)), kFrameUntransmitted);
    ASSERT_EQ(cng().energy_count, 3);

    // The average of the last three energies at the level of index 23: still
    // within 3 of the last SID's 20.
    const encoder_cng_state saved = cng();
    const float e23 = white_energy_for_index(23, 3);
    cng().energies = {e23, e23, e23};
    EXPECT_EQ(silence(white(e23)), kFrameUntransmitted);
    EXPECT_EQ(quantize_sid_gain(cng().energies.data(), 3), 23);

    cng() = saved;
    const float e24 = white_energy_for_index(24, 3);
    cng().energies = {e24, e24, e24};
    EXPECT_EQ(silence(white(e24)), kFrameSid);
    EXPECT_EQ(params.subframes[0].fixed_gain_index, 24);
    EXPECT_EQ(cng().sid_gain_index, 24);
    EXPECT_EQ(cng().noise_gain, 0.125f * decode_sid_gain(24) + 0.875f * saved.noise_gain);
}

TEST_F(encoder_cng, SpectralDistanceAtTheLimitCallsForASid) {
    encoder.single_sid = 0;
    ASSERT_EQ(silence(white(1024.0f)), kFrameSid);
    // A filter whose residual on a white frame of energy 1024 is exactly
    // 1.213623046875 times that energy.
    const encoder_cng_state saved = cng();
    cng().sid_acf = {1.213623046875f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    cng().energies = {1024.0f, 1024.0f, 1024.0f};
    EXPECT_EQ(silence(white(1024.0f)), kFrameSid);

    cng() = saved;
    cng().sid_acf = {std::nextafter(1.213623046875f, 0.0f), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    cng().energies = {1024.0f, 1024.0f, 1024.0f};
    EXPECT_EQ(silence(white(1024.0f)), kFrameUntransmitted);
}

// A muted input: every frame's autocorrelation is zero, so the comfort-noise
// filter and the frame's own filter both leave no residual at all. Nothing
// has changed, and with SID updates on the pause must still go untransmitted.
TEST_F(encoder_cng, DigitalSilenceNeedsNoFurtherSid) {
    encoder.single_sid = 0;
    ASSERT_EQ(silence(white(0.0f)), kFrameSid);
    ASSERT_EQ(cng().sid_gain_index, 0);
    for (int frame = 0; frame < 5; ++frame) {
        EXPECT_EQ(silence(white(0.0f)), kFrameUntransmitted) << frame;
        EXPECT_EQ(cng().energies[0], 0.0f);
    }
    // A frame with any energy in it, however little, is compared as before.
    cng().sid_acf = {2.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(silence(white(1.0e-3f)), kFrameSid) << "twice the white frame's own residual";
}

TEST_F(encoder_cng, SidFilterIsTheEnvelopeOfThePreviousThreeFramesWhenItFits) {
    for (int i = 0; i < 3; ++i) update_cng_autocorrelation({{colored(5.0e6f, 0.8f)}}, cng());
    encoder.vad_state.adapt_count = 0;
    ASSERT_EQ(silence(colored(5.0e6f, 0.8f)), kFrameSid);
    // A first-order envelope: a1 near 0.8, the rest near 0.
    EXPECT_NEAR(cng().sid_lpc[0], 0.8f, 1e-3f);
    for (int i = 1; i < kLpcOrder; ++i) EXPECT_NEAR(cng().sid_lpc[i], 0.0f, 1e-3f);
    EXPECT_EQ(encoder.vad_state.inverse_filter, cng().sid_lpc) << "the detector whitens with it";
}

TEST_F(encoder_cng, SidFilterFallsBackToTheCurrentFrameWhenTheEnvelopeFitsBadly) {
    for (int i = 0; i < 3; ++i) update_cng_autocorrelation({{colored(5.0e6f, 0.9f)}}, cng());
    encoder.vad_state.adapt_count = 0;
    ASSERT_EQ(silence(white(5.0e6f)), kFrameSid);
    // The averaged filter leaves 1 + 0.81 times the white frame's energy.
    for (float a : cng().sid_lpc) EXPECT_EQ(a, 0.0f);
    EXPECT_NEAR(encoder.vad_state.inverse_filter[0], 0.9f, 1e-3f) << "the detector keeps the averaged filter";
    EXPECT_EQ(cng().sid_acf[0], 1.0f);
}

TEST_F(encoder_cng, DetectorFilterChangesOnlyWithoutPitchEvidence) {
    for (int i = 0; i < 3; ++i) update_cng_autocorrelation({{colored(5.0e6f, 0.8f)}}, cng());
    encoder.vad_state.adapt_count = 2;
    encoder.vad_state.inverse_filter.fill(0.25f);
    ASSERT_EQ(silence(colored(5.0e6f, 0.8f)), kFrameSid);
    for (float a : encoder.vad_state.inverse_filter) EXPECT_EQ(a, 0.25f);
}

// sid_acf makes the dot product with a frame's autocorrelation equal the
// energy that the comfort-noise filter leaves on that frame.
TEST_F(encoder_cng, SidAutocorrelationGivesTheResidualEnergyOfTheFilter) {
    for (int i = 0; i < 3; ++i) update_cng_autocorrelation({{colored(4.0e6f, 0.7f)}}, cng());
    ASSERT_EQ(silence(colored(4.0e6f, 0.7f)), kFrameSid);
    const lpc_vector a = cng().sid_lpc;
    const autocorrelation c = cng().sid_acf;

    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 100.0);
    std::array<double, 200> x;
    for (double& v : x) v = noise(rng);
    double direct = 0.0;  // residual of the zero-padded signal
    for (int n = 0; n < 200 + kLpcOrder; ++n) {
        double e = n < 200 ? x[n] : 0.0;
        for (int i = 1; i <= kLpcOrder; ++i)
            if (n - i >= 0 && n - i < 200) e -= a[i - 1] * x[n - i];
        direct += e * e;
    }
    double through_acf = 0.0;
    for (int k = 0; k < kAcfLength; ++k) {
        double r = 0.0;
        for (int n = k; n < 200; ++n) r += x[n] * x[n - k];
        through_acf += r * c[k];
    }
    EXPECT_NEAR(through_acf, direct, 1e-4 * direct);
}

}  // namespace
}  // namespace g723
