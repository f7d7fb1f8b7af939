// SPDX-License-Identifier: BSD-2-Clause
// Cost of silence compression: the voice activity decision per frame, the
// comfort-noise excitation, and whole frames coded and decoded as comfort
// noise against the same frames coded as speech. A frame is 30 ms of audio.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"
#include "g723/silence/comfort_noise_excitation.h"
#include "g723/silence/voice_activity.h"

namespace g723 {
namespace {

// 60 frames of low noise, the material of a pause.
std::vector<int16_t> pause_signal() {
    std::vector<int16_t> x(60 * kFrameSamples);
    uint32_t seed = 1;
    for (int16_t& s : x) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(static_cast<int32_t>(seed >> 24) / 8 - 16);
    }
    return x;
}

// Time per frame and how many times faster than real time.
void report_frames(benchmark::State& state) {
    const double frames = static_cast<double>(state.iterations());
    state.counters["per_frame"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(frames * 0.030, benchmark::Counter::kIsRate);
}

void BM_DetectVoiceActivity(benchmark::State& state) {
    g723_encoder encoder{};
    open_encoder(encoder);
    std::array<float, kFrameSamples> frame;
    for (int n = 0; n < kFrameSamples; ++n) frame[n] = 300.0f * std::sin(0.05f * n) + (n % 7);
    encoder.vad_state.inverse_filter = {0.9f, -0.2f, 0.1f, 0, 0, 0, 0, 0, 0, 0};
    for (auto _ : state) {
        benchmark::DoNotOptimize(detect_voice_activity(frame.data(), encoder.vad_mode, encoder.tone_history, encoder.vad_state));
        benchmark::ClobberMemory();
    }
    report_frames(state);
}
BENCHMARK(BM_DetectVoiceActivity);

void BM_GenerateCngExcitation(benchmark::State& state) {
    std::vector<float> buffer(kExcitationPast + kFrameSamples);
    for (int n = 0; n < kExcitationPast; ++n) buffer[n] = 200.0f * std::sin(0.3f * n);
    frame_params params{};
    int16_t seed = 12345;
    for (auto _ : state) {
        generate_cng_excitation(120.0f, buffer.data(), buffer.data() + kExcitationPast, seed, params);
        benchmark::ClobberMemory();
    }
    report_frames(state);
}
BENCHMARK(BM_GenerateCngExcitation);

// Whole pause frames through the encoder, with silence compression (arg 1)
// and without (arg 0).
void BM_EncodePause(benchmark::State& state) {
    const std::vector<int16_t> x = pause_signal();
    g723_encoder* encoder = nullptr;
    g723_encoder_open(&encoder);
    g723_encoder_set_vad_mode(encoder, static_cast<int32_t>(state.range(0)), 1);
    std::array<uint8_t, kSlotBytes> slot;
    size_t at = 0;
    for (auto _ : state) {
        int32_t length = 0;
        g723_encode_frame(encoder, x.data() + at, slot.data(), &length);
        at = (at + kFrameSamples) % x.size();
    }
    g723_encoder_close(&encoder);
    report_frames(state);
}
BENCHMARK(BM_EncodePause)->Arg(1)->Arg(0);

// Untransmitted frames after a SID through the decoder with its postfilter.
void BM_DecodeComfortNoise(benchmark::State& state) {
    g723_decoder* decoder = nullptr;
    g723_decoder_open(&decoder);
    const std::array<uint8_t, kSlotBytes> sid = {0x02, 0x00, 0x00, 30 << 2};
    const std::array<uint8_t, kSlotBytes> untransmitted = {0x03};
    std::array<int16_t, kFrameSamples> out;
    int32_t count = 0;
    g723_decode_frame(decoder, sid.data(), out.data(), 0, &count);
    for (auto _ : state) {
        g723_decode_frame(decoder, untransmitted.data(), out.data(), 0, &count);
        benchmark::DoNotOptimize(out.data());
    }
    g723_decoder_close(&decoder);
    report_frames(state);
}
BENCHMARK(BM_DecodeComfortNoise);

}  // namespace
}  // namespace g723
