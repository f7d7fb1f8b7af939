// SPDX-License-Identifier: BSD-2-Clause
// One captured frame decoded down to its UDP datagram (link layer, IPv4 or
// IPv6 with extension headers, UDP), on arbitrary bytes under every link
// type the reader knows and under arbitrary ones. The first byte picks the
// link type, the rest is the frame, alone on the heap. Checks: a datagram's
// payload lies inside the frame after at least the UDP header; addresses
// print; an unsupported link type is refused as such.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rtp/capture/ip_packet.h"
#include "rtp/capture/link_layer.h"
#include "rtp/capture/packet_decoding.h"
#include "fuzz/fuzz_check.h"

namespace {

using namespace g723::rtp::capture;

constexpr std::array<int, 10> kLinkTypes{
    link_type::bsd_loopback, link_type::ethernet,         link_type::raw_ip_dlt12, link_type::raw_ip_dlt14,
    link_type::raw_ip,       link_type::openbsd_loopback, link_type::linux_cooked, link_type::ipv4,
    link_type::ipv6,         link_type::linux_cooked_v2};

void check_address(const ip_address& address) {
    const std::string text = to_string(address);
    G723_FUZZ_CHECK(!text.empty() && text.size() <= 39);
    G723_FUZZ_CHECK(text.find(address.ipv6 ? ':' : '.') != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    const int type = choice < 0xf0 ? kLinkTypes[choice % kLinkTypes.size()] : choice - 0xf0 + 2;
    const std::vector<std::uint8_t> frame(data + 1, data + size);

    udp_packet packet;
    const packet_verdict verdict = decode_packet(type, frame, packet);
    G723_FUZZ_CHECK(static_cast<std::size_t>(verdict) < packet_verdict_count);
    G723_FUZZ_CHECK(!describe(verdict).empty());
    if (!is_supported_link_type(type)) G723_FUZZ_CHECK(verdict == packet_verdict::unsupported_link_type);
    if (verdict != packet_verdict::udp) return 0;

    const std::uint8_t* begin = frame.data();
    const std::uint8_t* payload = packet.datagram.payload.data();
    G723_FUZZ_CHECK(frame.size() >= 20 + 8);
    G723_FUZZ_CHECK(payload >= begin + 20 + 8 && payload + packet.datagram.payload.size() <= begin + frame.size());
    G723_FUZZ_CHECK(packet.source.ipv6 == packet.destination.ipv6);
    check_address(packet.source);
    check_address(packet.destination);
    // The UDP header sits just before the payload.
    const std::uint8_t* udp = payload - 8;
    G723_FUZZ_CHECK(packet.datagram.source_port == (udp[0] << 8 | udp[1]));
    G723_FUZZ_CHECK(packet.datagram.destination_port == (udp[2] << 8 | udp[3]));
    G723_FUZZ_CHECK(packet.datagram.payload.size() + 8 == static_cast<std::size_t>(udp[4] << 8 | udp[5]));
    return 0;
}
