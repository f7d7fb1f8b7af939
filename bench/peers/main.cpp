// SPDX-License-Identifier: BSD-2-Clause
// g723_peers: g723 beside the narrowband speech codecs its users would pick
// instead, on the same speech, in one run.
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "heap_counter.h"
#include "peer_report.h"
#include "round_trip.h"
#include "speech_codec.h"
#include "speech_quality.h"
#include "speech_signal.h"
#include "media/codec/frame_layout.h"
#include "program_options.h"

namespace {

using namespace g723::bench;

constexpr std::string_view usage =
    "usage: g723_peers [--repetitions N] [--seconds S] [INPUT]\n"
    "\n"
    "Encodes and decodes the same 8 kHz speech with g723 (silence compression\n"
    "off and on), Opus 6k and 8k, Speex NB 8k, AMR-NB 6.7k and 7.4k, GSM-FR and\n"
    "Codec 2 3200, and prints a Markdown table: bit rate, CPU time of encoding\n"
    "and decoding per second of audio and as a ratio to g723's, channels per\n"
    "core, state bytes, SNR and segmental SNR.\n"
    "\n"
    "  INPUT              any audio file libsndfile reads, mixed to one channel\n"
    "                     and converted to 8 kHz (default: the bundled sample)\n"
    "  --repetitions N    timed passes over the signal, codecs taking turns in\n"
    "                     each; the table shows medians (default 7)\n"
    "  --seconds S        repeat INPUT whole until it lasts at least S seconds\n"
    "                     (default 60; 0 codes it once)\n";

// The longest codec delay searched for when lining up decoded speech.
constexpr std::size_t max_delay = 1000;

struct options {
    std::string input = G723_SAMPLE_DIR "/speech.wav";
    std::string input_shown = "samples/speech.wav";
    int repetitions = 7;
    double seconds = 60.0;
};

options parse_options(int argc, char** argv) {
    options parsed;
    bool have_input = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool takes_value = argument == "--repetitions" || argument == "--seconds";
        if (takes_value && i + 1 == argc) fail_usage(std::string(argument) + ": needs a value");
        if (argument == "--repetitions") {
            parsed.repetitions = parse_number<int>(argument, argv[++i], 1, 1000);
        } else if (argument == "--seconds") {
            parsed.seconds = parse_number<double>(argument, argv[++i], 0.0, 3600.0);
        } else if (argument.starts_with("-") && argument != "-") {
            fail_usage("unknown option '" + std::string(argument) + "'");
        } else if (have_input) {
            fail_usage("more than one INPUT");
        } else {
            parsed.input = argument;
            parsed.input_shown = argument;
            have_input = true;
        }
    }
    return parsed;
}

int run(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::printf("%s", usage.data());
            return 0;
        }
    }
    const options chosen = parse_options(argc, argv);
    if (!heap_counting_works()) {
        std::fprintf(stderr, "g723_peers: the heap cannot be counted here; state sizes are n/a\n");
    }

    const std::vector<std::unique_ptr<speech_codec>> codecs = all_codecs();
    std::size_t frame_multiple = 1;
    for (const auto& codec : codecs) frame_multiple = std::lcm(frame_multiple, codec->frame_samples());
    const speech_signal signal = load_speech(chosen.input, chosen.seconds, max_delay, frame_multiple);
    const std::span<const std::int16_t> samples(signal.samples);
    const double audio_seconds = static_cast<double>(samples.size()) / g723::media::sample_rate;

    std::vector<round_trip> trips;
    trips.reserve(codecs.size());
    for (const auto& codec : codecs) trips.emplace_back(*codec, samples.size());

    // An untimed first pass warms the caches and the codecs' code, and
    // makes sure that no codec writes into the signal the others code.
    const std::vector<std::int16_t> original = signal.samples;
    for (std::size_t c = 0; c < codecs.size(); ++c) {
        trips[c].run(samples);
        if (signal.samples != original) {
            throw std::runtime_error(codecs[c]->name() + " changed the samples it was given");
        }
    }

    // Codecs take turns within each repetition, starting one further along
    // each time, so that a busy spell on the machine or the order itself
    // weighs on every codec alike.
    std::vector<std::vector<double>> encode(codecs.size()), decode(codecs.size());
    for (int repetition = 0; repetition < chosen.repetitions; ++repetition) {
        for (std::size_t turn = 0; turn < codecs.size(); ++turn) {
            const std::size_t c = (turn + static_cast<std::size_t>(repetition)) % codecs.size();
            const round_trip_times times = trips[c].run(samples);
            encode[c].push_back(times.encode_seconds);
            decode[c].push_back(times.decode_seconds);
        }
    }

    const std::span<const std::int16_t> speech = samples.first(signal.speech_samples);
    std::vector<codec_result> results;
    for (std::size_t c = 0; c < codecs.size(); ++c) {
        codec_result result;
        result.name = codecs[c]->name();
        result.settings = codecs[c]->settings();
        result.bit_rate = static_cast<double>(trips[c].transmitted_bytes()) * 8.0 / audio_seconds;
        result.encode_us = median(encode[c]) * 1e6 / audio_seconds;
        result.decode_us = median(decode[c]) * 1e6 / audio_seconds;
        result.encoder_state = trips[c].encoder_state();
        result.decoder_state = trips[c].decoder_state();
        result.quality = measure_quality(speech, trips[c].decoded(), max_delay);
        results.push_back(std::move(result));
    }
    print_report(stdout, results, {chosen.input_shown, &signal, chosen.repetitions, max_delay});
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return g723::bench::run_program("g723_peers", run, argc, argv); }
