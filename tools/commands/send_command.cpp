// SPDX-License-Identifier: BSD-2-Clause
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "media/codec/bitstream_reader.h"
#include "io/input_file.h"
#include "media/codec/codec_handles.h"
#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "bitstream/encoded_speech.h"
#include "commands/frame_pacer.h"
#include "commands/srtp_options.h"
#include "rtp/net/udp_socket.h"
#include "rtp/net/udp_url.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/packet/rtp_packetizer.h"
#include "rtp/stream/sender_reporting.h"
#include "rtp/srtp/srtp_inbound.h"
#include "rtp/srtp/srtp_session.h"

namespace g723::tool {

using namespace g723::media;
using namespace g723::rtp;
using rtp::sender_reporting;

namespace {

constexpr std::string_view send_help =
    "usage: g723 send [options] INPUT udp://HOST:PORT\n"
    "\n"
    "Sends audio as a G.723.1 RTP stream (payload type 4, 8000 Hz clock),\n"
    "paced in real time. Silence compression is on unless --no-vad: during\n"
    "silence a SID frame is sent, then nothing until speech resumes, and the\n"
    "first packet of each talkspurt carries the marker bit. The SSRC and the\n"
    "first sequence number and timestamp are random.\n"
    "\n"
    "  INPUT   any audio file libsndfile reads, coded as 'g723 encode' codes it,\n"
    "          or with --bitstream a G.723.1 bit-stream; '-' reads standard input\n"
    "  HOST    a host name, an IPv4 address or an IPv6 address in brackets:\n"
    "          udp://127.0.0.1:5004, udp://[::1]:5004\n"
    "\n"
    "RTCP (RFC 3550) goes to the port above PORT from the port above the one\n"
    "the packets leave from: a sender report with the SSRC's CNAME with the\n"
    "first packet and every 5 s or so (varied at random by half), and a BYE\n"
    "after the last packet. Receiver reports that come back about the stream\n"
    "are summed up at the end.\n"
    "\n"
    "A short summary (packets, frames, bytes, dropped, reports) is printed at\n"
    "the end.\n"
    "\n"
    "options:\n"
    "  --bitstream     INPUT is a bit-stream (compact unless --slots), sent as it is\n"
    "  --slots         the bit-stream holds full 24-byte slots\n"
    "  --raw           INPUT is headerless 16-bit little-endian 8 kHz mono\n"
    "                  (implied by a .raw or .pcm name)\n"
    "  --frames-per-packet N\n"
    "                  frames in each packet, 1 to 8 (default 1: 30 ms packets)\n"
    "  --pt N          payload type: 4 (default) or a dynamic type 96 to 127\n"
    "  --loss PERCENT  drop that share of the packets at random instead of\n"
    "                  sending them, to test receivers (0 to 100)\n"
    "  --seed N        seed of the random drops (default 1); the same seed drops\n"
    "                  the same packets\n"
    "  --speed FACTOR  send that many times faster than real time (1 to 1000,\n"
    "                  default 1), for tests that should not take long\n"
    "  --rtcp-mux      send RTCP on the RTP port (RFC 5761), not the one above\n"
    "  --no-rtcp       send no RTCP\n"
    "  --srtp KEY      send SRTP with the SDES key KEY, 'SUITE inline:BASE64' as\n"
    "                  an a=crypto line gives it: SUITE AES_CM_128_HMAC_SHA1_80\n"
    "                  or _32, AES_192_CM_ or AES_256_CM_HMAC_SHA1_80 or _32,\n"
    "                  AEAD_AES_128_GCM or AEAD_AES_256_GCM; BASE64 the master\n"
    "                  key and salt; RTCP goes as SRTCP\n"
    "  --srtp-key-file FILE\n"
    "                  KEY from the first line of FILE that is not blank or a\n"
    "                  '#' comment, to keep it off the command line\n";

constexpr std::string_view send_exit_status_help =
    "Exit status: 0 when every frame was sent, 1 when INPUT cannot be read or\n"
    "ends inside a frame (the whole frames before are sent) or the host cannot\n"
    "be reached or refused packets (nothing listening on that port), 2 when\n"
    "the command line is wrong.\n";

// The stream's coded frames, from an audio file through the encoder or from
// a bit-stream file as they are.
class frame_source {
public:
    frame_source(const parsed_arguments& arguments, const std::string& name,
                 const encoder_settings& settings) {
        if (arguments.has("bitstream")) {
            file_ = std::make_unique<input_file>(name);
            layout_ = arguments.has("slots") ? stream_layout::slots : stream_layout::compact;
            reader_ = std::make_unique<bitstream_reader>(*file_, layout_);
        } else {
            speech_ = std::make_unique<encoded_speech>(
                name, arguments.has("raw") || has_raw_extension(name), settings);
        }
    }

    // False at the end, and when a bit-stream ends inside a frame.
    bool next(frame_slot& slot) {
        if (speech_) return speech_->next(slot);
        const read_status status = reader_->next(frame_);
        if (status == read_status::truncated) truncated_ = true;
        if (status != read_status::frame) return false;
        ++frames_;
        slot = frame_.slot;
        return true;
    }

