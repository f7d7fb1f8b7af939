// SPDX-License-Identifier: BSD-2-Clause
#include <signal.h>

#include <chrono>
#include <random>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "media/codec/codec_handles.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "commands/srtp_options.h"
#include "io/stop_signals.h"
#include "rtp/net/udp_socket.h"
#include "rtp/net/udp_url.h"
#include "rtp/stream/live_receiver.h"
#include "rtp/packet/rtcp_packet.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/srtp/srtp_inbound.h"
#include "rtp/stream/stream_report.h"
#include "rtp/stream/timeline_decoding.h"

namespace g723::tool {

using namespace g723::media;
using namespace g723::rtp;

namespace {

constexpr std::string_view receive_help =
    "usage: g723 receive [options] udp://[HOST:]PORT OUTPUT\n"
    "\n"
    "Receives a G.723.1 RTP stream (payload type 4 unless --pt) and decodes it\n"
    "into 8 kHz mono 16-bit audio as it plays out, then prints the same report\n"
    "as 'g723 pcap'.\n"
    "\n"
    "  HOST    the local address to listen on: udp://127.0.0.1:5004,\n"
    "          udp://[::1]:5004; udp://5004 listens on every local address\n"
    "  OUTPUT  WAV; FLAC, AIFF, AU or headerless samples for a .flac, .aif/.aiff,\n"
    "          .au or .raw/.pcm name\n"
    "\n"
    "An adaptive jitter buffer holds each packet until its playout time. The\n"
    "first packet sets the reference; a packet's relative delay is how much\n"
    "later than that it came for the audio it carries. The playout delay\n"
    "aims at the 98th percentile of the relative delays of the last 512\n"
    "packets (some 15 s), so that about 2 % of packets may come too late; a\n"
    "bunch of packets a path lets go at once counts as one. It rises at once\n"
    "when that percentile rises, and when a packet comes after its playout\n"
    "time while nothing later has played: the playout waits for it, if the\n"
    "delay it needs is within --max-delay and 200 ms over the percentile. It\n"
    "falls only in the pauses between talkspurts (silence the sender did not\n"
    "send), by at most half the pause and half the way each time, so speech\n"
    "is never cut; --min-delay and --max-delay bound it. Packets that come\n"
    "out of order before their playout time are put back in sequence;\n"
    "packets that come early (a sender catching up after a stall) are held in\n"
    "sequence, up to two minutes of audio, and played at their time. A packet\n"
    "that comes after a later one has played, or later than any delay within\n"
    "those bounds allows, is late and dropped. Frames of lost and late\n"
    "packets are concealed, silence the sender did not send is played as\n"
    "comfort noise. A timestamp jump starts a new segment in the same file,\n"
    "decoded afresh.\n"
    "\n"
    "One source at a time: a source (an SSRC from one address and port) is\n"
    "heard once three of its packets with sequence numbers within 16 of one\n"
    "another have come, in any order, with timestamps no more than one second\n"
    "ahead of the time they took to arrive (a chain of packets whose\n"
    "timestamps leap faster than the clock is never heard). While the source\n"
    "being played keeps sending, packets of other sources are counted and\n"
    "dropped; once it has sent nothing for --timeout and what it sent has\n"
    "played out (a pause of silence compression shorter than that is a\n"
    "pause), another source heard meanwhile takes over as a new segment, from\n"
    "its first packet after the old one's last. With --from, only that sender\n"
    "is heard.\n"
    "\n"
    "RTCP (RFC 3550) is heard on the port above PORT (on PORT itself with\n"
    "--rtcp-mux). Only a valid report of the source being played, from its\n"
    "address at its RTP port or the one above, with its SSRC, counts: its\n"
    "sender reports are noted, and its BYE ends receiving once the packets\n"
    "sent before it could still come in time (within the playout delay),\n"
    "what is held playing out. Receiver reports about that source (loss,\n"
    "jitter, the last sender report and the delay since) go to where its\n"
    "reports come from, else to the port above its RTP port, every 5 s or so\n"
    "(varied at random by half, the first after half that), and with a BYE\n"
    "at the end.\n"
    "With the source's sender reports, the report gives the playout delay:\n"
    "from when the sender's clock says a packet's audio ended to when it\n"
    "played out.\n"
    "\n"
    "The audio written never runs ahead of the time since playout began by\n"
    "more than --max-delay and one packet, however the timestamps leap, and\n"
    "stops at two hours.\n"
    "\n"
    "Receiving stops after --duration, after --timeout without packets of the\n"
    "source being played once what it sent has played out (and none waiting\n"
    "to take over), or on Ctrl-C\n"
    "(SIGINT), SIGTERM or SIGHUP; in each case the packets held are played out\n"
    "and OUTPUT is finished. When no packet was heard, OUTPUT is not written\n"
    "and an existing file of that name is left as it was.\n"
    "\n"
    "options:\n"
    "  --pt N          payload type: 4 (default) or a dynamic type 96 to 127\n"
    "  --duration SECONDS\n"
    "                  stop that long after the first packet\n"
    "  --timeout SECONDS\n"
    "                  stop after that long without a packet (default 5 once\n"
    "                  packets came, 60 for the first)\n"
    "  --min-delay MS  least playout delay (default 30)\n"
    "  --max-delay MS  greatest playout delay (default 300, at most 10000)\n"
    "  --from SENDER   hear only SENDER, a numeric address and port\n"
    "                  (127.0.0.1:4000, [::1]:4000)\n"    "  --rtcp-mux      RTCP on PORT itself (RFC 5761), not the port above\n"
    "  --no-rtcp       neither hear nor send RTCP\n"
    "  --json          print the report as JSON\n"
    "  --raw           write headerless 16-bit little-endian samples\n"
    "  --no-postfilter switch the decoder's pitch and formant postfilters off\n"
    "  --srtp KEY      receive SRTP with the SDES key KEY, 'SUITE inline:BASE64'\n"
    "                  (the suites of 'g723 send'): every packet is\n"
    "                  authenticated and decrypted before anything reads it;\n"
    "                  those that fail or come again are counted by SSRC and\n"
    "                  never played; RTCP comes and goes as SRTCP\n"
    "  --srtp-key-file FILE\n"
    "                  KEY from the first line of FILE that is not blank or a\n"
    "                  '#' comment, to keep it off the command line\n";

constexpr std::string_view receive_exit_status_help =
    "Exit status: 0 when packets came, 1 when none came (before the time-out\n"
    "or the stop) or the address cannot be used or OUTPUT cannot be written,\n"
    "2 when the command line is wrong.\n";


struct receive_settings {
    unsigned payload_type = rtp::g723_payload_type;
    std::optional<double> duration;
    double timeout = 5.0;
    double first_timeout = 60.0;
    rtp::jitter_buffer_limits limits;
};

receive_settings read_receive_settings(const parsed_arguments& arguments) {
    receive_settings settings;
    settings.payload_type = read_payload_type("receive", arguments);
    if (arguments.has("duration")) {
        settings.duration = number_option("receive", arguments, "duration", 0, 86400, 0);
    }
    if (arguments.has("timeout")) {
        settings.timeout = number_option("receive", arguments, "timeout", 0, 86400, 5);
        settings.first_timeout = settings.timeout;
    }
    settings.limits.min_delay_seconds = number_option("receive", arguments, "min-delay", 0, 10000, 30) / 1000.0;
    settings.limits.max_delay_seconds = number_option("receive", arguments, "max-delay", 0, 10000, 300) / 1000.0;
    if (settings.limits.min_delay_seconds > settings.limits.max_delay_seconds) {
        fail_usage("receive: --min-delay is above --max-delay");
    }
    return settings;
}

// The report's streams as SRTP with a given key, with the packets refused
// under each one's SSRC, and the refusals of the whole call in the counts.
void report_srtp(const srtp::srtp_inbound& inbound, rtp::stream_report& report) {
    for (rtp::stream_report_row& row : report.streams) {
        rtp::stream_encryption& encryption = row.encryption;
        encryption = {true, std::string(inbound.suite()), "given", 0, 0};
        for (const auto& [ssrc, refused] : inbound.refused_by_ssrc()) {
            char name[16];
            std::snprintf(name, sizeof name, "ssrc 0x%08x", ssrc);
            if (!row.name.ends_with(name)) continue;
            encryption.authentication_failures = refused.failed;
            encryption.replayed = refused.replayed;
        }
    }
    report.counts.emplace_back("failed authentication", inbound.refused().failed);
    report.counts.emplace_back("replayed", inbound.refused().replayed);
}

}  // namespace

exit_status run_receive(std::span<char* const> argument_list) {
    constexpr auto options = std::array<option_definition, 13>{{{"pt", true},
                                                               {"duration", true},
                                                               {"timeout", true},
                                                               {"min-delay", true},
                                                               {"max-delay", true},
                                                               {"from", true},
                                                               {"rtcp-mux", false},
                                                               {"no-rtcp", false},
                                                               {"json", false},
                                                               {"no-postfilter", false},
                                                               {"raw", false},
                                                               {"srtp", true},
                                                               {"srtp-key-file", true}}};
    const parsed_arguments arguments = parse_arguments("receive", argument_list, options);
    if (arguments.help) {
        std::printf("%s  -h, --help      show this help\n\n%s", receive_help.data(),
                    receive_exit_status_help.data());
        return exit_status::ok;
    }
    require_files("receive", arguments, 2, "udp://[HOST:]PORT and OUTPUT");
    const net::udp_url address =
        read_udp_url("receive", arguments.files[0], net::host_part::optional);
    const std::string& output_name = arguments.files[1];
    refuse_terminal_output("receive", output_name);
    const receive_settings settings = read_receive_settings(arguments);
    decoder_settings decoding;
    decoding.postfilter = !arguments.has("no-postfilter");
    // With SRTP, whatever comes is authenticated before anything reads it,
    // and the reports sent back go out as SRTCP.
    std::optional<srtp::srtp_inbound> inbound;
    std::optional<srtp::srtp_session> reports_out;
    if (const auto key = read_live_key("receive", arguments)) {
        inbound.emplace(*key);
        reports_out.emplace(*key, srtp::session_direction::outbound);
    }

    std::optional<std::string> only_from;
    if (arguments.has("from")) {
        const std::string& from = arguments.value("from");
        const net::udp_url sender = read_udp_url(
            "receive", from.starts_with("udp://") ? from : "udp://" + from, net::host_part::required);
        try {
            only_from = net::udp_socket::endpoint_name(sender);
        } catch (const net::network_error&) {
            fail_usage("receive: option '--from' needs a numeric address and port, not '" + from + "'");
        }
    }
    net::udp_socket socket = net::udp_socket::bind_to(address);
    const bool rtcp = !arguments.has("no-rtcp");
    const bool rtcp_mux = rtcp && arguments.has("rtcp-mux");
    // RTCP on the port above, unless it shares the RTP port.
    std::optional<net::udp_socket> rtcp_socket;
    if (rtcp && !rtcp_mux) {
        net::udp_url above = address;
        above.port = static_cast<std::uint16_t>(address.port + 1);
        try {
            if (address.port < 65535) rtcp_socket.emplace(net::udp_socket::bind_to(above));
        } catch (const net::network_error& error) {
            std::fprintf(stderr, "g723 receive: %s; receiving without RTCP\n", error.what());
        }
    }
    net::udp_socket& rtcp_out = rtcp_socket ? *rtcp_socket : socket;
    audio_output output(output_name, arguments.has("raw"));
    const sigset_t wait_mask = catch_stop_signals();

    // Arrivals are timed from here.
    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    const double wall_at_start =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    auto now = [&] { return std::chrono::duration<double>(clock::now() - start).count(); };
    decoder_handle decoder(decoding);
    std::array<std::int16_t, frame_samples> samples{};
    rtp::live_receiver receiver(
        {settings.payload_type, arguments.has("pt") ? "--pt" : "static", settings.limits,
         socket.local_address(), output.name(), settings.timeout, only_from, rtcp_mux,
         wall_at_start},
        [&](const rtp::timeline_frame& frame, rtp::stream_statistics& statistics) {
            rtp::decode_timeline_frame(decoder.get(), frame, samples, statistics);
            output.write(samples);
        });

    std::optional<double> first_arrival;
    std::vector<std::uint8_t> datagram(65536);
    // Reads what is queued, a bounded batch at a time so that a flood
    // cannot hold off playout or the stop.
    // The source's BYE ends the call once the packets it sent before it
    // could still come in time: within the playout delay.
    std::optional<double> goodbye_until;
    auto hear_rtcp = [&](std::span<const std::uint8_t> bytes, const std::string& source, double arrival) {
        if (receiver.add_rtcp(bytes, source, arrival) == rtp::rtcp_effect::goodbye && !goodbye_until) {
            goodbye_until = arrival + receiver.playout_delay_seconds();
        }
    };
    auto drain = [&](int most) {
        for (int i = 0; i < most; ++i) {
            const auto received = socket.receive(datagram);
            if (!received) break;
            const double arrival = now();
            std::span<const std::uint8_t> bytes = std::span(datagram).first(received->size);
            if (inbound) {
                const auto clear = inbound->open(std::span(datagram).first(received->size));
                if (!clear) continue;
                bytes = *clear;
            }
            if (rtcp_mux && rtp::is_rtcp(bytes)) {
                hear_rtcp(bytes, received->source, arrival);
                continue;
            }
            receiver.add(bytes, received->source, arrival);
            if (!first_arrival && receiver.heard_anything()) first_arrival = arrival;
        }
        for (int i = 0; rtcp_socket && i < most; ++i) {
            const auto received = rtcp_socket->receive(datagram);
            if (!received) break;
            std::span<const std::uint8_t> bytes = std::span(datagram).first(received->size);
            if (inbound) {
                const auto clear = inbound->open(std::span(datagram).first(received->size));
                if (!clear) continue;
                bytes = *clear;
            }
            hear_rtcp(bytes, received->source, now());
        }
    };
    // Receiver reports (RFC 3550, 6.2): the first after half the least
    // interval of 5 s, then every 5 s, each varied by a random half.
    std::mt19937 random{std::random_device{}()};
    std::uniform_real_distribution<double> vary(0.5, 1.5);
    const auto own_ssrc = static_cast<std::uint32_t>(random());
    const std::string cname = "g723@" + socket.local_address().substr(0, socket.local_address().rfind(':'));
    std::optional<double> next_report;
    auto report_back = [&](bool goodbye) {
        auto report = receiver.receiver_report(own_ssrc, cname, goodbye, now());
        if (report && (!reports_out || reports_out->protect_rtcp(report->first))) {
            rtcp_out.send_to(report->first, report->second);
        }
    };

    while (!stop_requested()) {
        receiver.play_due(now());
        if (rtcp && first_arrival) {
            if (!next_report) next_report = *first_arrival + 2.5 * vary(random);
            if (now() >= *next_report) {
                report_back(false);
                *next_report += 5.0 * vary(random);
            }
        }
        // The earliest of: the idle time-out, the duration, the next playout
        // or handover. A source waiting to take over from a silent one does
        // so at the moment the time-out would end the call.
        const auto heard = receiver.last_heard();
        double stop_at = heard ? *heard + settings.timeout : settings.first_timeout;
        if (first_arrival && settings.duration) {
            stop_at = std::min(stop_at, *first_arrival + *settings.duration);
        }
        if (goodbye_until) stop_at = std::min(stop_at, *goodbye_until);
        if (now() >= stop_at) break;
        double wake = std::min(stop_at, receiver.next_event().value_or(stop_at));
        if (next_report) wake = std::min(wake, *next_report);
        const auto deadline = start + std::chrono::duration_cast<clock::duration>(
                                          std::chrono::duration<double>(wake));
        if (net::udp_socket::wait_either(socket, rtcp_out, deadline, &wait_mask) ==
            net::wait_result::readable) {
            drain(256);
        }
    }
    // Datagrams already queued arrived before the stop: they count.
    drain(4096);
    receiver.play_all(now());
    if (rtcp) report_back(true);
    // Without a packet heard there is nothing to keep: an existing OUTPUT
    // stays as it was.
    if (receiver.heard_anything()) output.commit();

    rtp::stream_report report = receiver.report();
    if (inbound) report_srtp(*inbound, report);
    const std::string text =
        arguments.has("json") ? rtp::format_report_json(report) : rtp::format_report_table(report);
    // The report keeps out of the way of audio on standard output.
    std::fputs(text.c_str(), output_name == "-" ? stderr : stdout);
    if (!receiver.heard_anything()) {
        std::fflush(stdout);
        fail_data(address.text, std::string("no G.723.1 stream was heard") +
                                    (stop_requested() ? "" : " within the time-out") + "; " +
                                    output.name() + " was not written");
    }
    return exit_status::ok;
}

}  // namespace g723::tool
