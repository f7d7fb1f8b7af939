// SPDX-License-Identifier: BSD-2-Clause
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "rtp/capture/capture_analysis.h"
#include "rtp/capture/ip_packet.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
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
    "in the capture announces as G723/8000. Duplicates are dropped and\n"
    "reordered packets put back. Frames of lost packets are concealed, silence\n"
    "the sender did not send is played as comfort noise; a timestamp jump of\n"
    "more than a minute, or more than the capture times allow, starts a new\n"
    "segment instead. Packets that are truncated, not UDP, IP fragments or\n"
    "not whole frames are counted and passed over. Each stream's audio is\n"
    "limited to two hours, and so is each channel of a stereo file.\n"
    "\n"
    "options:\n"
    "  --pt N          also take RTP payload type N (0 to 127) as G.723.1\n"
    "  --stereo        write the two directions of a call as one stereo WAV,\n"
    "                  first direction left, aligned by capture time\n"
    "  --json          print the report as JSON\n"
    "  --no-postfilter switch the decoder's pitch and formant postfilters off\n"
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

}  // namespace

exit_status run_pcap(std::span<char* const> argument_list) {
    constexpr std::array<option_definition, 4> options{
        {{"pt", true}, {"json", false}, {"stereo", false}, {"no-postfilter", false}}};
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
    const bool stereo = arguments.has("stereo");
    const std::string& capture_name = arguments.files[0];
    const std::string directory = arguments.files.size() == 2 ? arguments.files[1] : "";
    if (stereo && directory.empty()) fail_usage("pcap: --stereo needs an OUTDIR");

    std::optional<capture::capture_reader> reader;
    try {
        reader.emplace(open_capture_file(capture_name));
    } catch (const capture::capture_error& error) {
        fail_data(capture_name, error.what());
    }
    const capture_contents contents = read_capture_contents(*reader, forced);
    const std::vector<g723_stream>& found = contents.streams;
    if (!directory.empty()) make_directory(directory);

    rtp::stream_report report;
    for (const g723_stream& stream : found) {
        report.streams.push_back(
            {stream_name(stream.key), stream.payload_type, stream.payload_type_source, "", {}});
    }
    // Each stream is decoded once, and its audio kept only until its file
    // (or its call's) is written.
    std::uint64_t cut = 0;
    const auto decode = [&](std::size_t i) {
        decoded_stream stream = decode_g723_stream(found[i], !arguments.has("no-postfilter"));
        report.streams[i].statistics = stream.statistics;
        if (stream.cut) ++cut;
        return stream;
    };
    std::vector<bool> done(found.size(), false);
    if (stereo) {
        for (const call_directions& call : capture_calls(contents)) {
            std::map<std::size_t, decoded_stream> decoded;
            for (const auto* side : {&call.first, &call.second}) {
                for (const std::size_t i : *side) decoded[i] = decode(i);
            }
            const stream_key& left = found[call.first.front()].key;
            const std::string name = directory + "/" + file_part(left.source) + "-" +
                                     file_part(left.destination) + "-stereo.wav";
            const call_audio audio =
                place_call(call, [&](std::size_t i) -> const decoded_stream& { return decoded.at(i); });
            write_wav(name, interleave(audio), 2);
            for (const std::size_t i : call.first) report.streams[i].output = name + " (left)";
            for (const std::size_t i : call.second) report.streams[i].output = name + " (right)";
            for (const auto* side : {&call.first, &call.second}) {
                for (const std::size_t i : *side) done[i] = true;
            }
        }
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (done[i]) continue;
        const decoded_stream stream = decode(i);
        if (directory.empty()) continue;
        const stream_key& key = found[i].key;
        const std::string name = directory + "/" + file_part(key.source) + "-" +
                                 file_part(key.destination) + "-" + hex_ssrc(key.ssrc) + ".wav";
        write_wav(name, stream.samples, 1);
        report.streams[i].output = name;
    }

    report.counts = capture_counts(contents, cut);
    const std::string text =
        arguments.has("json") ? rtp::format_report_json(report) : rtp::format_report_table(report);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);

    if (const std::string damage = damage_message(contents); !damage.empty()) {
        fail_data(capture_name, damage);
    }
    return exit_status::ok;
}

}  // namespace g723::tool
