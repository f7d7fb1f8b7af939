// SPDX-License-Identifier: BSD-2-Clause
// g723_trunk_capture: writes a capture of many concurrent G.723.1 calls, as
// a trunk between two media gateways would carry them, for measuring
// `g723 pcap` at scale. Every stream sends the same coded speech (a
// compact bit-stream file, looped), each from its own point in it, one
// frame per packet in real time; streams come in pairs, the two directions
// of a call. Written with libpcap's own writer, Ethernet and IPv4. With
// AT_ONCE, the streams come AT_ONCE at a time, each batch after the one
// before has ended: calls that follow one another over a long capture.
//
//   g723_trunk_capture BITSTREAM STREAMS SECONDS OUTPUT [AT_ONCE]
#include <pcap/pcap.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "media/codec/frame_layout.h"
#include "rtp/packet/network_order.h"
#include "rtp/packet/rtp_packetizer.h"

namespace {

using namespace g723::media;
using namespace g723::rtp;

std::vector<frame_slot> read_bitstream(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    std::vector<frame_slot> frames;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = meaningful_bytes(kind_of(bytes[at]));
        if (at + length > bytes.size()) break;
        frame_slot& slot = frames.emplace_back();
        slot.fill(0);
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + length), slot.begin());
        at += length;
    }
    return frames;
}

// The Ethernet, IPv4 and UDP headers around a datagram from host `from` to
// host `to` (10.1.x.y and 10.2.x.y), ports as given.
std::vector<std::uint8_t> frame_around(const std::vector<std::uint8_t>& datagram, int from, int to,
                                       std::uint16_t source_port, std::uint16_t destination_port) {
    constexpr std::size_t ethernet = 14, ip = 20, udp = 8;
    std::vector<std::uint8_t> frame(ethernet + ip + udp + datagram.size(), 0);
    std::span<std::uint8_t> bytes(frame);
    for (int i = 0; i < 6; ++i) {
        frame[i] = static_cast<std::uint8_t>(0x02 + i);  // locally administered addresses
        frame[6 + i] = static_cast<std::uint8_t>(0x12 + i);
    }
    write_be16(bytes, 12, 0x0800);
    const auto ip_length = static_cast<std::uint16_t>(ip + udp + datagram.size());
    frame[ethernet] = 0x45;
    write_be16(bytes, ethernet + 2, ip_length);
    frame[ethernet + 8] = 64;
    frame[ethernet + 9] = 17;
    const auto address = [](int network, int host) {
        return (10u << 24) | (static_cast<std::uint32_t>(network) << 16) | static_cast<std::uint32_t>(host);
    };
    write_be32(bytes, ethernet + 12, address(from < to ? 1 : 2, from));
    write_be32(bytes, ethernet + 16, address(from < to ? 2 : 1, to));
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < ip; i += 2) sum += read_be16(bytes, ethernet + i);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    write_be16(bytes, ethernet + 10, static_cast<std::uint16_t>(~sum));
    write_be16(bytes, ethernet + ip, source_port);
    write_be16(bytes, ethernet + ip + 2, destination_port);
    write_be16(bytes, ethernet + ip + 4, static_cast<std::uint16_t>(udp + datagram.size()));
    std::copy(datagram.begin(), datagram.end(), frame.begin() + ethernet + ip + udp);
    return frame;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: g723_trunk_capture BITSTREAM STREAMS SECONDS OUTPUT [AT_ONCE]\n");
        return 2;
    }
    const std::vector<frame_slot> speech = read_bitstream(argv[1]);
    const long streams = std::strtol(argv[2], nullptr, 10);
    const double seconds = std::strtod(argv[3], nullptr);
    const long at_once = argc == 6 ? std::strtol(argv[5], nullptr, 10) : streams;
    if (speech.empty() || streams < 1 || streams > 60000 || !(seconds > 0) || at_once < 1) {
        std::fprintf(stderr, "g723_trunk_capture: need a bit-stream, 1 to 60000 streams, seconds above 0 and AT_ONCE above 0\n");
        return 2;
    }
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, argv[4]);
    if (dumper == nullptr) {
        std::fprintf(stderr, "g723_trunk_capture: %s: %s\n", argv[4], pcap_geterr(dead));
        return 1;
    }
    std::vector<rtp_packetizer> senders;
    for (long s = 0; s < streams; ++s) {
        packetizer_settings settings;
        settings.ssrc = 0x10000000u + static_cast<std::uint32_t>(s);
        settings.first_sequence = static_cast<std::uint16_t>(s * 7919);
        settings.first_timestamp = static_cast<std::uint32_t>(s) * 104729u;
        senders.emplace_back(settings);
    }
    // The streams' packets spread evenly over each 30 ms, in capture-time
    // order; a call's two directions share its hosts and ports (the answer
    // from 10.2.x.y).
    const auto frames = static_cast<long>(seconds / frame_seconds);
    constexpr double start = 1.7e9;
    std::uint64_t packets = 0;
    for (long first = 0; first < streams; first += at_once) {
        const long last = std::min(streams, first + at_once);
        const double batch_start = start + seconds * static_cast<double>(first / at_once);
        for (long f = 0; f < frames; ++f) {
            for (long s = first; s < last; ++s) {
                const long call = s / 2;
                const std::size_t at = static_cast<std::size_t>(f + 37 * s) % speech.size();
                const std::optional<outgoing_packet> packet = senders[static_cast<std::size_t>(s)].add(speech[at]);
                if (!packet) continue;
                const int host = static_cast<int>(call % 250) + 1;
                const auto port = static_cast<std::uint16_t>(10000 + 2 * (call / 250) % 50000);
                const bool answer = s % 2 == 1;
                const std::vector<std::uint8_t> frame =
                    answer ? frame_around(packet->datagram, host + 256, host, port, port)
                           : frame_around(packet->datagram, host, host + 256, port, port);
                const double time = batch_start + frame_seconds * (static_cast<double>(f) + static_cast<double>(s - first) / static_cast<double>(last - first));
                pcap_pkthdr header{};
                header.ts.tv_sec = static_cast<time_t>(time);
                header.ts.tv_usec = static_cast<suseconds_t>((time - static_cast<double>(header.ts.tv_sec)) * 1e6);
                header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
                pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
                ++packets;
            }
        }
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
    std::fprintf(stderr, "%s: %ld streams, %.0f s, %llu packets\n", argv[4], streams, seconds,
                 static_cast<unsigned long long>(packets));
    return 0;
}
