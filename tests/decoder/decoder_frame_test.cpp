// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/decoder_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "g723/decoder/pitch_postfilter.h"
#include "g723/dsp/pcm_rounding.h"
#include "g723/g723.h"
#include "g723/tables/lsp_tables.h"
#include "g723/tables/pulse_tables.h"
#include "tests/support/random_frames.h"

namespace g723 {
namespace {

using testing::coded_slot;
using testing::pack;
using testing::random_speech_params;
using pcm_frame = std::array<int16_t, kFrameSamples>;

std::unique_ptr<g723_decoder> new_decoder() {
    auto d = std::make_unique<g723_decoder>();
    open_decoder(*d);
    return d;
}

int32_t decode(g723_decoder& d, const coded_slot& slot, pcm_frame& out, int32_t lost = 0) {
    return decode_frame(d, slot.data(), out, lost);
}

TEST(DecodeFrame, SlotsCycleAndHistoryMovesOnceEveryFourFrames) {
    auto d = new_decoder();
    std::mt19937 rng(1);
    pcm_frame out;
    std::vector<float> tail;
    for (int frame = 0; frame < 8; ++frame) {
        if (frame == 4) {
            // Before the fifth frame, the end of slot 3 becomes the history.
            tail.assign(d->excitation_buffer.end() - 145, d->excitation_buffer.end());
        }
        const std::vector<float> before(d->excitation_buffer.begin(), d->excitation_buffer.end());
        decode(*d, pack(random_speech_params(rng, 12)), out);
        EXPECT_EQ(d->frame_position, (frame + 1) % 4) << frame;
        // Only the frame's own slot (and, at slot 0, the history) changed.
        const int slot = frame % 4;
        for (int i = 0; i < 1105; ++i) {
            const bool own = i >= 145 + 240 * slot && i < 385 + 240 * slot;
            const bool moved = slot == 0 && i < 145;
            if (!own && !moved) {
                ASSERT_EQ(d->excitation_buffer[i], before[i]) << frame << ',' << i;
            }
        }
        if (frame == 4) {
            for (int i = 0; i < 145; ++i) EXPECT_EQ(d->excitation_buffer[i], tail[i]) << i;
        }
    }
}

TEST(DecodeFrame, LostFrameRightAfterResetIsSilentSpeech) {
    auto d = new_decoder();
    pcm_frame out;
    out.fill(1);
    EXPECT_EQ(decode_frame(*d, nullptr, out, 1), g723_ok);
    EXPECT_EQ(d->erasure_count, 1);
    EXPECT_EQ(d->concealment_gain, 0.0f);
    EXPECT_EQ(d->decoder_cng_state.previous_frame_type, kFrameSpeech);
    for (int16_t s : out) EXPECT_EQ(s, 0);
}

TEST(DecodeFrame, ErasureSequenceAfterGoodFrame) {
    auto d = new_decoder();
    std::mt19937 rng(2);
    frame_params p = random_speech_params(rng, 12);
    p.subframes[2].fixed_gain_index = 5;
    p.subframes[3].fixed_gain_index = 6;
    pcm_frame out;
    d->decoder_cng_state.noise_seed = 1;
    EXPECT_EQ(decode(*d, pack(p), out), g723_ok);
    EXPECT_EQ(d->erasure_count, 0);
    EXPECT_EQ(d->concealment_gain, fixed_gain_table[5]);
    EXPECT_EQ(d->decoder_cng_state.noise_seed, kCngSeedStart);

    const int32_t counts[] = {1, 2, 3, 3};
    float gain = fixed_gain_table[5];
    for (int32_t expected : counts) {
        d->decoder_cng_state.noise_seed = 1;
        decode_frame(*d, nullptr, out, 1);
        gain *= 0.75f;
        EXPECT_EQ(d->erasure_count, expected);
        EXPECT_EQ(d->concealment_gain, gain);
        EXPECT_EQ(d->decoder_cng_state.noise_seed, kCngSeedStart);
        EXPECT_EQ(d->decoder_cng_state.previous_frame_type, kFrameSpeech);
    }
    // Muted: the whole excitation history is clear.
    EXPECT_TRUE(std::all_of(d->excitation_buffer.begin(), d->excitation_buffer.begin() + 145,
                            [](float v) { return v == 0.0f; }));
    // A good frame returns to the first state.
    decode(*d, pack(p), out);
    EXPECT_EQ(d->erasure_count, 0);
}

TEST(DecodeFrame, ConcealedFrameKeepsTheLagTheNoiseLevelAndTheSilenceSpectrum) {
    // Only a good frame analyses its end: a concealed frame continues with
    // the stored lag, and leaves the comfort-noise spectrum and level that
    // the good frame set.
    auto d = new_decoder();
    std::mt19937 rng(8);
    pcm_frame out;
    decode(*d, pack(random_speech_params(rng, 12)), out);
    d->concealment_lag = 40;
    const lsp_vector sid_lsp = d->decoder_cng_state.sid_lsp;
    const float noise_gain = d->decoder_cng_state.noise_gain;
    decode_frame(*d, nullptr, out, 1);
    EXPECT_EQ(d->concealment_lag, 40);
    EXPECT_EQ(d->decoder_cng_state.sid_lsp, sid_lsp);
    EXPECT_NE(d->previous_lsp, sid_lsp);  // the concealed frame's own LSPs moved on
    EXPECT_EQ(d->decoder_cng_state.noise_gain, noise_gain);
    const float* slot = d->excitation_buffer.data() + 145 + 240;
    for (int n = 40; n < 240; ++n) ASSERT_EQ(slot[n], slot[n - 40]) << n;
}

TEST(DecodeFrame, PitchPostfilterActsOnDecodedSpeechOnlyAndNeverOnTheExcitation) {
    // Before every frame a copy of the decoder has the postfilter switched
    // off. The pitch postfilter is the only stage ahead of synthesis that
    // the switch controls, so the synthesized speech may differ only in good
    // speech frames; the excitation history never differs.
    auto d = new_decoder();
    std::mt19937 rng(9);
    frame_params sid{};
    sid.lsp_index = 0x203040;
    sid.subframes[0].fixed_gain_index = 18;
    const coded_slot first = pack(random_speech_params(rng, 12));
    const coded_slot second = pack(random_speech_params(rng, 12));
    const coded_slot sid_slot = pack(sid, kFrameSid), pause = pack(sid, kFrameUntransmitted);
    struct step {
        const coded_slot* slot;  // null: lost
        bool speech;
    };
    const step stream[] = {{&first, true},     {&second, true}, {nullptr, false}, {nullptr, false},
                           {&sid_slot, false}, {&pause, false}, {nullptr, false}, {&first, true}};
    pcm_frame out;
    int speech_differs = 0;
    for (const step& s : stream) {
        g723_decoder off = *d;
        off.filter_mode = 0;
        decode_frame(*d, s.slot ? s.slot->data() : nullptr, out, s.slot ? 0 : 1);
        decode_frame(off, s.slot ? s.slot->data() : nullptr, out, s.slot ? 0 : 1);
        ASSERT_EQ(d->excitation_buffer, off.excitation_buffer);
        if (s.speech)
            speech_differs += d->synthesis_memory != off.synthesis_memory;
        else
            EXPECT_EQ(d->synthesis_memory, off.synthesis_memory);
    }
    EXPECT_GT(speech_differs, 0);
}

TEST(DecodeFrame, SecondHalfFrameLagDrivesItsPostfilterAndTheConcealmentAnalysis) {
    // First half frame (lag 100): loud pulses only. Second half frame (lag
    // 40): the strongest adaptive-codebook taps repeat the first half's last
    // 40 samples, with faint pulses, so it is periodic with period 40.
    auto d = new_decoder();
    std::mt19937 rng(10);
    frame_params p = random_speech_params(rng);
    p.open_loop_lag = {100, 40};
    for (int k = 0; k < 4; ++k) {
        p.subframes[k].lag_offset = 1;
        p.subframes[k].acb_gain_index = k < 2 ? 0 : 84;
        p.subframes[k].fixed_gain_index = k < 2 ? 16 : 0;
        p.subframes[k].pulse_train = 0;
    }
    g723_decoder off = *d;
    off.filter_mode = 0;
    pcm_frame out;
    ASSERT_EQ(decode(*d, pack(p), out), g723_ok);
    decode(off, pack(p), out);
    // As designed: the last subframe is filtered at its own half frame's
    // lag, while at lags near 100 no subframe would be.
    const float* history = d->excitation_buffer.data();
    ASSERT_EQ(find_pitch_postfilter(history, 40, 3, 0).offset, -40);
    for (int k = 0; k < 4; ++k) ASSERT_EQ(find_pitch_postfilter(history, 100, k, 0).weighted_gain, 0.0f) << k;

    EXPECT_EQ(d->concealment_lag, 40);
    EXPECT_NE(d->synthesis_memory, off.synthesis_memory);
}

TEST(DecodeFrame, LostFrameDuringSilenceContinuesSilence) {
    auto d = new_decoder();
    std::mt19937 rng(4);
    pcm_frame out;
    decode(*d, pack(random_speech_params(rng, 12)), out);
    // A good frame's spectrum is kept for silence starting without a SID.
    EXPECT_EQ(d->decoder_cng_state.sid_lsp, d->previous_lsp);
    decode_frame(*d, nullptr, out, 1);  // concealed as speech
    EXPECT_EQ(d->erasure_count, 1);
    frame_params sid{};
    sid.lsp_index = 0x010203;
    sid.subframes[0].fixed_gain_index = 20;
    EXPECT_EQ(decode(*d, pack(sid, kFrameSid), out), g723_ok);
    EXPECT_EQ(d->decoder_cng_state.previous_frame_type, kFrameSid);
    EXPECT_EQ(decode_frame(*d, nullptr, out, 1), g723_ok);
    EXPECT_EQ(d->decoder_cng_state.previous_frame_type, kFrameUntransmitted);
    EXPECT_EQ(d->erasure_count, 1);  // silence frames leave it alone
    EXPECT_EQ(decode(*d, pack(sid, kFrameUntransmitted), out), g723_ok);
    EXPECT_EQ(d->decoder_cng_state.previous_frame_type, kFrameUntransmitted);
}

TEST(DecodeFrame, SilenceFramesCarryComfortNoiseAtTheSidLevel) {
    // From reset the excitation history is silent, so the adaptive part of
    // the comfort noise is zero and the pulses alone carry the level: each
    // half frame's energy is 120 * level^2 (to the 0.0909 for 1/11).
    auto d = new_decoder();
    frame_params sid{};
    sid.lsp_index = 0x102030;
    sid.subframes[0].fixed_gain_index = 20;  // level 48
    pcm_frame out;
    EXPECT_EQ(decode(*d, pack(sid, kFrameSid), out), g723_ok);
    EXPECT_EQ(d->decoder_cng_state.noise_gain, 48.0f);
    EXPECT_EQ(d->previous_lsp, d->decoder_cng_state.sid_lsp);
    double e = 0.0;
    for (int n = 0; n < 240; ++n) e += double(d->excitation_buffer[145 + n]) * d->excitation_buffer[145 + n];
    EXPECT_NEAR(e, 240.0 * 48.0 * 48.0, 240.0 * 48.0 * 48.0 * 1e-3);
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](int16_t v) { return v != 0; }));

    // Untransmitted and lost frames continue the noise from the next slot.
    decode(*d, pack(sid, kFrameUntransmitted), out);
    decode_frame(*d, nullptr, out, 1);
    EXPECT_EQ(d->decoder_cng_state.previous_frame_type, kFrameUntransmitted);
    EXPECT_TRUE(std::any_of(d->excitation_buffer.begin() + 625, d->excitation_buffer.begin() + 865,
                            [](float v) { return v != 0.0f; }));
}

