// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "media/codec/bitstream_reader.h"
#include "io/input_file.h"
#include "media/codec/codec_handles.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "bitstream/frame_decoding.h"
#include "meters/progress_bar.h"

namespace g723::tool {

using namespace g723::media;
using namespace g723::rtp;

namespace {

constexpr std::string_view decode_help =
    "usage: g723 decode [options] INPUT OUTPUT\n"
    "\n"
    "Decodes a G.723.1 bit-stream into 8 kHz mono 16-bit audio.\n"
    "\n"
    "  INPUT   the bit-stream, compact (each frame only its meaningful bytes, told\n"
    "          apart by the header code of its first byte) unless --slots;\n"
    "          '-' reads standard input\n"
    "  OUTPUT  WAV; headerless little-endian samples for a .raw or .pcm name or\n"
    "          with --raw; FLAC, AIFF or AU for a .flac, .aif/.aiff or .au name;\n"
    "          '-' writes standard output; the name of another audio format\n"
    "          (.mp3, .ogg, ...) is refused\n"
    "\n"
    "A 5.3 kbit/s frame (20 bytes) cannot be decoded: it is skipped and\n"
    "concealed like a lost frame. Frames with invalid parameters are concealed\n"
    "too; both are counted in a note on standard error. A bit-stream that ends\n"
    "inside a frame has every whole frame decoded and written, then the\n"
    "truncation is reported with its byte offset and the exit status is 1.\n"
    "\n"
    "options:\n"
    "  --slots         INPUT holds full 24-byte slots\n"
    "  --raw           write headerless 16-bit little-endian samples\n";

}  // namespace

exit_status run_decode(std::span<char* const> argument_list) {
    constexpr auto options =
        join(std::array<option_definition, 2>{{{"raw", false}, {"slots", false}}}, decoder_options);
    const parsed_arguments arguments = parse_arguments("decode", argument_list, options);
    if (arguments.help) {
        std::printf("%s%s  -h, --help      show this help\n\n%s", decode_help.data(),
                    decoder_options_help.data(), exit_status_help.data());
        return exit_status::ok;
    }
    require_files("decode", arguments, 2, "INPUT and OUTPUT");
    const std::string& input_name = arguments.files[0];
    const std::string& output_name = arguments.files[1];
    require_distinct("decode", input_name, output_name);
    refuse_terminal_output("decode", output_name);
    const decoder_settings settings = read_decoder_settings("decode", arguments);
    const stream_layout layout = arguments.has("slots") ? stream_layout::slots : stream_layout::compact;

    input_file input(input_name);
    bitstream_reader reader(input, layout);
    audio_output output(output_name, arguments.has("raw"));
    decoder_handle decoder(settings);
    loss_pattern losses(settings.loss_percent, settings.seed);
    frame_statistics statistics;
    progress_bar progress("decoding");

    std::array<std::int16_t, frame_samples> samples{};
    coded_frame frame;
    read_status status = read_status::frame;
    while ((status = reader.next(frame)) == read_status::frame) {
        decode_coded_frame(decoder.get(), frame, losses.next_lost(), samples, statistics);
        output.write(samples);
        std::optional<double> fraction;
        if (input.size()) {
            fraction = static_cast<double>(reader.offset()) / static_cast<double>(*input.size());
        }
        progress.update(fraction, statistics.seconds());
    }
    progress.finish();
    // Every whole frame is kept, also ahead of a truncation.
    output.commit();

    // Concealed frames are worth a note; with a truncation it joins the one
    // error line.
    const std::uint64_t unsupported = statistics.of(frame_kind::speech_5k3);
    std::string note;
    if (statistics.invalid + unsupported > 0) {
        note = std::to_string(statistics.invalid + unsupported) + " of " +
               std::to_string(statistics.frames()) + " frames concealed (" +
               std::to_string(statistics.invalid) + " invalid, " + std::to_string(unsupported) +
               " at 5.3 kbit/s)";
    }
    if (status == read_status::truncated) {
        fail_data(input.name(), truncation_reason(frame, reader, layout, statistics.frames()) +
                                    (note.empty() ? "" : "; " + note));
    }
    if (!note.empty()) std::fprintf(stderr, "g723: %s: %s\n", input.name().c_str(), note.c_str());
    return exit_status::ok;
}

}  // namespace g723::tool
