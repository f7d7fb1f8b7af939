// SPDX-License-Identifier: BSD-2-Clause
// Silence compression on hostile material: degenerate and extreme signals,
// with and without the input high-pass filter, keep the encoder's state
// finite and the decoder in step with it through every SID and untransmitted
// frame; and any SID or untransmitted slot, lost or not, in any order,
// decodes to 240 samples from finite state.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "g723/decoder/decoder_state.h"
#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"
#include "g723/tables/codec_constants.h"

namespace g723 {
namespace {

constexpr int kFrames = 60;

struct hostile_signal {
    std::string name;
    std::function<int16_t(int)> sample;
};

// Named in test listings by its name, not by its bytes.
void PrintTo(const hostile_signal& signal, std::ostream* out) { *out << signal.name; }

int16_t hash_noise(int n) {
    uint32_t h = uint32_t(n) * 2654435761u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return int16_t(h & 0xffff);
}

template <typename Values>
bool all_finite(const Values& values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

class SilenceRobustness : public ::testing::TestWithParam<hostile_signal> {};

TEST_P(SilenceRobustness, EncoderStaysFiniteAndTheDecoderInStep) {
    const hostile_signal& signal = GetParam();
    for (int32_t filter_mode : {1, 0}) {
        for (int32_t single_sid : {1, 0}) {
            g723_encoder* enc = nullptr;
            g723_decoder* dec = nullptr;
            g723_encoder_open(&enc);
            g723_decoder_open(&dec);
            g723_encoder_set_filter_mode(enc, filter_mode);
            g723_encoder_set_vad_mode(enc, 1, single_sid);
            g723_decoder_set_filter_mode(dec, 0);
            int silence = 0, sid = 0;
            for (int f = 0; f < kFrames; ++f) {
                std::array<int16_t, kFrameSamples> in;
                for (int n = 0; n < kFrameSamples; ++n) in[n] = signal.sample(f * kFrameSamples + n);
                std::array<uint8_t, kSlotBytes> slot;
                std::array<int16_t, kFrameSamples> out;
                int32_t length = 0, count = 0;
                g723_encode_frame(enc, in.data(), slot.data(), &length);
                ASSERT_EQ(g723_decode_frame(dec, slot.data(), out.data(), 0, &count), g723_ok);
                silence += (slot[0] & 3) != 0;
                sid += (slot[0] & 3) == 2;

                const std::string where = signal.name + " filter " + std::to_string(filter_mode) + " single_sid " +
                                          std::to_string(single_sid) + " frame " + std::to_string(f);
                const encoder_cng_state& cng = enc->encoder_cng_state;
                ASSERT_TRUE(all_finite(enc->excitation_buffer) && all_finite(enc->synthesis_memory) &&
                            all_finite(enc->weighted_synthesis_history) && all_finite(enc->previous_lsp) &&
                            all_finite(enc->vad_state.inverse_filter) && std::isfinite(enc->vad_state.noise_level) &&
                            std::isfinite(cng.noise_gain) && all_finite(cng.sid_lpc) && all_finite(cng.sid_acf))
                    << where;
                ASSERT_TRUE(all_finite(dec->excitation_buffer) && all_finite(dec->synthesis_memory)) << where;
                const int slot_start = kExcitationPast + kFrameSamples * (enc->frame_counter - 1);
                for (int n = 0; n < kFrameSamples; ++n) {
                    ASSERT_EQ(enc->excitation_buffer[slot_start + n], dec->excitation_buffer[slot_start + n])
                        << where << " sample " << n;
                }
                ASSERT_EQ(enc->synthesis_memory, dec->synthesis_memory) << where;
            }
            if (signal.name == "digital_silence") {
                EXPECT_GT(silence, kFrames / 2);
                EXPECT_EQ(sid, 1) << "nothing in a muted input calls for a SID update";
            }
            g723_encoder_close(&enc);
            g723_decoder_close(&dec);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SilenceRobustness,
    ::testing::Values(
        hostile_signal{"digital_silence", [](int) { return int16_t(0); }},
        hostile_signal{"dc_max", [](int) { return int16_t(32767); }},
        hostile_signal{"dc_min_after_silence", [](int n) { return int16_t(n < 2400 ? 0 : -32768); }},
        hostile_signal{"lsb_dither", [](int n) { return int16_t(hash_noise(n) & 1); }},
        hostile_signal{"tone_1khz", [](int n) { return int16_t(std::lround(20000.0 * std::sin(std::numbers::pi * n / 4.0))); }},
        hostile_signal{"quiet_tone", [](int n) { return int16_t(std::lround(6.0 * std::sin(0.3 * n))); }},
        hostile_signal{"square_2", [](int n) { return int16_t(n % 2 ? -32768 : 32767); }},
        hostile_signal{"white_noise", hash_noise},
        hostile_signal{"quiet_noise", [](int n) { return int16_t(hash_noise(n) >> 11); }},
        hostile_signal{"bursts", [](int n) { return int16_t((n / 240) % 5 == 1 ? hash_noise(n) : 0); }},
        hostile_signal{"stepping_noise", [](int n) { return int16_t(hash_noise(n) >> (14 - (n / 960) % 12)); }},
        hostile_signal{"impulses", [](int n) { return int16_t(n % 97 == 0 ? 32767 : 0); }}),
    [](const ::testing::TestParamInfo<hostile_signal>& info) { return info.param.name; });

// Random SID slots (any LSP and gain index), untransmitted slots and lost
// frames, in random order, after random speech-frame bytes.
TEST(SilenceRobustnessDecoder, AnySilenceSlotSequenceDecodesFromFiniteState) {
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    g723_decoder* dec = nullptr;
    g723_decoder_open(&dec);
    int64_t silence_frames = 0;
    for (int f = 0; f < 3000; ++f) {
        std::array<uint8_t, kSlotBytes> slot{};
        const uint32_t kind = next() % 8;
        int32_t lost = 0;
        if (kind < 3) {
            for (int b = 0; b < 4; ++b) slot[b] = uint8_t(next());
            slot[0] = uint8_t((slot[0] & 0xFC) | 2);  // SID
        } else if (kind < 5) {
            slot[0] = 3;  // untransmitted
        } else if (kind == 5) {
            lost = 1;
        } else {
            for (uint8_t& b : slot) b = uint8_t(next());
            slot[0] &= 0xFC;  // speech bytes, possibly invalid
        }
        std::array<int16_t, kFrameSamples> out;
        int32_t count = 0;
        g723_decode_frame(dec, lost ? nullptr : slot.data(), out.data(), lost, &count);
        ASSERT_EQ(count, kFrameSamples);
        silence_frames += dec->decoder_cng_state.previous_frame_type != kFrameSpeech;
        ASSERT_TRUE(std::isfinite(dec->decoder_cng_state.noise_gain)) << f;
        ASSERT_TRUE(all_finite(dec->excitation_buffer) && all_finite(dec->synthesis_memory) &&
                    all_finite(dec->postfilter_input_memory) && all_finite(dec->postfilter_output_memory) &&
                    all_finite(dec->previous_lsp) && all_finite(dec->decoder_cng_state.sid_lsp))
            << f;
        ASSERT_GE(dec->decoder_cng_state.sid_gain, 0);
        ASSERT_LE(dec->decoder_cng_state.sid_gain, 344);
    }
    EXPECT_GT(silence_frames, 1000);
    g723_decoder_close(&dec);
}

}  // namespace
}  // namespace g723
