// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>
#include <string>
#include <vector>

#include "io/atomic_output_file.h"
#include "bitstream/bitstream_writer.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "bitstream/encoded_speech.h"
#include "meters/progress_bar.h"

namespace g723::tool {

namespace {

constexpr std::string_view encode_help =
    "usage: g723 encode [options] INPUT OUTPUT\n"
    "\n"
    "Codes audio into a G.723.1 bit-stream at 6.3 kbit/s, with silence\n"
    "compression (SID and untransmitted frames) unless --no-vad.\n"
    "\n"
    "  INPUT   any audio file libsndfile reads (WAV, AIFF, FLAC, Ogg, ...) at any\n"
    "          sample rate and channel count: channels are mixed down, the rate\n"
    "          converted to 8 kHz, samples rounded and clipped to 16 bits;\n"
    "          '-' reads standard input\n"
    "  OUTPUT  the bit-stream: frames one after another, each only its meaningful\n"
    "          bytes (24 speech, 4 SID, 1 untransmitted); '-' writes standard\n"
    "          output\n"
    "\n"
    "The input is padded with zeros to whole 30 ms frames, far enough that the\n"
    "encoder's 60-sample look-ahead covers its last sample.\n"
    "\n"
    "options:\n"
    "  --raw           INPUT is headerless 16-bit little-endian 8 kHz mono\n"
    "                  (implied by a .raw or .pcm name)\n"
    "  --slots         write every frame as a full 24-byte slot, zero-padded\n";

}  // namespace

exit_status run_encode(std::span<char* const> argument_list) {
    constexpr auto options =
        join(std::array<option_definition, 2>{{{"raw", false}, {"slots", false}}}, encoder_options);
    const parsed_arguments arguments = parse_arguments("encode", argument_list, options);
    if (arguments.help) {
        std::printf("%s%s  -h, --help      show this help\n\n%s", encode_help.data(),
                    encoder_options_help.data(), exit_status_help.data());
        return exit_status::ok;
    }
    require_files("encode", arguments, 2, "INPUT and OUTPUT");
    const std::string& input_name = arguments.files[0];
    const std::string& output_name = arguments.files[1];
    require_distinct("encode", input_name, output_name);
    refuse_terminal_output("encode", output_name);
    const encoder_settings settings = read_encoder_settings("encode", arguments);
    const stream_layout layout = arguments.has("slots") ? stream_layout::slots : stream_layout::compact;

    encoded_speech frames(input_name, arguments.has("raw") || has_raw_extension(input_name),
                          settings);
    atomic_output_file output(output_name);
    bitstream_writer writer(output, layout);
    progress_bar progress("encoding");

    frame_slot slot{};
    while (frames.next(slot)) {
        writer.write(slot);
        const speech_input& input = frames.input();
        progress.update(input.progress(), static_cast<double>(input.samples()) / sample_rate);
    }
    progress.finish();
    output.commit();
    return exit_status::ok;
}

}  // namespace g723::tool
