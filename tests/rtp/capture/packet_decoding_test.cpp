// SPDX-License-Identifier: BSD-2-Clause
// Link layer, IP and UDP decoding: every supported link type reaches the
// same datagram; truncations, fragments and lying lengths are verdicts.
#include "rtp/capture/packet_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace g723::rtp::capture {
namespace {

using bytes = std::vector<std::uint8_t>;

bytes operator+(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// UDP from port 4000 to 5004 holding "hello".
const bytes udp = {0x0f, 0xa0, 0x13, 0x8c, 0x00, 0x0d, 0x00, 0x00, 'h', 'e', 'l', 'l', 'o'};
// IPv4 with one option word (header length 6), 192.0.2.1 to 192.0.2.2.
const bytes ipv4 = bytes{0x46, 0, 0, 24 + 13, 0,   0, 0x40, 0, 64, 17, 0, 0,
                         192,  0, 2, 1,       192, 0, 2,    2, 1,  1,  1, 0} +
                   udp;

void expect_hello(int type, const bytes& frame) {
    udp_packet packet;
    ASSERT_EQ(decode_packet(type, frame, packet), packet_verdict::udp) << "link type " << type;
    EXPECT_EQ(to_string(packet.source), "192.0.2.1");
    EXPECT_EQ(to_string(packet.destination), packet.destination.ipv6 ? "2001:db8::2" : "192.0.2.2");
    EXPECT_EQ(packet.datagram.source_port, 4000);
    EXPECT_EQ(packet.datagram.destination_port, 5004);
    EXPECT_EQ(std::string(packet.datagram.payload.begin(), packet.datagram.payload.end()), "hello");
}

TEST(decode_packet, EveryLinkTypeAndItsTruncations) {
    const bytes addresses(12, 0xaa);
    const bytes padding(10, 0);  // short Ethernet frames are padded to 60 bytes
    const std::vector<std::pair<int, bytes>> frames = {
        {1, addresses + bytes{0x08, 0x00} + ipv4 + padding},
        {1, addresses + bytes{0x88, 0xa8, 0, 1, 0x81, 0x00, 0, 2, 0x08, 0x00} + ipv4},
        {113, bytes{0, 0, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 0x08, 0x00} + ipv4},
        {276, bytes{0x08, 0x00, 0, 0, 0, 0, 0, 1, 0, 1, 4, 6, 1, 2, 3, 4, 5, 6, 0, 0} + ipv4},
        {101, ipv4},
        {12, ipv4},
        {14, ipv4},
        {228, ipv4},
        {0, bytes{2, 0, 0, 0} + ipv4},
        {108, bytes{0, 0, 0, 2} + ipv4},
    };
    for (const auto& [type, frame] : frames) {
        expect_hello(type, frame);
        // Any cut before the datagram's end is caught as truncated.
        for (std::size_t size = 0; size + padding.size() < frame.size(); ++size) {
            udp_packet packet;
            const bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(size));
            const packet_verdict verdict = decode_packet(type, cut, packet);
            EXPECT_EQ(verdict, packet_verdict::truncated)
                << "type " << type << ", " << size << " bytes";
        }
    }
    udp_packet packet;
    EXPECT_EQ(decode_packet(105, ipv4, packet), packet_verdict::unsupported_link_type);
    EXPECT_EQ(decode_packet(1, addresses + bytes{0x08, 0x06} + ipv4, packet),
              packet_verdict::not_ip);
    // A UDP datagram with nothing in it is a datagram all the same.
    bytes empty = ipv4;
    empty.resize(empty.size() - 5);
    empty[3] = 24 + 8;
    empty[24 + 5] = 8;
    ASSERT_EQ(decode_packet(101, empty, packet), packet_verdict::udp);
    EXPECT_TRUE(packet.datagram.payload.empty());
    EXPECT_EQ(packet.datagram.destination_port, 5004);
}

TEST(decode_packet, Ipv4HeadersThatLieOrFragment) {
    udp_packet packet;
    auto changed = [](std::size_t at, std::uint8_t value) {
        bytes frame = ipv4;
        frame[at] = value;
        return frame;
    };
    EXPECT_EQ(decode_packet(101, changed(0, 0x44), packet),
              packet_verdict::malformed);  // header < 20
    EXPECT_EQ(decode_packet(101, changed(3, 23), packet),
              packet_verdict::malformed);  // total < header
    EXPECT_EQ(decode_packet(101, changed(3, 200), packet),
              packet_verdict::truncated);  // total > bytes
    EXPECT_EQ(decode_packet(101, changed(6, 0x20), packet),
              packet_verdict::fragment);  // more fragments
    EXPECT_EQ(decode_packet(101, changed(7, 0x01), packet), packet_verdict::fragment);  // an offset
    EXPECT_EQ(decode_packet(101, changed(9, 6), packet), packet_verdict::not_udp);
    EXPECT_EQ(decode_packet(101, changed(24 + 5, 7), packet),
              packet_verdict::malformed);  // UDP length < 8
    EXPECT_EQ(decode_packet(101, changed(24 + 5, 14), packet),
              packet_verdict::truncated);  // UDP length > IP's
}

TEST(decode_packet, Ipv6ExtensionHeadersAreFollowed) {
    bytes address_pair(32, 0);
    address_pair[0] = 0x20, address_pair[1] = 0x01, address_pair[2] = 0x0d, address_pair[3] = 0xb8;
    address_pair[15] = 1;
    std::copy_n(address_pair.begin(), 15, address_pair.begin() + 16);
    address_pair[31] = 2;
    // Hop-by-hop (8 bytes), then destination options (16 bytes), then UDP.
    const bytes extensions = bytes{60, 0, 1, 4, 0, 0, 0, 0} + bytes{17, 1, 1, 12} + bytes(12, 0);
    const auto ipv6 = [&](std::uint8_t first, const bytes& rest) {
        const auto length = static_cast<std::uint8_t>(rest.size());
        return bytes{0x60, 0, 0, 0, 0, length, first, 64} + address_pair + rest;
    };
    udp_packet packet;
    ASSERT_EQ(decode_packet(229, ipv6(0, extensions + udp), packet), packet_verdict::udp);
    EXPECT_EQ(to_string(packet.source), "2001:db8::1");
    EXPECT_EQ(to_string(packet.destination), "2001:db8::2");
    EXPECT_EQ(packet.datagram.payload.size(), 5u);
    EXPECT_EQ(decode_packet(229, ipv6(44, bytes{17, 0, 0, 1, 0, 0, 0, 0} + udp), packet),
              packet_verdict::fragment);
    bytes lying = extensions + udp;
    lying[9] = 200;  // a destination-options header longer than the packet
    EXPECT_EQ(decode_packet(229, ipv6(0, lying), packet), packet_verdict::truncated);
    EXPECT_EQ(decode_packet(229, ipv6(6, udp), packet), packet_verdict::not_udp);
    // A hop-by-hop header that fills the packet, then no next header.
    EXPECT_EQ(decode_packet(229, ipv6(0, bytes{59, 0, 0, 0, 0, 0, 0, 0}), packet), packet_verdict::not_udp);
    EXPECT_EQ(decode_packet(229, ipv6(0, bytes{59, 0, 0, 0, 0, 0, 0}), packet), packet_verdict::truncated);
}

}  // namespace
}  // namespace g723::rtp::capture
