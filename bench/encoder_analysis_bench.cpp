// SPDX-License-Identifier: BSD-2-Clause
// Cost of the encoder's analysis stages per 30 ms frame: LPC analysis, the
// perceptual weighting filter, open-loop pitch, harmonic noise shaping and
// LSP conversion with quantization.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "g723/dsp/lpc_to_lsp.h"
#include "g723/dsp/lsp_quantize.h"
#include "g723/encoder/encoder_state.h"
#include "g723/encoder/harmonic_shaping.h"
#include "g723/encoder/lpc_analysis.h"
#include "g723/encoder/open_loop_pitch.h"
#include "g723/encoder/perceptual_weighting.h"
#include "g723/tables/lsp_tables.h"

namespace {

using namespace g723;

// A voiced-speech stand-in: a 100 Hz pulse train and noise through two
// formant resonators.
std::vector<float> voiced_signal(int samples) {
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 200.0);
    std::vector<float> x(samples);
    double a1 = 0, a2 = 0, b1 = 0, b2 = 0;
    for (int n = 0; n < samples; ++n) {
        const double e = (n % 80 == 0 ? 6000.0 : 0.0) + noise(rng);
        const double a = e + 1.6 * a1 - 0.85 * a2;
        a2 = a1;
        a1 = a;
        const double b = 0.3 * a + 0.5 * b1 - 0.7 * b2;
        b2 = b1;
        b1 = b;
        x[n] = static_cast<float>(std::fmax(-32768.0, std::fmin(32767.0, b)));
    }
    return x;
}

struct analysis_fixture {
    std::unique_ptr<g723_encoder> encoder = std::make_unique<g723_encoder>();
    std::vector<float> input = voiced_signal(kInputPast + kFrameSamples);
    std::array<lpc_vector, kSubframes> lpc;
    std::array<weighting_coefficients, kSubframes> weights;
    std::array<float, kWeightedPast + kFrameSamples> weighted{};

    analysis_fixture() {
        open_encoder(*encoder);
        analyze_lpc(lpc, input.data(), *encoder);
        compute_weighting_coefficients(weights, lpc);
        const std::vector<float> past = voiced_signal(kWeightedPast + kFrameSamples);
        std::copy(past.begin(), past.end(), weighted.begin());
    }
    float* frame() { return weighted.data() + kWeightedPast; }
};

void BM_LpcAnalysis(benchmark::State& state) {
    analysis_fixture f;
    for (auto _ : state) {
        analyze_lpc(f.lpc, f.input.data(), *f.encoder);
        benchmark::DoNotOptimize(f.lpc);
    }
}
BENCHMARK(BM_LpcAnalysis);

void BM_PerceptualWeighting(benchmark::State& state) {
    analysis_fixture f;
    std::array<float, kFrameSamples> y;
    for (auto _ : state) {
        compute_weighting_coefficients(f.weights, f.lpc);
        apply_weighting_filter(f.input.data() + 60, y, f.weights, f.encoder->weighting_memory);
        benchmark::DoNotOptimize(y);
    }
}
BENCHMARK(BM_PerceptualWeighting);

void BM_OpenLoopPitch(benchmark::State& state) {
    analysis_fixture f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(estimate_open_loop_pitch(f.frame()));
        benchmark::DoNotOptimize(estimate_open_loop_pitch(f.frame() + 120));
    }
}
BENCHMARK(BM_OpenLoopPitch);

void BM_HarmonicShaping(benchmark::State& state) {
    analysis_fixture f;
    std::array<float, kFrameSamples> out;
    for (auto _ : state) {
        for (int k = 0; k < kSubframes; ++k) {
            const harmonic_shaping h = find_harmonic_shaping(f.frame() + 60 * k, 80);
            apply_harmonic_shaping(out.data(), f.frame(), 60 * k, h.lag, h.gain);
        }
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_HarmonicShaping);

void BM_LspConversionAndQuantization(benchmark::State& state) {
    analysis_fixture f;
    for (auto _ : state) {
        lsp_vector lsp = lpc_to_lsp(f.lpc[3], lsp_dc_vector);
        benchmark::DoNotOptimize(lsp_quantize(lsp, lsp_dc_vector));
    }
}
BENCHMARK(BM_LspConversionAndQuantization);

}  // namespace
