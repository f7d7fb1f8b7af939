// SPDX-License-Identifier: BSD-2-Clause
// g723_frame_times: g723's encoder and decoder time per frame, as the sum
// over the frames of each frame's shortest time across many passes. A frame
// call lasts about ten microseconds, far less than a time slice, so most
// passes see each frame undisturbed even on a machine busy with other work,
// where the times of whole passes vary by tens of per cent.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "g723/g723.h"
#include "program_options.h"
#include "media/codec/frame_layout.h"
#include "speech_signal.h"

namespace {

using clock_type = std::chrono::steady_clock;
using g723::bench::fail_usage;

constexpr std::string_view usage =
    "usage: g723_frame_times [--passes N] [--vad] [INPUT]\n"
    "\n"
    "Encodes INPUT (default: the bundled sample) frame by frame N times (default\n"
    "30) with a new encoder each pass, decodes each pass's bit-stream with a new\n"
    "decoder, and prints microseconds per frame and per second of audio of the\n"
    "encoder and of the decoder: for each frame its shortest time over the\n"
    "passes, summed over the frames. --vad switches silence compression on.\n"
    "The kernel path is the library's choice (G723_KERNELS names another).\n";

double seconds_between(clock_type::time_point a, clock_type::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

int run(int argc, char** argv) {
    std::string input = G723_SAMPLE_DIR "/speech.wav";
    int passes = 30;
    int vad = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::printf("%s", usage.data());
            return 0;
        }
        if (argument == "--passes") {
            if (i + 1 == argc) fail_usage("--passes: needs a value");
            passes = g723::bench::parse_number<int>(argument, argv[++i], 1, 10000);
        } else if (argument == "--vad") {
            vad = 1;
        } else if (argument.starts_with("-") && argument != "-") {
            fail_usage("unknown option '" + std::string(argument) + "'");
        } else {
            input = argument;
        }
    }
    const g723::bench::speech_signal signal = g723::bench::load_speech(input, 0.0, 0, G723_FRAME_SAMPLES);
    const std::size_t frames = signal.samples.size() / G723_FRAME_SAMPLES;
    std::vector<std::uint8_t> slots(frames * G723_SLOT_BYTES);
    std::vector<std::int16_t> decoded(G723_FRAME_SAMPLES);
    constexpr double none = std::numeric_limits<double>::max();
    std::vector<double> encode(frames, none), decode(frames, none);
    for (int pass = 0; pass < passes; ++pass) {
        g723_encoder* encoder = nullptr;
        g723_encoder_open(&encoder);
        g723_encoder_set_vad_mode(encoder, vad, 1);
        for (std::size_t f = 0; f < frames; ++f) {
            std::int32_t length = 0;
            const auto start = clock_type::now();
            g723_encode_frame(encoder, &signal.samples[f * G723_FRAME_SAMPLES], &slots[f * G723_SLOT_BYTES], &length);
            encode[f] = std::min(encode[f], seconds_between(start, clock_type::now()));
        }
        g723_encoder_close(&encoder);
        g723_decoder* decoder = nullptr;
        g723_decoder_open(&decoder);
        for (std::size_t f = 0; f < frames; ++f) {
            std::int32_t count = 0;
            const auto start = clock_type::now();
            g723_decode_frame(decoder, &slots[f * G723_SLOT_BYTES], decoded.data(), 0, &count);
            decode[f] = std::min(decode[f], seconds_between(start, clock_type::now()));
        }
        g723_decoder_close(&decoder);
    }
    double encode_sum = 0.0, decode_sum = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
        encode_sum += encode[f];
        decode_sum += decode[f];
    }
    const double audio_seconds = static_cast<double>(frames * G723_FRAME_SAMPLES) / g723::media::sample_rate;
    std::printf("%zu frames, %d passes, silence compression %s\n", frames, passes, vad ? "on" : "off");
    std::printf("encode %.2f µs per frame, %.0f µs per second\n", encode_sum * 1e6 / static_cast<double>(frames),
                encode_sum * 1e6 / audio_seconds);
    std::printf("decode %.2f µs per frame, %.0f µs per second\n", decode_sum * 1e6 / static_cast<double>(frames),
                decode_sum * 1e6 / audio_seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return g723::bench::run_program("g723_frame_times", run, argc, argv); }
