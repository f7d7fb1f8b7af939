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
#include "rtp/capture/call_pairing.h"
#include "rtp/capture/capture_reader.h"
#include "rtp/capture/link_layer.h"
#include "rtp/capture/capture_scan.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/stream/stream_report.h"
#include "rtp/capture/rtp_stream_decoding.h"

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

std::string hex_ssrc(std::uint32_t ssrc) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", ssrc);
    return text;
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

struct found_stream {
    stream_key key;
    const std::vector<captured_rtp_packet>* packets = nullptr;
    unsigned payload_type = 0;
    std::string source;  // of the payload type
    double first_arrival = 0.0;
};

// The streams that carry G.723.1, in the order they started.
std::vector<found_stream> g723_streams(const capture_scan& scan, std::optional<unsigned> forced) {
    std::vector<found_stream> found;
    for (const auto& [key, packets] : scan.streams) {
        const auto announced = scan.announced.find(key.destination);
        // The G.723.1 type of this stream, and what says so.
        auto carries = [&](unsigned type) -> std::string {
            if (forced && type == *forced) return "--pt";
            if (announced != scan.announced.end() &&
                std::ranges::count(announced->second.payload_types, type) > 0) {
                return "SDP";
            }
            if (type == rtp::g723_payload_type) return "static";
            return "";
        };
        for (const captured_rtp_packet& packet : packets) {
            const std::string source = carries(packet.payload_type);
            if (source.empty()) continue;
            found.push_back(
                {key, &packets, packet.payload_type, source, packets.front().arrival_seconds});
            break;
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const found_stream& a, const found_stream& b) {
        return a.first_arrival < b.first_arrival;
    });
    return found;
}

