// SPDX-License-Identifier: BSD-2-Clause
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "rtp/capture/capture_session.h"
#include "rtp/capture/ip_packet.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "commands/job_queue.h"
#include "commands/srtp_options.h"
#include "io/stop_signals.h"
#include "rtp/stream/stream_report.h"

namespace g723::tool {

using namespace g723::rtp;

namespace {

constexpr std::string_view pcap_help =
    "usage: g723 pcap [options] CAPTURE [OUTDIR]\n"
    "\n"
    "Finds every G.723.1 RTP stream in a packet capture, decodes each one and\n"
    "reports packets, frames, loss, duplicates, reordering, SID frames,\n"
    "silence, duration, interarrival jitter and the longest wait between\n"
    "packets.\n"
    "\n"
    "  CAPTURE  pcap or pcapng (Ethernet with VLAN tags, Linux cooked v1 and\n"
    "           v2, raw IP, BSD loopback; IPv4 and IPv6; UDP)\n"
    "  OUTDIR   where to write one WAV per stream, named from its addresses,\n"
    "           ports and SSRC (created if missing); without it, only the\n"
    "           report\n"
    "\n"
    "A stream is RTP version 2 of one SSRC between two addresses, with\n"
    "payload type 4, the type given by --pt, or a dynamic type that SIP/SDP\n"
    "in the capture announces as G723/8000, once two of its packets follow\n"
    "on in sequence, losses allowed (sources that never do are counted in one\n"
    "line and written nowhere). Duplicates are dropped and reordered packets\n"
    "put back. Frames of lost packets are concealed, silence the sender did\n"
    "not send is played as comfort noise; a timestamp jump of more than a\n"
    "minute, or more than the capture times allow, starts a new segment\n"
    "instead. A stream's audio never runs more than 2 s ahead of the capture\n"
    "times of its packets, and stops at two hours, as does each channel of a\n"
    "stereo file. Packets that are truncated, not UDP, IP fragments or not\n"
    "whole frames are counted and passed over. On Ctrl-C (SIGINT), SIGTERM or\n"
    "SIGHUP the files being written are finished, no other is started, and\n"
    "the files written are named.\n"
    "\n"
    "Streams that SDP in the capture declares RTP/SAVP or RTP/SAVPF are SRTP:\n"
    "each is decrypted with the key its sender's a=crypto line gives (offer\n"
    "and answer, one per direction) or one given below, and reported as\n"
    "encrypted with its suite and where the key came from. Packets that fail\n"
    "authentication or come again are counted and never decoded; a stream\n"
    "without a key is listed with 'no key' and no file. Keys are never\n"
    "printed.\n"
    "\n"
    "options:\n"
    "  --pt N          also take RTP payload type N (0 to 127) as G.723.1\n"
    "  --srtp-key KEY  decrypt the SRTP stream KEY names: 'STREAM SUITE\n"
    "                  inline:BASE64', STREAM the sender as ADDRESS,\n"
    "                  ADDRESS:PORT, [IPv6]:PORT, :PORT or an SSRC as 0x1a2b3c4d;\n"
    "                  SUITE AES_CM_128_HMAC_SHA1_80 or _32, AES_192_CM_ or\n"
    "                  AES_256_CM_HMAC_SHA1_80 or _32, AEAD_AES_128_GCM or\n"
    "                  AEAD_AES_256_GCM; BASE64 the master key and salt as an\n"
    "                  a=crypto line writes them (may be given several times)\n"
    "  --srtp-key-file FILE\n"
    "                  the same keys from FILE, one a line ('#' comments), so\n"
    "                  that they stay off the command line\n"
    "  --stereo        write the two directions of a call as one stereo WAV,\n"
    "                  first direction left, aligned by capture time\n"
    "  --json          print the report as JSON\n"
    "  --no-postfilter switch the decoder's pitch and formant postfilters off\n"
    "  --jobs N        decode N streams (or calls) at a time, 1 to 64 (default:\n"
    "                  the number of processors); the files and the report are\n"
    "                  the same for every N\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 on success (also when no stream is found), 1 when the\n"
    "capture cannot be read, ends in a damaged record (the streams before it\n"
    "are still written) or an output cannot be written, 2 when the command\n"
    "line is wrong.\n";

// An address as part of a file name: IPv6 colons become dots.
std::string file_part(const endpoint& point) {
    std::string text = capture::to_string(point.address);
    std::replace(text.begin(), text.end(), ':', '.');
    return text + "_" + std::to_string(point.port);
}

void make_directory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        fail_data(path, std::string("cannot be created: ") + std::strerror(errno));
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        fail_data(path, "is not a directory");
    }
}

void write_wav(const std::string& path, std::span<const std::int16_t> samples, int channels) {
    audio_output output(path, false, channels);
    output.write(samples);
    output.commit();
}

// Said by a stop signal that comes while the capture is read, before any
// file is written; then the signal takes its course.
char reading_interrupted[512];

extern "C" void say_reading_interrupted(int signal_number) {
    const ssize_t ignored = ::write(STDERR_FILENO, reading_interrupted, std::strlen(reading_interrupted));
    (void)ignored;
    die_of_signal(signal_number);
}

}  // namespace

