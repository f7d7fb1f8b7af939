// SPDX-License-Identifier: BSD-2-Clause
#include <cstdio>
#include <string>
#include <vector>

#include "media/codec/bitstream_reader.h"
#include "io/input_file.h"
#include "media/codec/codec_handles.h"
#include "commands/command_line.h"
#include "commands/commands.h"
#include "bitstream/frame_decoding.h"

namespace g723::tool {

using namespace g723::media;

namespace {

constexpr std::string_view info_help =
    "usage: g723 info [options] INPUT\n"
    "\n"
    "Describes a G.723.1 bit-stream: duration, frame counts by type, average\n"
    "bit rate, and the byte offset of every frame that does not decode cleanly\n"
    "(invalid parameters, 5.3 kbit/s frames, a truncated last frame). Every\n"
    "frame is run through the decoder to find them.\n"
    "\n"
    "  INPUT   the bit-stream, compact unless --slots; '-' reads standard input\n"
    "\n"
    "options:\n"
    "  --slots         INPUT holds full 24-byte slots\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 when the bit-stream holds whole frames (also when some of\n"
    "them are concealed), 1 when it cannot be read or ends inside a frame,\n"
    "2 when the command line is wrong.\n";

std::string describe(frame_outcome outcome) {
    switch (outcome) {
        case frame_outcome::invalid:
            return "invalid parameters (pitch lag or gain code out of range), concealed";
        case frame_outcome::not_supported:
            return "5.3 kbit/s frame, not supported, concealed";
        default:
            return "";
    }
}

}  // namespace

exit_status run_info(std::span<char* const> argument_list) {
    constexpr std::array<option_definition, 1> options{{{"slots", false}}};
    const parsed_arguments arguments = parse_arguments("info", argument_list, options);
    if (arguments.help) {
        std::printf("%s", info_help.data());
        return exit_status::ok;
    }
    require_files("info", arguments, 1, "INPUT");
    const stream_layout layout = arguments.has("slots") ? stream_layout::slots : stream_layout::compact;

    input_file input(arguments.files[0]);
    bitstream_reader reader(input, layout);
    decoder_handle decoder(decoder_settings{});
    frame_statistics statistics;
    std::vector<std::pair<std::uint64_t, std::string>> problems;

    std::array<std::int16_t, frame_samples> samples{};
    coded_frame frame;
    read_status status = read_status::frame;
    while ((status = reader.next(frame)) == read_status::frame) {
        const frame_outcome outcome =
            decode_coded_frame(decoder.get(), frame, false, samples, statistics);
        if (outcome != frame_outcome::clean) problems.emplace_back(frame.offset, describe(outcome));
    }
    const std::uint64_t file_bytes = reader.offset() + reader.truncated_bytes();
    if (status == read_status::truncated) {
        problems.emplace_back(frame.offset,
                              "truncated: " + std::to_string(reader.truncated_bytes()) + " of " +
                                  std::to_string(frame.length) + " bytes present");
    }

    const bool slots = layout == stream_layout::slots;
    std::printf("file             %s (%s layout, %llu bytes)\n", input.name().c_str(),
                slots ? "24-byte slot" : "compact", static_cast<unsigned long long>(file_bytes));
    std::printf("duration         %.2f s (%llu frames of 30 ms)\n", statistics.seconds(),
                static_cast<unsigned long long>(statistics.frames()));
    std::printf("frames           %s\n", statistics.kinds_text().c_str());
    std::printf("bit rate         %.0f bit/s average (meaningful bytes only)\n",
                statistics.bit_rate());
    if (problems.empty()) {
        std::printf("not clean        none\n");
    } else {
        std::printf("not clean        %zu frame%s\n", problems.size(), problems.size() == 1 ? "" : "s");
        for (const auto& [offset, what] : problems) {
            std::printf("  byte %-10llu %s\n", static_cast<unsigned long long>(offset), what.c_str());
        }
    }
    std::fflush(stdout);
    if (status == read_status::truncated) {
        fail_data(input.name(), truncation_reason(frame, reader, layout, statistics.frames()));
    }
    return exit_status::ok;
}

}  // namespace g723::tool