// One channel of a call: its streams placed by capture time from
// `call_start`, never overlapping the one before. Like a single stream, a
// channel holds at most two hours: capture times that lie cannot make it
// longer.
std::vector<std::int16_t> place_channel(std::span<const std::size_t> members,
                                        const std::map<std::size_t, decoded_stream>& decoded,
                                        double call_start) {
    constexpr std::size_t longest = max_stream_frames * frame_samples;
    std::vector<std::int16_t> channel;
    for (const std::size_t index : members) {
        const decoded_stream& stream = decoded.at(index);
        const double offset =
            std::clamp(std::round((stream.start_seconds - call_start) * sample_rate), 0.0,
                       static_cast<double>(longest));
        const std::size_t at = std::max(channel.size(), static_cast<std::size_t>(offset));
        channel.resize(at, 0);
        channel.insert(channel.end(), stream.samples.begin(),
                       stream.samples.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(stream.samples.size(), longest - at)));
        if (channel.size() >= longest) break;
    }
    return channel;
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
    std::optional<unsigned> forced;
    if (arguments.has("pt")) {
        forced = static_cast<unsigned>(number_option("pcap", arguments, "pt", 0, 127, 0));
        if (*forced != std::stod(arguments.value("pt"))) {
            fail_usage("pcap: --pt must be a whole number");
        }
    }
    const bool stereo = arguments.has("stereo");
    const std::string& capture_name = arguments.files[0];
    const std::string directory = arguments.files.size() == 2 ? arguments.files[1] : "";
    if (stereo && directory.empty()) fail_usage("pcap: --stereo needs an OUTDIR");

    std::optional<capture::capture_reader> reader;
    try {
        reader.emplace(capture::capture_reader::open_file(capture_name));
    } catch (const capture::capture_error& error) {
        // libpcap names the file itself in some of its messages.
        std::string reason = error.what();
        if (reason.starts_with(capture_name + ": ")) reason.erase(0, capture_name.size() + 2);
        fail_data(capture_name, reason);
    }
    if (!capture::is_supported_link_type(reader->link_type())) {
        fail_data(capture_name,
                  "link type " + std::to_string(reader->link_type()) + " is not supported");
    }
    const capture_scan scan = scan_capture(*reader, forced);
    const std::vector<found_stream> found = g723_streams(scan, forced);
    if (!directory.empty()) make_directory(directory);

    rtp::stream_report report;
    std::vector<stream_key> keys;
    std::uint64_t g723_packets = 0;
    for (const found_stream& stream : found) {
        keys.push_back(stream.key);
        report.streams.push_back({to_string(stream.key.source) + " > " +
                                      to_string(stream.key.destination) + " ssrc 0x" +
                                      hex_ssrc(stream.key.ssrc),
                                  stream.payload_type,
                                  stream.source,
                                  "",
                                  {}});
        g723_packets += static_cast<std::uint64_t>(std::ranges::count_if(
            *stream.packets,
            [&](const auto& packet) { return packet.payload_type == stream.payload_type; }));
    }
    // Each stream is decoded once, and its audio kept only until its file
    // (or its call's) is written.
    std::uint64_t cut = 0;
    const auto decode = [&](std::size_t i) {
        decoded_stream stream =
            decode_rtp_stream(*found[i].packets, found[i].key.ssrc, found[i].payload_type,
                              !arguments.has("no-postfilter"));
        report.streams[i].statistics = stream.statistics;
        if (stream.cut) ++cut;
        return stream;
    };
    std::vector<bool> done(found.size(), false);
    if (stereo) {
        for (const call_directions& call : pair_calls(keys, scan.announced)) {
            std::map<std::size_t, decoded_stream> decoded;
            for (const auto* side : {&call.first, &call.second}) {
                for (const std::size_t i : *side) decoded[i] = decode(i);
            }
            const stream_key& left = keys[call.first.front()];
            const std::string name = directory + "/" + file_part(left.source) + "-" +
                                     file_part(left.destination) + "-stereo.wav";
            double start = decoded.at(call.first.front()).start_seconds;
            for (const std::size_t i : call.second)
                start = std::min(start, decoded.at(i).start_seconds);
            const auto first = place_channel(call.first, decoded, start);
            const auto second = place_channel(call.second, decoded, start);
            std::vector<std::int16_t> interleaved(2 * std::max(first.size(), second.size()), 0);
            for (std::size_t i = 0; i < first.size(); ++i) interleaved[2 * i] = first[i];
            for (std::size_t i = 0; i < second.size(); ++i) interleaved[2 * i + 1] = second[i];
            write_wav(name, interleaved, 2);
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
        const stream_key& key = keys[i];
        const std::string name = directory + "/" + file_part(key.source) + "-" +
                                 file_part(key.destination) + "-" + hex_ssrc(key.ssrc) + ".wav";
        write_wav(name, stream.samples, 1);
        report.streams[i].output = name;
    }

    report.counts.emplace_back("capture records", scan.records);
    for (std::size_t v = 1; v < capture::packet_verdict_count; ++v) {
        if (scan.verdicts[v] > 0) {
            report.counts.emplace_back(
                std::string(capture::describe(static_cast<capture::packet_verdict>(v))),
                scan.verdicts[v]);
        }
    }
    report.counts.emplace_back("UDP datagrams", scan.verdicts[0]);
    report.counts.emplace_back("SIP messages", scan.sip_messages);
    if (scan.not_rtp > 0) report.counts.emplace_back("UDP not RTP", scan.not_rtp);
    // RTP not taken as G.723.1: other static types, and dynamic types that
    // neither SDP nor --pt named.
    std::uint64_t kept = 0;
    for (const auto& [key, packets] : scan.streams) kept += packets.size();
    if (const std::uint64_t others = scan.other_payload_types + kept - g723_packets; others > 0) {
        report.counts.emplace_back("RTP of other types", others);
    }
    if (cut > 0) report.counts.emplace_back("streams cut at 2 hours", cut);
    const std::string text =
        arguments.has("json") ? rtp::format_report_json(report) : rtp::format_report_table(report);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);

    if (!scan.damage.empty()) {
        fail_data(capture_name, "ends in a damaged record (" + scan.damage + "); the " +
                                    std::to_string(scan.records) + " records before it were used");
    }
    return exit_status::ok;
}

}  // namespace g723::tool
