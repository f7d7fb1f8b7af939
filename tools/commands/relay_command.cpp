// SPDX-License-Identifier: BSD-2-Clause
#include <signal.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "commands/command_line.h"
#include "commands/command_options.h"
#include "commands/commands.h"
#include "io/stop_signals.h"
#include "rtp/net/impairment.h"
#include "rtp/net/udp_socket.h"
#include "rtp/net/udp_url.h"
#include "rtp/packet/rtp_packet.h"

namespace g723::tool {

namespace {

constexpr std::string_view relay_help =
    "usage: g723 relay [options] udp://[HOST:]PORT udp://HOST:PORT\n"
    "\n"
    "Relays UDP datagrams that arrive at the first address to the second,\n"
    "mistreated as a network path would: delayed, reordered, duplicated, lost\n"
    "in bursts, stalled. A sender sends to the first address, a receiver\n"
    "listens at the second. Everything is drawn from a seeded generator, so\n"
    "the same seed and the same traffic give the same fates. Datagrams the\n"
    "receiver sends back go to the sender unharmed.\n"
    "\n"
    "RTCP is relayed beside the media, unharmed, from the port above the\n"
    "first to the port above the second, from the port above the one the\n"
    "media leaves from, so that the receiver sees the pair it expects.\n"
    "\n"
    "A profile sets every impairment; the options after it change single\n"
    "ones. Profiles:\n"
    "  clean      nothing but the relay's own handling\n"
    "  wifi       3 ms, jitter 5 ms, 2 % tail (20 ms), 0.5 % reordered,\n"
    "             0.2 % duplicated, 1 % lost in bursts of 2, a stall of\n"
    "             80 ms every 8 s\n"
    "  mobile     40 ms, jitter 12 ms, 3 % tail (50 ms), 1 % reordered,\n"
    "             0.5 % duplicated, 2 % lost in bursts of 3, a stall of\n"
    "             250 ms every 6 s\n"
    "  congested  20 ms, jitter 20 ms, 5 % tail (40 ms), 2 % reordered,\n"
    "             0.1 % duplicated, 4 % lost in bursts of 4, a stall of\n"
    "             150 ms every 10 s\n"
    "Jitter is half-normal queueing delay with that spread; the tail is a\n"
    "Pareto excursion (shape 1.5) on top for that share of datagrams;\n"
    "reordered datagrams are held 30 to 90 ms past later ones; loss follows\n"
    "two states (Gilbert-Elliott) whose bad state loses everything. No\n"
    "datagram is held more than 2 s. Times and stalls are the wall clock's.\n"
    "\n"
    "Relaying stops after --duration, after --timeout without a datagram\n"
    "once one came (60 s for the first), or on Ctrl-C (SIGINT), SIGTERM or\n"
    "SIGHUP; datagrams under way are delivered first. A summary is printed.\n"
    "\n"
    "options:\n"
    "  --profile NAME  clean (default), wifi, mobile or congested\n"
    "  --seed N        seed of the draws (default 1)\n"
    "  --delay MS      least delay\n"
    "  --jitter MS     spread of the queueing delay\n"
    "  --reorder PERCENT\n"
    "                  datagrams held back past later ones\n"
    "  --duplicate PERCENT\n"
    "                  datagrams sent twice\n"
    "  --loss PERCENT  datagrams lost\n"
    "  --burst N       mean datagrams a loss burst lasts (default 1)\n"
    "  --stall-every SECONDS\n"
    "                  mean time between stalls (0: none)\n"
    "  --stall MS      how long a stall holds the path\n"
    "  --duration SECONDS\n"
    "                  stop that long after the first datagram\n"
    "  --timeout SECONDS\n"
    "                  stop after that long without a datagram (default 10)\n"
    "  --log FILE      one line per media datagram: when it arrived and left\n"
    "                  (wall clock, seconds), its RTP sequence number and\n"
    "                  timestamp, and its fate (sent, lost, duplicated)\n"
    "  --no-rtcp       relay the one port only\n";

constexpr std::string_view relay_exit_status_help =
    "Exit status: 0 when the relay ran, 1 when an address cannot be used or\n"
    "the log cannot be written, 2 when the command line is wrong.\n";


rtp::net::impairment_settings read_impairment(const parsed_arguments& arguments) {
    const std::string profile = arguments.has("profile") ? arguments.value("profile") : "clean";
    const auto chosen = rtp::net::impairment_profile(profile);
    if (!chosen) {
        fail_usage("relay: unknown profile '" + profile + "' (" +
                   std::string(rtp::net::impairment_profile_names) + ")");
    }
    rtp::net::impairment_settings s = *chosen;
    auto set = [&](std::string_view name, double& field, double maximum) {
        if (arguments.has(name)) field = number_option("relay", arguments, name, 0, maximum, field);
    };
    set("delay", s.delay_ms, 2000);
    set("jitter", s.jitter_ms, 2000);
    set("reorder", s.reorder_percent, 100);
    set("duplicate", s.duplicate_percent, 100);
    set("loss", s.loss_percent, 99);
    set("stall-every", s.stall_every_seconds, 86400);
    set("stall", s.stall_ms, 2000);
    if (arguments.has("burst")) s.burst_packets = number_option("relay", arguments, "burst", 1, 1000, 1);
    return s;
}

// A datagram on its way, due at `due` on the steady clock (seconds).
struct in_flight {
    double due;
    std::uint64_t order;
    std::vector<std::uint8_t> datagram;
    bool operator>(const in_flight& other) const {
        return due != other.due ? due > other.due : order > other.order;
    }
};

// Datagrams held at most, however the draws fall.
constexpr std::size_t max_in_flight = 65536;

}  // namespace

exit_status run_relay(std::span<char* const> argument_list) {
    constexpr auto options = std::array<option_definition, 14>{{{"profile", true},
                                                                {"seed", true},
                                                                {"delay", true},
                                                                {"jitter", true},
                                                                {"reorder", true},
                                                                {"duplicate", true},
                                                                {"loss", true},
                                                                {"burst", true},
                                                                {"stall-every", true},
                                                                {"stall", true},
                                                                {"duration", true},
                                                                {"timeout", true},
                                                                {"log", true},
                                                                {"no-rtcp", false}}};
    const parsed_arguments arguments = parse_arguments("relay", argument_list, options);
    if (arguments.help) {
        std::printf("%s  -h, --help      show this help\n\n%s", relay_help.data(),
                    relay_exit_status_help.data());
        return exit_status::ok;
    }
    require_files("relay", arguments, 2, "udp://[HOST:]PORT and udp://HOST:PORT");
    const rtp::net::udp_url listen =
        read_udp_url("relay", arguments.files[0], rtp::net::host_part::optional);
    const rtp::net::udp_url target =
        read_udp_url("relay", arguments.files[1], rtp::net::host_part::required);
    const rtp::net::impairment_settings impaired = read_impairment(arguments);
    const std::uint64_t seed = unsigned_option("relay", arguments, "seed", 1);
    std::optional<double> duration;
    if (arguments.has("duration")) duration = number_option("relay", arguments, "duration", 0, 86400, 0);
    const double timeout = number_option("relay", arguments, "timeout", 0, 86400, 10);
    const bool rtcp = !arguments.has("no-rtcp");
    if (rtcp && (listen.port == 65535 || target.port == 65535)) {
        fail_usage("relay: RTCP needs the port above each port; use --no-rtcp");
    }

    using rtp::net::udp_socket;
    auto above = [](rtp::net::udp_url url) {
        url.port = static_cast<std::uint16_t>(url.port + 1);
        return url;
    };
    std::optional<udp_socket> media_in, control_in, media_out, control_out;
    media_in.emplace(udp_socket::bind_to(listen));
    if (rtcp) {
        control_in.emplace(udp_socket::bind_to(above(listen)));
        auto pair = udp_socket::connect_pair(target, above(target));
        media_out.emplace(std::move(pair.first));
        control_out.emplace(std::move(pair.second));
    } else {
        media_out.emplace(udp_socket::connect_to(target));
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, std::fclose);
    if (arguments.has("log")) {
        log.reset(std::fopen(arguments.value("log").c_str(), "w"));
        if (!log) fail_data(arguments.value("log"), "cannot write the log");
    }
    const sigset_t wait_mask = catch_stop_signals();

    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    auto now = [&] { return std::chrono::duration<double>(clock::now() - start).count(); };
    const double wall_at_start =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    rtp::net::impairment path(impaired, seed);
    std::priority_queue<in_flight, std::vector<in_flight>, std::greater<>> queue;
    std::uint64_t order = 0;
    std::optional<std::string> media_sender, control_sender;
    std::optional<double> first, last;
    std::uint64_t in = 0, out = 0, lost = 0, duplicated = 0, back = 0, control = 0, dropped = 0;
    double delay_sum = 0.0;
    std::vector<double> delays;
    std::vector<std::uint8_t> datagram(65536);

    auto relay_media = [&](std::span<const std::uint8_t> bytes, double arrival) {
        ++in;
        const std::vector<double> departures = path.schedule(arrival);
        rtp::rtp_packet packet;
        const bool is_rtp = rtp::parse_rtp_packet(bytes, packet) == rtp::rtp_parse_result::ok;
        if (departures.empty()) ++lost;
        if (departures.size() > 1) ++duplicated;
        if (log) {
            const std::string fate = departures.empty() ? "lost" : departures.size() > 1 ? "duplicated" : "sent";
            std::fprintf(log.get(), "%.6f %.6f %d %lld %s\n", wall_at_start + arrival,
                         departures.empty() ? 0.0 : wall_at_start + departures[0],
                         is_rtp ? packet.sequence : -1, is_rtp ? static_cast<long long>(packet.timestamp) : -1LL,
                         fate.c_str());
        }
        for (const double due : departures) {
            if (queue.size() >= max_in_flight) {
                ++dropped;
                continue;
            }
            delays.push_back((due - arrival) * 1000.0);
            delay_sum += (due - arrival) * 1000.0;
            queue.push({due, order++, {bytes.begin(), bytes.end()}});
        }
    };
    // Reads what is queued on each socket, a bounded batch at a time.
    auto drain = [&] {
        for (int i = 0; i < 256; ++i) {
            const auto received = media_in->receive(datagram);
            if (!received) break;
            const double arrival = now();
            if (!first) first = arrival;
            last = arrival;
            media_sender = received->source;
            relay_media(std::span(datagram).first(received->size), arrival);
        }
        for (int i = 0; control_in && i < 256; ++i) {
            const auto received = control_in->receive(datagram);
            if (!received) break;
            control_sender = received->source;
            ++control;
            control_out->send(std::span(datagram).first(received->size));
        }
        // Back from the receiver: to whoever sent on that port last.
        for (int i = 0; i < 256; ++i) {
            const auto received = media_out->receive(datagram);
            if (!received) break;
            if (media_sender && media_in->send_to(std::span(datagram).first(received->size), *media_sender)) ++back;
        }
        for (int i = 0; control_out && i < 256; ++i) {
            const auto received = control_out->receive(datagram);
            if (!received) break;
            if (control_sender && control_in->send_to(std::span(datagram).first(received->size), *control_sender)) {
                ++back;
            }
        }
    };
    auto deliver_due = [&](double until) {
        while (!queue.empty() && queue.top().due <= until) {
            media_out->send(queue.top().datagram);
            ++out;
            queue.pop();
        }
    };

    while (!stop_requested()) {
        deliver_due(now());
        double stop_at = last ? *last + timeout : 60.0;
        if (first && duration) stop_at = std::min(stop_at, *first + *duration);
        if (now() >= stop_at) break;
        double wake = stop_at;
        if (!queue.empty()) wake = std::min(wake, queue.top().due);
        const auto deadline =
            start + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(wake));
        std::vector<const udp_socket*> sockets{&*media_in, &*media_out};
        if (control_in) sockets.insert(sockets.end(), {&*control_in, &*control_out});
        if (udp_socket::wait_any(sockets, deadline, &wait_mask) == rtp::net::wait_result::readable) drain();
    }
    // What is under way still arrives, at its time.
    while (!queue.empty()) {
        const double due = queue.top().due;
        const double left = due - now();
        if (left > 0) ::usleep(static_cast<useconds_t>(left * 1e6));
        deliver_due(due);
    }

    std::sort(delays.begin(), delays.end());
    const double p95 = delays.empty() ? 0.0 : delays[static_cast<std::size_t>(0.95 * static_cast<double>(delays.size() - 1))];
    std::printf("relayed          %s > %s, profile %s, seed %llu\n", listen.text.c_str(), target.text.c_str(),
                arguments.has("profile") ? arguments.value("profile").c_str() : "clean",
                static_cast<unsigned long long>(seed));
    std::printf("datagrams        %llu in, %llu out, %llu lost, %llu duplicated, %llu dropped (queue full)\n",
                static_cast<unsigned long long>(in), static_cast<unsigned long long>(out),
                static_cast<unsigned long long>(lost), static_cast<unsigned long long>(duplicated),
                static_cast<unsigned long long>(dropped));
    std::printf("delay/ms         mean %.1f, 95th percentile %.1f\n",
                delays.empty() ? 0.0 : delay_sum / static_cast<double>(delays.size()), p95);
    std::printf("RTCP and back    %llu relayed on, %llu back\n", static_cast<unsigned long long>(control),
                static_cast<unsigned long long>(back));
    return exit_status::ok;
}

}  // namespace g723::tool
