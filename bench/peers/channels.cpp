// SPDX-License-Identifier: BSD-2-Clause
// g723_channels: the cost of many concurrent channels on one core, as a
// media server sees it. For each count N, N encoders and N decoders are open
// at once, each with its own state, and take their turns frame by frame:
// every channel encodes its next frame, then the next frame step begins.
// The decoders then take the same turns over the coded frames. Once the
// states no longer fit in the caches, every call starts by fetching its
// state from memory: the table shows what that costs, for g723 and GSM-FR
// alike.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "media/codec/frame_layout.h"
#include "program_options.h"
#include "round_trip.h"
#include "speech_codec.h"
#include "speech_signal.h"

namespace {

using namespace g723::bench;

constexpr std::string_view usage =
    "usage: g723_channels [--channels N,N,...] [--channel-seconds S] [--repetitions R] [INPUT]\n"
    "\n"
    "Encodes and then decodes N concurrent channels on one thread, each with\n"
    "its own encoder and decoder, the channels taking turns frame by frame,\n"
    "for g723 (6.3 kbit/s, silence compression off) and GSM-FR, and prints a\n"
    "Markdown table: CPU microseconds per channel-second of encoding and\n"
    "decoding, channels per core, and the cost per channel against one channel.\n"
    "\n"
    "  INPUT                any audio file libsndfile reads (default: the bundled\n"
    "                       sample), repeated to 60 s; channel c starts c * 7.9 s\n"
    "                       into it (wrapping), so that the channels differ\n"
    "  --channels N,...     channel counts (default 1,10,100,1000)\n"
    "  --channel-seconds S  audio coded per count, over all its channels: each\n"
    "                       channel codes S / N seconds, at least 3 (default 600)\n"
    "  --repetitions R      timed passes per count; the table shows medians\n"
    "                       (default 3)\n";

struct options {
    std::string input = G723_SAMPLE_DIR "/speech.wav";
    std::string input_shown = "samples/speech.wav";
    std::vector<int> channels{1, 10, 100, 1000};
    double channel_seconds = 600.0;
    int repetitions = 3;
};

options parse_options(int argc, char** argv) {
    options parsed;
    bool have_input = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool takes_value =
            argument == "--channels" || argument == "--channel-seconds" || argument == "--repetitions";
        if (takes_value && i + 1 == argc) fail_usage(std::string(argument) + ": needs a value");
        if (argument == "--channels") {
            parsed.channels.clear();
            std::string_view list = argv[++i];
            while (!list.empty()) {
                const std::size_t comma = std::min(list.find(','), list.size());
                parsed.channels.push_back(parse_number<int>(argument, list.substr(0, comma), 1, 100000));
                list.remove_prefix(std::min(comma + 1, list.size()));
            }
            if (parsed.channels.empty()) fail_usage("--channels: no count given");
        } else if (argument == "--channel-seconds") {
            parsed.channel_seconds = parse_number<double>(argument, argv[++i], 1.0, 1e6);
        } else if (argument == "--repetitions") {
            parsed.repetitions = parse_number<int>(argument, argv[++i], 1, 1000);
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

// Microseconds of CPU time per second of one channel's audio.
struct channel_cost {
    double encode_us = 0.0;
    double decode_us = 0.0;
    double total() const { return encode_us + decode_us; }
};

// N channels of one codec, each with its own encoder and decoder, opened for
// each pass (outside the timing) and coding `frames` frames each.
class channel_set {
public:
    channel_set(const speech_codec& codec, std::span<const std::int16_t> speech, int channels, std::size_t frames)
        : codec_(codec),
          speech_(speech),
          channels_(static_cast<std::size_t>(channels)),
          frames_(frames),
          frame_samples_(codec.frame_samples()),
          slot_bytes_(codec.slot_bytes()),
          ring_frames_(speech.size() / frame_samples_),
          slots_(channels_ * frames_ * slot_bytes_),
          lengths_(channels_ * frames_),
          decoded_(frame_samples_) {
        // Channel c starts 7.92 s further into the speech than channel c - 1.
        const std::size_t stride = 7920 / (1000 * frame_samples_ / g723::media::sample_rate);
        for (std::size_t c = 0; c < channels_; ++c) offsets_.push_back(c * stride % ring_frames_);
    }

    channel_cost run() {
        std::vector<std::unique_ptr<frame_encoder>> encoders;
        std::vector<std::unique_ptr<frame_decoder>> decoders;
        for (std::size_t c = 0; c < channels_; ++c) {
            encoders.push_back(codec_.open_encoder());
            decoders.push_back(codec_.open_decoder());
        }
        const std::span<std::uint8_t> slots(slots_);
        const std::span<std::int16_t> decoded(decoded_);
        double start = thread_seconds();
        for (std::size_t f = 0; f < frames_; ++f) {
            for (std::size_t c = 0; c < channels_; ++c) {
                const std::size_t at = (offsets_[c] + f) % ring_frames_;
                const std::size_t slot = f * channels_ + c;
                lengths_[slot] = encoders[c]->encode(speech_.subspan(at * frame_samples_, frame_samples_),
                                                     slots.subspan(slot * slot_bytes_, slot_bytes_));
            }
        }
        const double encode_seconds = thread_seconds() - start;
        start = thread_seconds();
        for (std::size_t f = 0; f < frames_; ++f) {
            for (std::size_t c = 0; c < channels_; ++c) {
                const std::size_t slot = f * channels_ + c;
                decoders[c]->decode(slots.subspan(slot * slot_bytes_, lengths_[slot]), decoded);
            }
        }
        const double decode_seconds = thread_seconds() - start;
        const double channel_seconds = static_cast<double>(channels_ * frames_ * frame_samples_) /
                                       g723::media::sample_rate;
        return {encode_seconds * 1e6 / channel_seconds, decode_seconds * 1e6 / channel_seconds};
    }

private:
    const speech_codec& codec_;
    std::span<const std::int16_t> speech_;
    std::size_t channels_;
    std::size_t frames_;
    std::size_t frame_samples_;
    std::size_t slot_bytes_;
    std::size_t ring_frames_;
    std::vector<std::size_t> offsets_;
    std::vector<std::uint8_t> slots_;
    std::vector<std::size_t> lengths_;
    std::vector<std::int16_t> decoded_;
};

int run(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::printf("%s", usage.data());
            return 0;
        }
    }
    const options chosen = parse_options(argc, argv);
    std::vector<std::unique_ptr<speech_codec>> codecs;
    codecs.push_back(make_g723_codec(false));
    codecs.push_back(make_gsm_codec());
    std::size_t frame_multiple = 1;
    for (const auto& codec : codecs) frame_multiple = std::lcm(frame_multiple, codec->frame_samples());
    // Speech only: no silent tail, which would make every channel cheap at
    // the same moments.
    const speech_signal signal = load_speech(chosen.input, 60.0, 0, frame_multiple);
    const std::span<const std::int16_t> speech =
        std::span<const std::int16_t>(signal.samples).first(signal.speech_samples / frame_multiple * frame_multiple);

    std::printf("Input: %s repeated to %.2f s of 8 kHz speech; each count codes %.0f channel-seconds "
                "(at least 3 s per channel); %d timed repetitions, medians.\n\n",
                chosen.input_shown.c_str(), static_cast<double>(speech.size()) / g723::media::sample_rate,
                chosen.channel_seconds, chosen.repetitions);
    std::printf("| channels | codec | encode µs per channel-second | decode µs per channel-second | "
                "channels per core | cost per channel × one channel's |\n");
    std::printf("|--:|---|--:|--:|--:|--:|\n");
    std::vector<double> one_channel(codecs.size(), 0.0);
    for (const int n : chosen.channels) {
        for (std::size_t k = 0; k < codecs.size(); ++k) {
            const speech_codec& codec = *codecs[k];
            const double frame_seconds = static_cast<double>(codec.frame_samples()) / g723::media::sample_rate;
            const double seconds_each = std::max(3.0, chosen.channel_seconds / n);
            const auto frames = static_cast<std::size_t>(seconds_each / frame_seconds + 0.5);
            channel_set set(codec, speech, n, frames);
            set.run();  // untimed: warms the code and the memory the channels use
            std::vector<double> encode, decode;
            for (int r = 0; r < chosen.repetitions; ++r) {
                const channel_cost cost = set.run();
                encode.push_back(cost.encode_us);
                decode.push_back(cost.decode_us);
            }
            const channel_cost cost{median(encode), median(decode)};
            if (one_channel[k] == 0.0) one_channel[k] = cost.total();
            std::printf("| %d | %s | %.0f | %.0f | %.0f | %.2f |\n", n, codec.name().c_str(), cost.encode_us,
                        cost.decode_us, 1e6 / cost.total(), cost.total() / one_channel[k]);
            std::fflush(stdout);
        }
    }
    std::printf("\nThe last column compares with the first count's cost per channel (encode plus decode).\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return g723::bench::run_program("g723_channels", run, argc, argv); }
