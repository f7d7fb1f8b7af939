// SPDX-License-Identifier: BSD-2-Clause
#include "commands/command_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "io/tool_error.h"

namespace g723::tool {

encoder_settings read_encoder_settings(std::string_view command, const parsed_arguments& arguments) {
    encoder_settings settings;
    settings.silence_compression = !arguments.has("no-vad");
    settings.single_sid = !arguments.has("multiple-sid");
    settings.high_pass = !arguments.has("no-highpass");
    if (!settings.silence_compression && !settings.single_sid) {
        fail_usage(std::string(command) +
                   ": --multiple-sid needs silence compression, which --no-vad switches off");
    }
    return settings;
}

decoder_settings read_decoder_settings(std::string_view command, const parsed_arguments& arguments) {
    decoder_settings settings;
    settings.postfilter = !arguments.has("no-postfilter");
    settings.loss_percent = number_option(command, arguments, "loss", 0.0, 100.0, 0.0);
    settings.seed = unsigned_option(command, arguments, "seed", 1);
    return settings;
}

unsigned read_payload_type(std::string_view command, const parsed_arguments& arguments) {
    constexpr unsigned static_type = 4;
    const auto type = unsigned_option(command, arguments, "pt", static_type);
    if (type != static_type && (type < 96 || type > 127)) {
        fail_usage(std::string(command) +
                   ": option '--pt' needs 4 or a dynamic payload type from 96 to 127, not '" +
                   arguments.value("pt") + "'");
    }
    return static_cast<unsigned>(type);
}

rtp::net::udp_url read_udp_url(std::string_view command, std::string_view text,
                               rtp::net::host_part host) {
    try {
        return rtp::net::parse_udp_url(text, host);
    } catch (const rtp::net::address_error& error) {
        fail_usage(std::string(command) + ": '" + std::string(text) + "' is not a UDP address: " +
                   error.what() + " (see 'g723 " + std::string(command) + " --help')");
    }
}

bool has_raw_extension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    const auto slash = name.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "raw" || extension == "pcm";
}

void require_distinct(std::string_view command, const std::string& input,
                      const std::string& output) {
    if (input == "-" || output == "-") return;
    struct stat in {};
    struct stat out {};
    if (::stat(input.c_str(), &in) != 0 || ::stat(output.c_str(), &out) != 0) return;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        fail_usage(std::string(command) + ": INPUT and OUTPUT are the same file (" +
                   output + ")");
    }
}

void refuse_terminal_output(std::string_view command, const std::string& output) {
    if (output == "-" && ::isatty(STDOUT_FILENO) == 1) {
        fail_usage(std::string(command) +
                   ": standard output is a terminal; redirect it or name an OUTPUT file");
    }
}

}  // namespace g723::tool
