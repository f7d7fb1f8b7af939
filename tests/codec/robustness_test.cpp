// SPDX-License-Identifier: BSD-2-Clause
// Any input is legal: extreme and degenerate signals must give valid speech
// frames, finite encoder state and frames that the decoder takes without
// complaint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "g723/bitstream/frame_packing.h"
#include "g723/encoder/encoder_state.h"
#include "tests/support/codec_test_support.h"

namespace g723 {
namespace {

constexpr int kFrames = 40;

struct hostile_input {
    std::string name;
    std::function<int16_t(int)> sample;
};

// Named in test listings by its name, not by its bytes.
void PrintTo(const hostile_input& input, std::ostream* out) { *out << input.name; }

bool finite_state(const g723_encoder& e) {
    auto all_finite = [](const auto& values) {
        for (float v : values)
            if (!std::isfinite(v)) return false;
        return true;
    };
    return all_finite(e.weighted_speech) && all_finite(e.weighted_synthesis_history) &&
           all_finite(e.excitation_buffer) && all_finite(e.input_buffer) && all_finite(e.weighting_memory) &&
           all_finite(e.synthesis_memory) && all_finite(e.previous_lsp) && std::isfinite(e.hp_previous_input) &&
           std::isfinite(e.hp_previous_output);
}

class RobustnessTest : public ::testing::TestWithParam<hostile_input> {};

TEST_P(RobustnessTest, EveryFrameIsValidAndDecodes) {
    const hostile_input& input = GetParam();
    std::vector<int16_t> x(kFrames * G723_FRAME_SAMPLES);
    for (std::size_t n = 0; n < x.size(); ++n) x[n] = input.sample(int(n));

    // High-pass filter on with silence compression off and on, then off.
    for (const auto& [filter_mode, vad_mode] : {std::pair{1, 0}, std::pair{1, 1}, std::pair{0, 0}}) {
        g723_encoder* encoder = nullptr;
        g723_decoder* decoder = nullptr;
        g723_encoder_open(&encoder);
        g723_encoder_set_vad_mode(encoder, vad_mode, 1);
        g723_encoder_set_filter_mode(encoder, filter_mode);
        g723_decoder_open(&decoder);
        for (int f = 0; f < kFrames; ++f) {
            uint8_t slot[G723_SLOT_BYTES];
            int32_t length = 0, count = 0;
            ASSERT_EQ(g723_encode_frame(encoder, &x[f * G723_FRAME_SAMPLES], slot, &length), g723_ok);
            ASSERT_EQ(length, G723_SLOT_BYTES);
            ASSERT_TRUE(finite_state(*encoder)) << input.name << " frame " << f;
            // Speech only without silence compression; never a 5.3 kbit/s header.
            if (vad_mode == 0) {
                ASSERT_EQ(slot[0] & 3, 0) << input.name << " frame " << f;
            }
            ASSERT_NE(slot[0] & 3, 1) << input.name << " frame " << f;

            frame_params params{};
            const unpacked_frame unpacked = unpack_frame(params, slot, 0, 0);
            ASSERT_EQ(unpacked.result, g723_ok) << input.name << " frame " << f;
            if (unpacked.frame_type == kFrameSpeech)
                for (int j = 0; j < kSubframes; ++j) {
                    ASSERT_EQ(params.subframes[j].grid, 0);
                    ASSERT_EQ(params.subframes[j].pulse_train, 0);
                }

            int16_t out[G723_FRAME_SAMPLES];
            ASSERT_EQ(g723_decode_frame(decoder, slot, out, 0, &count), g723_ok) << input.name << " frame " << f;
            ASSERT_EQ(count, G723_FRAME_SAMPLES);
        }
        g723_encoder_close(&encoder);
        g723_decoder_close(&decoder);
    }
}

int16_t noise(int n) {
    // Deterministic full-scale white noise, independent of call order.
    uint32_t h = uint32_t(n) * 2654435761u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return int16_t(h & 0xffff);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, RobustnessTest,
    ::testing::Values(
        hostile_input{"silence", [](int) { return int16_t(0); }},
        hostile_input{"dc_max", [](int) { return int16_t(32767); }},
        hostile_input{"dc_min", [](int) { return int16_t(-32768); }},
        hostile_input{"square_40", [](int n) { return int16_t((n / 20) % 2 ? -32768 : 32767); }},
        hostile_input{"square_2", [](int n) { return int16_t(n % 2 ? -32768 : 32767); }},
        hostile_input{"square_290", [](int n) { return int16_t((n / 145) % 2 ? -32768 : 32767); }},
        hostile_input{"clipped_sine",
                      [](int n) {
                          const double v = 90000.0 * std::sin(2.0 * std::numbers::pi * 300.0 * n / 8000.0);
                          return int16_t(std::clamp(v, -32768.0, 32767.0));
                      }},
        hostile_input{"tone_1khz", [](int n) { return int16_t(std::lround(20000.0 * std::sin(2.0 * std::numbers::pi * n / 8.0))); }},
        hostile_input{"tone_3999hz",
                      [](int n) { return int16_t(std::lround(32000.0 * std::sin(2.0 * std::numbers::pi * 3999.0 * n / 8000.0))); }},
        hostile_input{"white_noise", noise},
        hostile_input{"impulses", [](int n) { return int16_t(n % 97 == 0 ? 32767 : 0); }},
        hostile_input{"bursts", [](int n) { return int16_t((n / 240) % 3 == 1 ? noise(n) : 0); }}),
    [](const ::testing::TestParamInfo<hostile_input>& info) { return info.param.name; });

}  // namespace
}  // namespace g723
