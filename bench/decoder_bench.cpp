// SPDX-License-Identifier: BSD-2-Clause
// Decoding speed of 6.3 kbit/s speech frames, postfilter on and off,
// reported as microseconds per 30 ms frame and as real-time factor.
//
// Two streams: the bundled speech sample as the encoder codes it (silence
// compression off, so every frame takes the full speech path), and frames
// built from valid random parameters (random LSP indices, lags and pulses,
// pulse amplitudes kept to the lower two thirds of the gain table).
#include <benchmark/benchmark.h>

#include <time.h>

#include <memory>
#include <random>
#include <vector>

#include "g723/decoder/decoder_state.h"
#include "g723/g723.h"
#include "tests/support/codec_test_support.h"
#include "tests/support/random_frames.h"

namespace {

constexpr int kStreamFrames = 256;
constexpr double kFrameSeconds = 0.030;

// CPU time of this thread: on a shared machine it is the steadier measure.
double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::vector<g723::testing::coded_slot> random_stream() {
    std::mt19937 rng(723);
    std::vector<g723::testing::coded_slot> stream;
    for (int i = 0; i < kStreamFrames; ++i)
        stream.push_back(g723::testing::pack(g723::testing::random_speech_params(rng, 15)));
    return stream;
}

std::vector<g723::testing::coded_slot> coded_sample_stream() {
    std::vector<uint8_t> coded;
    g723::test::code_and_decode(g723::test::whole_frames(g723::test::speech_sample()), 0, &coded);
    std::vector<g723::testing::coded_slot> stream(coded.size() / G723_SLOT_BYTES);
    for (size_t i = 0; i < stream.size(); ++i)
        std::copy_n(&coded[i * G723_SLOT_BYTES], G723_SLOT_BYTES, stream[i].begin());
    return stream;
}

void decode_stream(benchmark::State& state, const std::vector<g723::testing::coded_slot>& stream) {
    if (stream.empty()) {
        state.SkipWithError("no frames to decode");
        return;
    }
    auto decoder = std::make_unique<g723_decoder>();
    g723::open_decoder(*decoder);
    decoder->filter_mode = static_cast<int32_t>(state.range(0));
    std::vector<int16_t> out(G723_FRAME_SAMPLES);
    int32_t count = 0;
    size_t next = 0;
    const double start = thread_seconds();
    for (auto _ : state) {
        g723_decode_frame(decoder.get(), stream[next].data(), out.data(), 0, &count);
        benchmark::DoNotOptimize(out.data());
        if (++next == stream.size()) next = 0;
    }
    const double seconds = thread_seconds() - start;
    const double frames = static_cast<double>(state.iterations());
    state.counters["us_per_frame"] = 1e6 * seconds / frames;
    state.counters["realtime_x"] = frames * kFrameSeconds / seconds;
}

void decode_coded_speech(benchmark::State& state) { decode_stream(state, coded_sample_stream()); }
void decode_random_frames(benchmark::State& state) { decode_stream(state, random_stream()); }

}  // namespace

BENCHMARK(decode_coded_speech)->ArgName("postfilter")->Arg(1)->Arg(0);
BENCHMARK(decode_random_frames)->ArgName("postfilter")->Arg(1)->Arg(0);
