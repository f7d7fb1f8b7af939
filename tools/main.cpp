// SPDX-License-Identifier: BSD-2-Clause
// g723: encode audio files into G.723.1 bit-streams, decode them, measure a
// round trip, describe a bit-stream, decode the RTP streams of a capture,
// send and receive RTP streams. A host of the public C interface only.
#include <csignal>
#include <cstdio>
#include <exception>
#include <span>
#include <string>
#include <string_view>

#include "commands/commands.h"
#include "g723/g723.h"
#include "io/tool_error.h"

namespace {

using namespace g723::tool;

constexpr std::string_view general_help =
    "usage: g723 COMMAND [options] FILES\n"
    "       g723 --version\n"
    "\n"
    "G.723.1 speech codec at 6.3 kbit/s with silence compression.\n"
    "\n"
    "commands:\n"
    "  encode INPUT OUTPUT     audio file to bit-stream\n"
    "  decode INPUT OUTPUT     bit-stream to audio file\n"
    "  roundtrip INPUT OUTPUT  encode and decode, print bit rate, SNR and speed\n"
    "  info INPUT              describe a bit-stream\n"
    "  pcap CAPTURE [OUTDIR]   decode and measure the G.723.1 RTP streams of a\n"
    "                          packet capture\n"
    "  send INPUT udp://HOST:PORT\n"
    "                          send audio as an RTP stream, paced in real time\n"
    "  receive udp://[HOST:]PORT OUTPUT\n"
    "                          receive an RTP stream into an audio file\n"
    "  relay udp://[HOST:]PORT udp://HOST:PORT\n"
    "                          relay UDP traffic through an impaired path\n"
    "\n"
    "'g723 COMMAND --help' describes each command. '-' as a file name is\n"
    "standard input or standard output.\n";

constexpr std::string_view command_names[] = {"encode", "decode", "roundtrip", "info",
                                               "pcap",   "send",   "receive",   "relay"};

bool is_command(std::string_view name) {
    for (const std::string_view known : command_names) {
        if (name == known) return true;
    }
    return false;
}

exit_status run(std::span<char* const> arguments) {
    if (arguments.empty()) {
        fail_usage("missing command (see 'g723 --help')");
    }
    const std::string_view command = arguments[0];
    const auto rest = arguments.subspan(1);
    if (command == "encode") return run_encode(rest);
    if (command == "decode") return run_decode(rest);
    if (command == "roundtrip") return run_roundtrip(rest);
    if (command == "info") return run_info(rest);
    if (command == "pcap") return run_pcap(rest);
    if (command == "send") return run_send(rest);
    if (command == "receive") return run_receive(rest);
    if (command == "relay") return run_relay(rest);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(general_help.data(), stdout);
        return exit_status::ok;
    }
    if (command == "--version") {
        // The project's release, then the codec library's own version string.
        const char* library_version = nullptr;
        g723_get_version(&library_version);
        std::printf("g723 %s (library %s)\n", G723_VERSION, library_version);
        return exit_status::ok;
    }
    fail_usage("unknown command '" + std::string(command) + "' (see 'g723 --help')");
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe on standard output becomes a write error with a message,
    // not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    exit_status status = exit_status::ok;
    try {
        status = run(std::span<char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)));
    } catch (const tool_error& error) {
        // Every command-line mistake ends by pointing at the help that
        // explains it, whichever check found it.
        std::string message = error.what();
        if (error.status() == exit_status::usage_error && message.find("(see 'g723") == std::string::npos) {
            const std::string_view command = argc > 1 ? argv[1] : "";
            message += is_command(command) ? " (see 'g723 " + std::string(command) + " --help')"
                                           : std::string(" (see 'g723 --help')");
        }
        std::fprintf(stderr, "g723: %s\n", message.c_str());
        status = error.status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "g723: out of memory\n");
        status = exit_status::data_error;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "g723: %s\n", error.what());
        status = exit_status::data_error;
    }
    if (std::fflush(stdout) != 0 && status == exit_status::ok) {
        std::fprintf(stderr, "g723: standard output: write error\n");
        status = exit_status::data_error;
    }
    return static_cast<int>(status);
}