exit_status run_pcap(std::span<char* const> argument_list) {
    constexpr std::array<option_definition, 7> options{{{"pt", true},
                                                        {"json", false},
                                                        {"stereo", false},
                                                        {"no-postfilter", false},
                                                        {"jobs", true},
                                                        {"srtp-key", true},
                                                        {"srtp-key-file", true}}};
    const parsed_arguments arguments = parse_arguments("pcap", argument_list, options);
    if (arguments.help) {
        std::printf("%s", pcap_help.data());
        return exit_status::ok;
    }
    if (arguments.files.empty() || arguments.files.size() > 2) {
        fail_usage("pcap: expected CAPTURE and an optional OUTDIR (see 'g723 pcap --help')");
    }
    std::vector<unsigned> forced;
    if (arguments.has("pt")) {
        forced.push_back(static_cast<unsigned>(number_option("pcap", arguments, "pt", 0, 127, 0)));
        if (forced.front() != std::stod(arguments.value("pt"))) {
            fail_usage("pcap: --pt must be a whole number");
        }
    }
    const std::uint64_t jobs =
        unsigned_option("pcap", arguments, "jobs", static_cast<std::uint64_t>(std::min(processor_count(), 64)));
    if (jobs < 1 || jobs > 64) {
        fail_usage("pcap: option '--jobs' needs a whole number from 1 to 64, not '" + arguments.value("jobs") + "'");
    }
    const bool stereo = arguments.has("stereo");
    std::vector<given_srtp_key> keys = read_capture_keys("pcap", arguments);
    const std::string& capture_name = arguments.files[0];
    const std::string directory = arguments.files.size() == 2 ? arguments.files[1] : "";
    if (stereo && directory.empty()) fail_usage("pcap: --stereo needs an OUTDIR");

    std::snprintf(reading_interrupted, sizeof reading_interrupted,
                  "g723: %s: interrupted while reading the capture; nothing written\n",
                  capture_name.c_str());
    on_stop_signals(say_reading_interrupted);

    std::optional<capture_session> session;
    const auto reading = [&](const auto& read) {
        try {
            return read();
        } catch (const capture::capture_error& error) {
            fail_data(capture_name, error.what());
        }
    };
    reading([&] {
        session.emplace(capture_session::open_file(
            capture_name, {forced, std::move(keys), !arguments.has("no-postfilter"), stereo}));
        return true;
    });
    if (!directory.empty()) make_directory(directory);

    // The work comes in pieces, each a call (with --stereo) or a stream: a
    // job decodes its streams, writes its file and fills in its streams'
    // report rows, and keeps its packets and audio only until then. Jobs run
    // on up to `jobs` threads; the files and the report do not depend on
    // how many.
    const auto write_call = [&](const capture_piece& piece) {
        const call_directions& call = *piece.call();
        std::map<std::size_t, decoded_stream> decoded;
        bool heard = false;
        for (const std::size_t i : piece.streams()) {
            decoded[i] = session->decode(piece, i);
            heard = heard || !session->silent(piece, i);
        }
        if (!heard) return;
        const stream_key& left = session->streams()[call.first.front()].key;
        const std::string name = directory + "/" + file_part(left.source) + "-" +
                                 file_part(left.destination) + "-stereo.wav";
        const call_audio audio =
            place_call(call, [&](std::size_t i) -> const decoded_stream& { return decoded.at(i); });
        write_wav(name, interleave(audio), 2);
        for (const std::size_t i : call.first) session->set_output(i, name + " (left)");
        for (const std::size_t i : call.second) session->set_output(i, name + " (right)");
    };
    const auto write_stream = [&](const capture_piece& piece) {
        const std::size_t i = piece.streams().front();
        const decoded_stream stream = session->decode(piece, i);
        if (directory.empty() || session->silent(piece, i)) return;
        const stream_key& key = session->streams()[i].key;
        const std::string name = directory + "/" + file_part(key.source) + "-" +
                                 file_part(key.destination) + "-" + hex_ssrc(key.ssrc) + ".wav";
        write_wav(name, stream.samples, 1);
        session->set_output(i, name);
    };
    // While files are written, a stop signal is held back: the files being
    // written are finished, no new one is started, and the command says
    // which were written before the signal takes its course.
    const sigset_t previous = hold_stop_signals();
    {
        job_queue queue(static_cast<int>(jobs), stop_pending);
        reading([&] {
            return session->run([&](std::shared_ptr<const capture_piece> piece) {
                if (queue.halted()) return false;
                return queue.add([&, piece] {
                    if (piece->call() != nullptr) {
                        write_call(*piece);
                    } else {
                        write_stream(*piece);
                    }
                });
            });
        });
        queue.finish();
    }
    const rtp::stream_report report = session->report();
    if (stop_pending()) {
        std::vector<std::string> written;
        for (const auto& row : report.streams) {
            const std::string file = row.output.substr(0, row.output.find(" ("));
            if (!file.empty() && std::ranges::count(written, file) == 0) written.push_back(file);
        }
        std::string message = "g723: " + capture_name + ": interrupted; " +
                              std::to_string(written.size()) +
                              (written.size() == 1 ? " file written" : " files written") +
                              (written.empty() ? "" : ":");
        for (const std::string& file : written) message += " " + file;
        std::fprintf(stderr, "%s\n", message.c_str());
        std::fflush(stderr);
        default_stop_signals();
    }
    restore_signal_mask(previous);
    default_stop_signals();

    const std::string text =
        arguments.has("json") ? rtp::format_report_json(report) : rtp::format_report_table(report);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);

    if (const std::string damage = session->damage(); !damage.empty()) {
        fail_data(capture_name, damage);
    }
    return exit_status::ok;
}

}  // namespace g723::tool