TEST(DecodeFrame, RefusedFramesAreConcealedExactlyLikeLostOnes) {
    std::mt19937 rng(5);
    const frame_params good = random_speech_params(rng, 12);
    coded_slot rate53 = pack(random_speech_params(rng, 12));
    rate53[0] |= 1;  // header code 1: 5.3 kbit/s
    coded_slot bad_lag = pack(random_speech_params(rng, 12));
    bad_lag[3] |= 0xfc;  // lag code of half frame 0 above 123
    bad_lag[4] |= 0x01;

    for (auto [slot, result] : {std::pair{rate53, g723_frame_not_supported},
                                std::pair{bad_lag, g723_frame_invalid}}) {
        auto refused = new_decoder();
        auto lost = new_decoder();
        pcm_frame a, b;
        decode(*refused, pack(good), a);
        decode(*lost, pack(good), b);
        EXPECT_EQ(decode(*refused, slot, a), result);
        decode_frame(*lost, nullptr, b, 1);
        EXPECT_EQ(a, b);
        EXPECT_EQ(refused->erasure_count, 1);
        EXPECT_EQ(refused->excitation_buffer, lost->excitation_buffer);
        EXPECT_EQ(refused->synthesis_memory, lost->synthesis_memory);
    }
}

TEST(DecodeFrame, PostfilterOffOutputsRoundedSynthesisAndLeavesPostfilterAlone) {
    auto d = new_decoder();
    d->filter_mode = 0;
    d->tilt_memory = 0.3f;
    d->gain_scale_state = 0.7f;
    d->postfilter_input_memory.fill(5.0f);
    d->postfilter_output_memory.fill(-5.0f);
    std::mt19937 rng(6);
    pcm_frame out;
    for (int frame = 0; frame < 6; ++frame) {
        decode(*d, pack(random_speech_params(rng, 12)), out);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(out[239 - i], float_to_pcm(d->synthesis_memory[i])) << frame;
    }
    EXPECT_EQ(d->tilt_memory, 0.3f);
    EXPECT_EQ(d->gain_scale_state, 0.7f);
    EXPECT_TRUE(std::all_of(d->postfilter_input_memory.begin(), d->postfilter_input_memory.end(),
                            [](float v) { return v == 5.0f; }));
    EXPECT_TRUE(std::all_of(d->postfilter_output_memory.begin(), d->postfilter_output_memory.end(),
                            [](float v) { return v == -5.0f; }));
}

TEST(DecodeFrame, PostfilterChangesSpeechButKeepsItsLevel) {
    auto on = new_decoder();
    auto off = new_decoder();
    off->filter_mode = 0;
    std::mt19937 rng(7);
    pcm_frame a, b;
    double ea = 0, eb = 0;
    bool differs = false;
    for (int frame = 0; frame < 50; ++frame) {
        const coded_slot slot = pack(random_speech_params(rng, 10));
        decode(*on, slot, a);
        decode(*off, slot, b);
        differs = differs || a != b;
        for (int n = 0; n < 240; ++n) {
            ea += double(a[n]) * a[n];
            eb += double(b[n]) * b[n];
        }
    }
    EXPECT_TRUE(differs);
    ASSERT_GT(eb, 0.0);
    EXPECT_GT(ea / eb, 0.5);
    EXPECT_LT(ea / eb, 2.0);
    // The postfilter's states were updated.
    EXPECT_NE(on->gain_scale_state, 1.0f);
}

}  // namespace
}  // namespace g723