    // After the last frame: a bit-stream cut inside a frame fails, once the
    // whole frames before it have been sent.
    void check_complete() const {
        if (!truncated_) return;
        std::string reason = truncation_reason(frame_, *reader_, layout_, frames_);
        if (reason.ends_with("decoded")) reason.replace(reason.size() - 7, 7, "sent");
        fail_data(file_->name(), reason);
    }

private:
    std::unique_ptr<encoded_speech> speech_;
    std::unique_ptr<input_file> file_;
    std::unique_ptr<bitstream_reader> reader_;
    stream_layout layout_ = stream_layout::compact;
    coded_frame frame_;
    std::uint64_t frames_ = 0;
    bool truncated_ = false;
};

// "HOST" of "HOST:PORT" or "[HOST]:PORT".
std::string host_of(const std::string& endpoint) {
    std::string host = endpoint.substr(0, endpoint.rfind(':'));
    if (host.size() >= 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    return host;
}

struct send_totals {
    std::uint64_t packets = 0;
    std::uint64_t frames = 0;
    std::uint64_t payload_bytes = 0;
    std::uint64_t dropped_packets = 0;
    std::uint64_t dropped_frames = 0;
    std::uint64_t refused = 0;
    std::uint64_t talkspurts = 0;
    std::uint64_t untransmitted = 0;
};

}  // namespace

exit_status run_send(std::span<char* const> argument_list) {
    constexpr auto own_options = std::array<option_definition, 12>{{{"bitstream", false},
                                                                   {"slots", false},
                                                                   {"raw", false},
                                                                   {"frames-per-packet", true},
                                                                   {"pt", true},
                                                                   {"loss", true},
                                                                   {"seed", true},
                                                                   {"speed", true},
                                                                   {"rtcp-mux", false},
                                                                   {"no-rtcp", false},
                                                                   {"srtp", true},
                                                                   {"srtp-key-file", true}}};
    constexpr auto options = join(own_options, encoder_options);
    const parsed_arguments arguments = parse_arguments("send", argument_list, options);
    if (arguments.help) {
        std::printf("%s%s  -h, --help      show this help\n\n%s", send_help.data(),
                    encoder_options_help.data(), send_exit_status_help.data());
        return exit_status::ok;
    }
    require_files("send", arguments, 2, "INPUT and udp://HOST:PORT");
    const net::udp_url destination =
        read_udp_url("send", arguments.files[1], net::host_part::required);
    const encoder_settings settings = read_encoder_settings("send", arguments);
    const bool bitstream = arguments.has("bitstream");
    if (bitstream && (arguments.has("no-vad") || arguments.has("multiple-sid") ||
                      arguments.has("no-highpass") || arguments.has("raw"))) {
        fail_usage("send: encoder options and --raw do not apply to a --bitstream input");
    }
    if (!bitstream && arguments.has("slots")) fail_usage("send: --slots needs --bitstream");
    const auto frames_per_packet =
        static_cast<std::size_t>(unsigned_option("send", arguments, "frames-per-packet", 1));
    if (frames_per_packet < 1 || frames_per_packet > 8) {
        fail_usage("send: option '--frames-per-packet' needs a whole number from 1 to 8, not '" +
                   arguments.value("frames-per-packet") + "'");
    }
    const unsigned payload_type = read_payload_type("send", arguments);
    const double loss_percent = number_option("send", arguments, "loss", 0, 100, 0);
    const std::uint64_t seed = unsigned_option("send", arguments, "seed", 1);
    const double speed = number_option("send", arguments, "speed", 1, 1000, 1);
    // With SRTP, the reports go out as SRTCP, and those that come back are
    // authenticated before they are heard.
    std::optional<srtp::srtp_session> protection;
    std::optional<srtp::srtp_inbound> reports_in;
    std::string_view suite;
    if (const auto key = read_live_key("send", arguments)) {
        protection.emplace(*key, srtp::session_direction::outbound);
        reports_in.emplace(*key);
        suite = srtp::describe(key->suite).name;
    }

    std::optional<frame_source> opened;
    try {
        opened.emplace(arguments, arguments.files[0], settings);
    } catch (const tool_error& error) {
        // A bit-stream given as audio: say how to send it.
        const std::string message = error.what();
        if (bitstream || message.find("is not an audio file") == std::string::npos) throw;
        throw tool_error(error.status(), message + "; to send a G.723.1 bit-stream, add --bitstream");
    }
    frame_source& source = *opened;
    const bool rtcp = !arguments.has("no-rtcp");
    const bool rtcp_mux = rtcp && arguments.has("rtcp-mux");
    std::optional<net::udp_socket> rtp_socket, rtcp_socket;
    if (rtcp && !rtcp_mux && destination.port < 65535) {
        net::udp_url above = destination;
        above.port = static_cast<std::uint16_t>(destination.port + 1);
        auto pair = net::udp_socket::connect_pair(destination, above);
        rtp_socket.emplace(std::move(pair.first));
        rtcp_socket.emplace(std::move(pair.second));
    } else {
        rtp_socket.emplace(net::udp_socket::connect_to(destination));
    }
    net::udp_socket& socket = *rtp_socket;
    net::udp_socket& rtcp_out = rtcp_socket ? *rtcp_socket : socket;

    std::random_device entropy;
    std::mt19937 random(entropy());
    rtp::packetizer_settings stream;
    stream.frames_per_packet = frames_per_packet;
    stream.payload_type = static_cast<std::uint8_t>(payload_type);
    stream.ssrc = static_cast<std::uint32_t>(random());
    stream.first_sequence = static_cast<std::uint16_t>(random());
    stream.first_timestamp = static_cast<std::uint32_t>(random());
    rtp::rtp_packetizer packetizer(stream);
    loss_pattern drops(loss_percent, seed);
    send_totals totals;

    const frame_pacer pacer(speed);
    const auto started = std::chrono::steady_clock::now();
    sender_reporting reporting(stream.ssrc, "g723@" + host_of(socket.local_address()));
    // The media clock now: the pacer's frames since the start.
    auto media_now = [&] {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return stream.first_timestamp + static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds * speed * 8000.0));
    };
    std::uniform_real_distribution<double> vary(0.5, 1.5);
    std::optional<std::chrono::steady_clock::time_point> next_report;
    auto report = [&](bool goodbye) {
        std::vector<std::uint8_t> sender_report = reporting.sender_report(media_now(), goodbye);
        if (!protection || protection->protect_rtcp(sender_report)) rtcp_out.send(sender_report);
        next_report = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(5.0 * vary(random)));
    };
    std::vector<std::uint8_t> incoming(2048);
    auto hear_reports = [&] {
        for (int i = 0; i < 64; ++i) {
            const auto received = rtcp_out.receive(incoming);
            if (!received) return;
            std::span<const std::uint8_t> bytes = std::span(incoming).first(received->size);
            if (reports_in) {
                const auto clear = reports_in->open(std::span(incoming).first(received->size));
                if (!clear) continue;
                bytes = *clear;
            }
            reporting.hear(bytes);
        }
    };
    // A packet leaves when its last frame would have been spoken.
    auto send = [&](const rtp::outgoing_packet& packet) {
        if (packet.marker) ++totals.talkspurts;
        // The reports count what the network was given, dropped or not.
        reporting.count(packet.datagram.size() - rtp::rtp_header_bytes);
        if (drops.next_lost()) {
            ++totals.dropped_packets;
            totals.dropped_frames += packet.frames;
            return;
        }
        pacer.wait_until(packet.first_frame + packet.frames);
        std::vector<std::uint8_t> sealed;
        if (protection) {
            sealed = packet.datagram;
            if (!protection->protect_rtp(sealed)) throw tool_error(exit_status::data_error, "send: libsrtp could not protect a packet");
        }
        if (!socket.send(protection ? sealed : packet.datagram)) ++totals.refused;
        ++totals.packets;
        totals.frames += packet.frames;
        totals.payload_bytes += packet.datagram.size() - rtp::rtp_header_bytes;
        if (rtcp) {
            if (!next_report || std::chrono::steady_clock::now() >= *next_report) report(false);
            hear_reports();
        }
    };
    frame_slot slot{};
    while (source.next(slot)) {
        if (kind_of(slot[0]) == frame_kind::untransmitted) ++totals.untransmitted;
        if (auto packet = packetizer.add(slot)) send(*packet);
    }
    if (auto packet = packetizer.finish()) send(*packet);
    if (rtcp) {
        hear_reports();
        report(true);
    }

    std::printf("destination      %s (%s)\n", destination.text.c_str(), socket.peer_address().c_str());
    std::printf("stream           SSRC 0x%08x, payload type %u, %zu frame%s per packet\n",
                stream.ssrc, payload_type, frames_per_packet,
                frames_per_packet == 1 ? "" : "s");
    if (protection) std::printf("srtp             %s\n", std::string(suite).c_str());
    std::printf("packets          %llu sent, %llu dropped (--loss), %llu talkspurt%s\n",
                static_cast<unsigned long long>(totals.packets),
                static_cast<unsigned long long>(totals.dropped_packets),
                static_cast<unsigned long long>(totals.talkspurts), totals.talkspurts == 1 ? "" : "s");
    std::printf("frames           %llu sent, %llu dropped, %llu untransmitted (silence)\n",
                static_cast<unsigned long long>(totals.frames),
                static_cast<unsigned long long>(totals.dropped_frames),
                static_cast<unsigned long long>(totals.untransmitted));
    std::printf("bytes            %llu of payload\n",
                static_cast<unsigned long long>(totals.payload_bytes));
    if (rtcp) std::printf("reports          %s\n", reporting.summary().c_str());
    std::fflush(stdout);
    source.check_complete();
    // The receiving host said nothing listens there: the call did not
    // reach anyone, whatever left this socket.
    if (totals.refused > 0) {
        fail_data(destination.text, std::to_string(totals.refused) + " of " +
                                        std::to_string(totals.packets) +
                                        " packets refused (nothing listening there)");
    }
    return exit_status::ok;
}

}  // namespace g723::tool
