// Decoding speed of 6.3 kbit/s speech frames, postfilter on and off,
// reported as microseconds per 30 ms frame and as real-time factor.
//
// The stream is built from valid random parameters packed into frames
// (random LSP indices, lags and pulses, pulse amplitudes kept to the lower
// two thirds of the gain table): every frame takes the full speech path, and
// the decoder's work per frame does not depend on the values.
#include <benchmark/benchmark.h>

#include <time.h>

#include <memory>
#include <random>
#include <vector>

#include "g723/decoder/decoder_state.h"
#include "g723/g723.h"
#include "tests/decoder/random_frames.h"

namespace {

constexpr int kStreamFrames = 256;
constexpr double kFrameSeconds = 0.030;

// CPU time of this thread: on a shared machine it is the steadier measure.
double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::vector<g723::testing::coded_slot> speech_stream() {
    std::mt19937 rng(723);
    std::vector<g723::testing::coded_slot> stream;
    for (int i = 0; i < kStreamFrames; ++i)
        stream.push_back(g723::testing::pack(g723::testing::random_speech_params(rng, 15)));
    return stream;
}

void decode_speech(benchmark::State& state) {
    const auto stream = speech_stream();
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

}  // namespace

BENCHMARK(decode_speech)->ArgName("postfilter")->Arg(1)->Arg(0);
