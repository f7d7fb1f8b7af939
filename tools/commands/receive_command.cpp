// SPDX-License-Identifier: BSD-2-Clause
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "rtp/codec/codec_handles.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "commands/srtp_options.h"
#include "rtp/net/udp_socket.h"
#include "rtp/net/udp_url.h"
#include "rtp/stream/live_receiver.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/srtp/srtp_inbound.h"
#include "rtp/stream/stream_report.h"
#include "rtp/stream/timeline_decoding.h"

namespace g723::tool {

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
    "An adaptive jitter buffer holds each packet until its playout time: the\n"
    "path's least transit time plus a delay of four times the measured\n"
    "interarrival jitter, kept between --min-delay and --max-delay. A packet\n"
    "arriving after its playout time is late and dropped. Frames of lost and\n"
    "late packets are concealed, silence the sender did not send is played as\n"
    "comfort noise. A timestamp jump starts a new segment in the same file,\n"
    "decoded afresh.\n"
    "\n"
    "One source at a time: a source (an SSRC from one address and port) is\n"
    "heard once two of its packets follow on in sequence. While the source\n"
    "being played keeps sending, packets of other sources are counted and\n"
    "dropped; once it has sent nothing for --timeout (a pause of silence\n"
    "compression shorter than that is a pause), another source that has kept\n"
    "sending in sequence takes over as a new segment, from its first packet\n"
    "after the old one's last.\n"
    "\n"
    "The audio written never runs ahead of the time the packets took to\n"
    "arrive by more than --max-delay and one packet, however their timestamps\n"
    "leap (a sender faster than real time needs a --max-delay that covers\n"
    "the difference), and stops at two hours.\n"
    "\n"
    "Receiving stops after --duration, after --timeout without packets of the\n"
    "source being played (and none waiting to take over), or on Ctrl-C\n"
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
    "  --json          print the report as JSON\n"
    "  --raw           write headerless 16-bit little-endian samples\n"
    "  --no-postfilter switch the decoder's pitch and formant postfilters off\n"
    "  --srtp KEY      receive SRTP with the SDES key KEY, 'SUITE inline:BASE64'\n"
    "                  (the suites of 'g723 send'): every packet is\n"
    "                  authenticated and decrypted before anything reads it;\n"
    "                  those that fail or come again are counted by SSRC and\n"
    "                  never played\n"
    "  --srtp-key-file FILE\n"
    "                  KEY from the first line of FILE that is not blank or a\n"
    "                  '#' comment, to keep it off the command line\n";

constexpr std::string_view receive_exit_status_help =
    "Exit status: 0 when packets came, 1 when none came (before the time-out\n"
    "or the stop) or the address cannot be used or OUTPUT cannot be written,\n"
    "2 when the command line is wrong.\n";

// Set by SIGINT, SIGTERM and SIGHUP: receiving ends and the file is kept.
volatile sig_atomic_t stop_requested = 0;

extern "C" void request_stop(int) { stop_requested = 1; }

// Catches the stop signals, blocked except while waiting for packets, so
// that one cannot slip in between the check and the wait. Returns the mask
// for the wait.
sigset_t catch_stop_signals() {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = request_stop;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
        sigaddset(&stop_signals, signal_number);
    }
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &stop_signals, &waiting);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&waiting, signal_number);
    return waiting;
}

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
    constexpr auto options = std::array<option_definition, 10>{{{"pt", true},
                                                               {"duration", true},
                                                               {"timeout", true},
                                                               {"min-delay", true},
                                                               {"max-delay", true},
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
    std::optional<srtp::srtp_inbound> inbound;
    if (const auto key = read_live_key("receive", arguments)) inbound.emplace(*key);

    net::udp_socket socket = net::udp_socket::bind_to(address);
    audio_output output(output_name, arguments.has("raw"));
    const sigset_t wait_mask = catch_stop_signals();

    decoder_handle decoder(decoding);
    std::array<std::int16_t, frame_samples> samples{};
    rtp::live_receiver receiver(
        {settings.payload_type, arguments.has("pt") ? "--pt" : "static", settings.limits,
         socket.local_address(), output.name(), settings.timeout},
        [&](const rtp::timeline_frame& frame, rtp::stream_statistics& statistics) {
            rtp::decode_timeline_frame(decoder.get(), frame, samples, statistics);
            output.write(samples);
        });

    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    auto now = [&] { return std::chrono::duration<double>(clock::now() - start).count(); };
    std::optional<double> first_arrival;
    std::vector<std::uint8_t> datagram(65536);
    // Reads what is queued, a bounded batch at a time so that a flood
    // cannot hold off playout or the stop.
    auto drain = [&](int most) {
        for (int i = 0; i < most; ++i) {
            const auto received = socket.receive(datagram);
            if (!received) return;
            const double arrival = now();
            std::span<const std::uint8_t> packet = std::span(datagram).first(received->size);
            if (inbound) {
                const auto clear = inbound->open(std::span(datagram).first(received->size));
                if (!clear) continue;
                packet = *clear;
            }
            receiver.add(packet, received->source, arrival);
            if (!first_arrival && receiver.heard_anything()) first_arrival = arrival;
        }
    };

    while (!stop_requested) {
        receiver.play_due(now());
        // The earliest of: the idle time-out, the duration, the next playout
        // or handover. A source waiting to take over from a silent one does
        // so at the moment the time-out would end the call.
        const auto heard = receiver.last_heard();
        double stop_at = heard ? *heard + settings.timeout : settings.first_timeout;
        if (first_arrival && settings.duration) {
            stop_at = std::min(stop_at, *first_arrival + *settings.duration);
        }
        if (now() >= stop_at) break;
        const double wake = std::min(stop_at, receiver.next_event().value_or(stop_at));
        const auto deadline = start + std::chrono::duration_cast<clock::duration>(
                                          std::chrono::duration<double>(wake));
        if (socket.wait(deadline, &wait_mask) == net::wait_result::readable) drain(256);
    }
    // Datagrams already queued arrived before the stop: they count.
    drain(4096);
    receiver.play_all();
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
                                    (stop_requested ? "" : " within the time-out") + "; " +
                                    output.name() + " was not written");
    }
    return exit_status::ok;
}

}  // namespace g723::tool
