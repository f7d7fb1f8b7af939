// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_COMMAND_OPTIONS_H
#define G723_TOOLS_COMMANDS_COMMAND_OPTIONS_H

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "media/codec/codec_handles.h"
#include "rtp/net/udp_url.h"
#include "commands/command_line.h"

namespace g723::tool {

using namespace g723::media;
using namespace g723::rtp;

// Options shared by several commands, with their help lines.
inline constexpr std::array<option_definition, 3> encoder_options{
    {{"no-vad", false}, {"multiple-sid", false}, {"no-highpass", false}}};
inline constexpr std::string_view encoder_options_help =
    "  --no-vad        switch silence compression off: every frame is a speech frame\n"
    "  --multiple-sid  send a new SID frame whenever the background noise changes,\n"
    "                  not only the first frame of each silence period\n"
    "  --no-highpass   switch the encoder's input high-pass filter off\n";

inline constexpr std::array<option_definition, 3> decoder_options{
    {{"no-postfilter", false}, {"loss", true}, {"seed", true}}};
inline constexpr std::string_view decoder_options_help =
    "  --no-postfilter switch the decoder's pitch and formant postfilters off\n"
    "  --loss PERCENT  mark that share of the frames lost at random, to hear the\n"
    "                  concealment (0 to 100)\n"
    "  --seed N        seed of the random losses (default 1); the same seed marks\n"
    "                  the same frames\n";

inline constexpr std::string_view exit_status_help =
    "Exit status: 0 on success, 1 when a file cannot be read or written or its\n"
    "contents are bad, 2 when the command line is wrong. On failure no output\n"
    "file is left behind.\n";

// The options of a command made up of shared lists and its own.
template <std::size_t first, std::size_t second>
constexpr std::array<option_definition, first + second> join(const std::array<option_definition, first>& a,
                                                       const std::array<option_definition, second>& b) {
    std::array<option_definition, first + second> joined{};
    for (std::size_t i = 0; i < first; ++i) joined[i] = a[i];
    for (std::size_t i = 0; i < second; ++i) joined[first + i] = b[i];
    return joined;
}

encoder_settings read_encoder_settings(std::string_view command, const parsed_arguments& arguments);
decoder_settings read_decoder_settings(std::string_view command, const parsed_arguments& arguments);

// --pt: the RTP payload type, 4 (the static type) unless a dynamic type
// from 96 to 127 is named.
unsigned read_payload_type(std::string_view command, const parsed_arguments& arguments);

// A UDP address named on the command line; a usage error naming `command`
// when it is not one.
rtp::net::udp_url read_udp_url(std::string_view command, std::string_view text,
                               rtp::net::host_part host);

// A name ending in .raw or .pcm means headerless samples.
bool has_raw_extension(const std::string& name);

// Refuses INPUT and OUTPUT naming the same existing file: the output would
// replace the input it is made from.
void require_distinct(std::string_view command, const std::string& input,
                      const std::string& output);

// Refuses to pour binary output onto a terminal when OUTPUT is "-".
void refuse_terminal_output(std::string_view command, const std::string& output);

}  // namespace g723::tool

#endif
