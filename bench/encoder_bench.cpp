// SPDX-License-Identifier: BSD-2-Clause
// Encoder speed: microseconds per frame and real-time factor on the bundled
// speech, and the cost of each stage on inputs recorded from that speech.
// A frame is 30 ms of audio, so 30 us per frame is 1000 times real time.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "g723/dsp/lpc_to_lsp.h"
#include "g723/dsp/lsp_decode.h"
#include "g723/dsp/lsp_quantize.h"
#include "g723/encoder/adaptive_codebook_search.h"
#include "g723/encoder/encode_frame.h"
#include "g723/encoder/fixed_codebook_search.h"
#include "g723/encoder/harmonic_shaping.h"
#include "g723/encoder/impulse_response.h"
#include "g723/encoder/lpc_analysis.h"
#include "g723/encoder/open_loop_pitch.h"
#include "g723/encoder/perceptual_weighting.h"
#include "g723/encoder/subtract_ringing.h"
#include "g723/encoder/update_filter_memories.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;
constexpr double kFrameSeconds = 0.030;

// The data chunk of the bundled 16-bit mono WAV file, whole frames only.
std::vector<int16_t> load_speech() {
    std::ifstream file(std::string(G723_SAMPLE_DIR) + "/speech.wav", std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            std::vector<int16_t> samples(std::min<std::size_t>(size, bytes.size() - at - 8) / 2);
            std::memcpy(samples.data(), &bytes[at + 8], samples.size() * 2);
            samples.resize(samples.size() / kFrameSamples * kFrameSamples);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

const std::vector<int16_t>& speech() {
    static const std::vector<int16_t> samples = load_speech();
    return samples;
}

// Stage inputs of one frame of the speech, taken from the encoder's record
// after coding it: the conditioned input, the weighted speech and the final
// excitation with their pasts. The codebook stages search the weighted
// speech of each subframe as their target, through the response of the
// frame's unquantized filters: the same work on signals of speech's size
// and shape.
struct recorded_frame {
    std::array<float, kInputPast + kFrameSamples> input;                 // analysis span
    std::array<float, kWeightedPast + kFrameSamples> weighted;           // weighted speech with its past
    std::array<float, kExcitationPast + kFrameSamples> excitation;       // final excitation with its past
    std::array<lpc_vector, kSubframes> lpc;
    std::array<weighting_coefficients, kSubframes> weights;
    lsp_vector previous_lsp;
    std::array<int32_t, 2> open_loop_lag;
    std::array<harmonic_shaping, kSubframes> shaping;
    std::array<std::array<float, N>, kSubframes> response;
};

const std::vector<recorded_frame>& recorded() {
    static const std::vector<recorded_frame> frames = [] {
        std::vector<recorded_frame> out;
        auto encoder = std::make_unique<g723_encoder>();
        auto scratch = std::make_unique<g723_encoder>();
        open_encoder(*encoder);
        encoder->vad_mode = 0;
        const std::vector<int16_t>& x = speech();
        for (std::size_t f = 0; f < x.size(); f += kFrameSamples) {
            const lsp_vector previous_lsp = encoder->previous_lsp;
            std::array<uint8_t, kSlotBytes> slot;
            encode_frame(*encoder, std::span<const int16_t, kFrameSamples>(&x[f], kFrameSamples), slot);
            const int position = (encoder->frame_position + kSlotsPerBuffer - 1) % kSlotsPerBuffer;
            recorded_frame r;
            const float* input = &encoder->input_buffer[position * kFrameSamples];
            std::copy(input, input + r.input.size(), r.input.begin());
            const float* weighted = &encoder->weighted_speech[position * kFrameSamples];
            std::copy(weighted, weighted + r.weighted.size(), r.weighted.begin());
            const float* excitation = &encoder->excitation_buffer[position * kFrameSamples];
            std::copy(excitation, excitation + r.excitation.size(), r.excitation.begin());
            *scratch = *encoder;
            analyze_lpc(r.lpc, r.input.data(), *scratch);
            compute_weighting_coefficients(r.weights, r.lpc);
            r.previous_lsp = previous_lsp;
            r.open_loop_lag[0] = estimate_open_loop_pitch(&r.weighted[kWeightedPast]);
            r.open_loop_lag[1] = estimate_open_loop_pitch(&r.weighted[kWeightedPast + 2 * N]);
            for (int k = 0; k < kSubframes; ++k) {
                r.shaping[k] = find_harmonic_shaping(&r.weighted[kWeightedPast + k * N], r.open_loop_lag[k / 2]);
                compute_impulse_response(r.response[k], r.lpc[k], r.weights[k], r.shaping[k].lag, r.shaping[k].gain);
            }
            out.push_back(r);
        }
        return out;
    }();
    return frames;
}

// per_frame: CPU seconds per frame (shown with an SI prefix, u = us);
// realtime: seconds of audio coded per CPU second.
void report_per_frame(benchmark::State& state, int64_t frames) {
    state.counters["per_frame"] =
        benchmark::Counter(double(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(double(frames) * kFrameSeconds, benchmark::Counter::kIsRate);
}

// The whole encoder, frame after frame over the speech, restarting at its end.
void BM_EncodeSpeech(benchmark::State& state) {
    const std::vector<int16_t>& x = speech();
    auto encoder = std::make_unique<g723_encoder>();
    open_encoder(*encoder);
    encoder->vad_mode = 0;
    std::array<uint8_t, kSlotBytes> slot;
    std::size_t f = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        encode_frame(*encoder, std::span<const int16_t, kFrameSamples>(&x[f], kFrameSamples), slot);
        benchmark::DoNotOptimize(slot);
        f += kFrameSamples;
        if (f == x.size()) f = 0;
        ++frames;
    }
    report_per_frame(state, frames);
}
BENCHMARK(BM_EncodeSpeech);

// Each stage below runs one frame's worth of its work per iteration.
template <typename Stage>
void run_stage(benchmark::State& state, Stage stage) {
    const std::vector<recorded_frame>& frames = recorded();
    std::size_t i = 0;
    int64_t count = 0;
    for (auto _ : state) {
        stage(frames[i]);
        if (++i == frames.size()) i = 0;
        ++count;
    }
    report_per_frame(state, count);
}

// LPC analysis, weighting coefficients and the weighting filter.
void BM_StageLpcAndWeighting(benchmark::State& state) {
    auto scratch = std::make_unique<g723_encoder>();
    open_encoder(*scratch);
    scratch->vad_mode = 0;
    run_stage(state, [&](const recorded_frame& r) {
        std::array<lpc_vector, kSubframes> lpc;
        analyze_lpc(lpc, r.input.data(), *scratch);
        std::array<weighting_coefficients, kSubframes> weights;
        compute_weighting_coefficients(weights, lpc);
        std::array<float, kFrameSamples> weighted;
        apply_weighting_filter(&r.input[2 * N], weighted, weights, scratch->weighting_memory);
        benchmark::DoNotOptimize(weighted);
    });
}
BENCHMARK(BM_StageLpcAndWeighting);

// LPC-to-LSP conversion, quantization, decoding and interpolation.
void BM_StageLsp(benchmark::State& state) {
    run_stage(state, [](const recorded_frame& r) {
        lsp_vector previous = r.previous_lsp;
        lsp_vector lsp = lpc_to_lsp(r.lpc[3], previous);
        const int32_t index = lsp_quantize(lsp, previous);
        const lsp_vector quantized = lsp_inverse_quantize(index, previous, 0);
        std::array<lpc_vector, kSubframes> lpc;
        lsp_interpolate(lpc, quantized, previous);
        benchmark::DoNotOptimize(lpc);
    });
}
BENCHMARK(BM_StageLsp);

// Both open-loop pitch estimates and the harmonic noise shaping.
void BM_StagePitch(benchmark::State& state) {
    run_stage(state, [](const recorded_frame& r) {
        const float* w = &r.weighted[kWeightedPast];
        std::array<int32_t, 2> lags = {estimate_open_loop_pitch(w), estimate_open_loop_pitch(w + 2 * N)};
        std::array<float, kFrameSamples> shaped;
        for (int k = 0; k < kSubframes; ++k) {
            const harmonic_shaping s = find_harmonic_shaping(w + k * N, lags[k / 2]);
            apply_harmonic_shaping(shaped.data(), w, k * N, s.lag, s.gain);
        }
        benchmark::DoNotOptimize(shaped);
    });
}
BENCHMARK(BM_StagePitch);

// Impulse responses, ringing subtraction and memory updates of four subframes.
void BM_StageSubframeFilters(benchmark::State& state) {
    std::array<float, kFilterArraySize> s{};
    std::array<float, kWeightedPast + kFrameSamples> u{};
    run_stage(state, [&](const recorded_frame& r) {
        std::array<impulse_response, kSubframes> h;
        compute_impulse_responses(h, r.lpc, r.weights, r.shaping);
        benchmark::DoNotOptimize(h);
        for (int k = 0; k < kSubframes; ++k) {
            std::array<float, N> target;
            std::copy_n(&r.weighted[kWeightedPast + k * N], N, target.begin());
            float* s_mem = &s[kLpcOrder - 1 + k * N];
            float* u_mem = &u[kWeightedPast - 1 + k * N];
            subtract_ringing(target, r.lpc[k], r.weights[k], r.shaping[k].lag, r.shaping[k].gain, s_mem, u_mem);
            update_filter_memories(std::span<const float, N>(&r.excitation[kExcitationPast + k * N], N), r.lpc[k],
                                   r.weights[k], s_mem, u_mem);
            benchmark::DoNotOptimize(target);
        }
        std::copy(s.end() - kLpcOrder, s.end(), s.begin());
        std::copy(u.end() - kWeightedPast, u.end(), u.begin());
    });
}
BENCHMARK(BM_StageSubframeFilters);

// Adaptive codebook searches of four subframes.
void BM_StageAdaptiveCodebook(benchmark::State& state) {
    run_stage(state, [](const recorded_frame& r) {
        frame_params params{};
        params.open_loop_lag = r.open_loop_lag;
        for (int k = 0; k < kSubframes; ++k) {
            std::array<float, N> target;
            std::copy_n(&r.weighted[kWeightedPast + k * N], N, target.begin());
            std::array<float, N> acb;
            search_adaptive_codebook(target, r.response[k], &r.excitation[k * N], params, k, acb);
            benchmark::DoNotOptimize(acb);
        }
    });
}
BENCHMARK(BM_StageAdaptiveCodebook);

// MP-MLQ searches of four subframes.
void BM_StageFixedCodebook(benchmark::State& state) {
    run_stage(state, [](const recorded_frame& r) {
        frame_params params{};
        for (int k = 0; k < kSubframes; ++k) {
            std::array<float, N> target;
            std::copy_n(&r.weighted[kWeightedPast + k * N], N, target.begin());
            search_fixed_codebook(target, r.response[k], params, k);
            benchmark::DoNotOptimize(target);
        }
    });
}
BENCHMARK(BM_StageFixedCodebook);

}  // namespace
}  // namespace g723
