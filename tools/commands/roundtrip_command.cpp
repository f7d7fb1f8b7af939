// SPDX-License-Identifier: BSD-2-Clause
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "media/codec/codec_handles.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "bitstream/frame_decoding.h"
#include "meters/progress_bar.h"
#include "media/meters/snr_meter.h"
#include "audio/speech_input.h"

namespace g723::tool {

using namespace g723::media;
using namespace g723::rtp;

namespace {

constexpr std::string_view roundtrip_help =
    "usage: g723 roundtrip [options] INPUT OUTPUT\n"
    "\n"
    "Encodes and decodes in one go and prints the bit rate, the frame counts by\n"
    "type, the SNR and segmental SNR of the decoded speech against the 8 kHz\n"
    "input, and the real-time factor of the codec.\n"
    "\n"
    "  INPUT   any audio file libsndfile reads, as for 'g723 encode'; '-' reads\n"
    "          standard input\n"
    "  OUTPUT  the decoded audio, as for 'g723 decode' (the same samples that\n"
    "          'encode' then 'decode' give); '-' writes standard output, and the\n"
    "          figures then go to standard error\n"
    "\n"
    "The decoded speech lags the input by the encoder's 60-sample look-ahead;\n"
    "the SNRs compare input sample i with decoded sample i + 60. The segmental\n"
    "SNR averages over 30 ms input segments, each limited to -10..35 dB, and\n"
    "leaves out segments whose RMS is below 100 (about -50 dB full scale).\n"
    "With silence compression on, comfort noise lowers both figures; --no-vad\n"
    "and --no-postfilter measure the waveform coder alone. The real-time factor\n"
    "is the time spent in the encoder and decoder divided by the duration.\n"
    "\n"
    "options:\n"
    "  --raw           INPUT is headerless 16-bit little-endian 8 kHz mono\n"
    "                  (implied by a .raw or .pcm name)\n";

std::string decibels(std::optional<double> value) {
    if (!value) return "n/a (the input is silent)";
    if (std::isinf(*value)) return "infinite (no coding error)";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", *value);
    return text;
}

}  // namespace

exit_status run_roundtrip(std::span<char* const> argument_list) {
    constexpr auto options = join(
        join(std::array<option_definition, 1>{{{"raw", false}}}, encoder_options), decoder_options);
    const parsed_arguments arguments = parse_arguments("roundtrip", argument_list, options);
    if (arguments.help) {
        std::printf("%s%s%s  -h, --help      show this help\n\n%s", roundtrip_help.data(),
                    encoder_options_help.data(), decoder_options_help.data(),
                    exit_status_help.data());
        return exit_status::ok;
    }
    require_files("roundtrip", arguments, 2, "INPUT and OUTPUT");
    const std::string& input_name = arguments.files[0];
    const std::string& output_name = arguments.files[1];
    require_distinct("roundtrip", input_name, output_name);
    refuse_terminal_output("roundtrip", output_name);
    const encoder_settings encoding = read_encoder_settings("roundtrip", arguments);
    const decoder_settings decoding = read_decoder_settings("roundtrip", arguments);

    speech_input input(input_name, arguments.has("raw") || has_raw_extension(input_name));
    audio_output output(output_name, false);
    encoder_handle encoder(encoding);
    decoder_handle decoder(decoding);
    loss_pattern losses(decoding.loss_percent, decoding.seed);
    frame_statistics statistics;
    snr_meter meter(encoder_delay);
    progress_bar progress("round trip");

    using clock = std::chrono::steady_clock;
    clock::duration coding_time{};
    std::array<std::int16_t, frame_samples> samples{};
    std::array<std::int16_t, frame_samples> decoded{};
    coded_frame frame;
    while (input.next_frame(samples)) {
        meter.add_input(std::span(samples).first(input.last_frame_samples()));
        std::int32_t length = 0;
        const auto start = clock::now();
        g723_encode_frame(encoder.get(), samples.data(), frame.slot.data(), &length);
        frame.kind = kind_of(frame.slot[0]);
        decode_coded_frame(decoder.get(), frame, losses.next_lost(), decoded, statistics);
        coding_time += clock::now() - start;
        output.write(decoded);
        meter.add_decoded(decoded);
        progress.update(input.progress(), static_cast<double>(input.samples()) / sample_rate);
    }
    progress.finish();
    meter.finish();
    output.commit();

    // With the decoded audio on standard output the figures go to standard
    // error, so that the two never mix.
    std::FILE* report = output_name == "-" ? stderr : stdout;
    const audio_source& source = input.source();
    const double input_seconds = static_cast<double>(input.samples()) / sample_rate;
    const double coding_seconds = std::chrono::duration<double>(coding_time).count();
    std::fprintf(report, "input            %s: %d Hz, %d channel%s, %.2f s\n", source.name().c_str(),
                 source.sample_rate(), source.channels(), source.channels() == 1 ? "" : "s",
                 input_seconds);
    std::fprintf(report, "frames           %llu: %s\n",
                 static_cast<unsigned long long>(statistics.frames()),
                 statistics.kinds_text().c_str());
    if (statistics.marked_lost > 0) {
        std::fprintf(report, "lost frames      %llu marked lost and concealed\n",
                     static_cast<unsigned long long>(statistics.marked_lost));
    }
    std::fprintf(report, "bit rate         %.0f bit/s average (compact layout)\n",
                 statistics.bit_rate());
    std::fprintf(report, "SNR              %s\n", decibels(meter.snr_db()).c_str());
    std::fprintf(report, "segmental SNR    %s over %llu active segments of 30 ms\n",
                 decibels(meter.segmental_snr_db()).c_str(),
                 static_cast<unsigned long long>(meter.segments_used()));
    std::fprintf(report, "real-time factor %.4f (%.3f s of encoding and decoding for %.2f s of audio)\n",
                 statistics.seconds() > 0 ? coding_seconds / statistics.seconds() : 0.0,
                 coding_seconds, statistics.seconds());
    std::fprintf(report, "decoded          %s\n", output.name().c_str());
    return exit_status::ok;
}

}  // namespace g723::tool
