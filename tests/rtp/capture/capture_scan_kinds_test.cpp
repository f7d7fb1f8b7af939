// SPDX-License-Identifier: BSD-2-Clause
// What a capture's scan takes each UDP payload for. SIP: everything on the
// SIP port, and elsewhere messages that start as SIP does, with an
// upper-case letter; nothing else, not even an empty or one-byte payload.
// SRTCP: packet types 200 to 206 beside media announced as SRTP.
#include "rtp/capture/capture_scan.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rtp/capture/capture_reader.h"

namespace g723::rtp {
namespace {

using bytes = std::vector<std::uint8_t>;

// An IPv4 datagram from 192.0.2.1:`from` to 192.0.2.2:`to` carrying `text`.
bytes udp_datagram(std::uint16_t from, std::uint16_t to, const std::string& text) {
    bytes packet{0x45, 0, 0, 0, 0, 0, 0, 0, 64, 17, 0, 0, 192, 0, 2, 1, 192, 0, 2, 2,
                 static_cast<std::uint8_t>(from >> 8), static_cast<std::uint8_t>(from),
                 static_cast<std::uint8_t>(to >> 8), static_cast<std::uint8_t>(to), 0, 0, 0, 0};
    packet.insert(packet.end(), text.begin(), text.end());
    packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<std::uint8_t>(packet.size());
    packet[24] = static_cast<std::uint8_t>((packet.size() - 20) >> 8);
    packet[25] = static_cast<std::uint8_t>(packet.size() - 20);
    return packet;
}

bytes capture_of(const std::vector<bytes>& datagrams) {
    std::FILE* file = std::tmpfile();
    pcap_t* dead = pcap_open_dead(DLT_RAW, 65535);
    pcap_dumper_t* dumper = pcap_dump_fopen(dead, file);
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        pcap_pkthdr header{};
        header.ts.tv_sec = 1000 + static_cast<long>(i);
        header.caplen = header.len = static_cast<bpf_u_int32>(datagrams[i].size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, datagrams[i].data());
    }
    pcap_dump_flush(dumper);
    bytes capture(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    EXPECT_EQ(std::fread(capture.data(), 1, capture.size(), file), capture.size());
    pcap_dump_close(dumper);
    pcap_close(dead);
    return capture;
}

// A request of `method` offering G.723.1 at `address`:`media_port`.
std::string offer(const std::string& method, unsigned media_port, const std::string& profile = "RTP/AVP",
                  const std::string& address = "198.51.100.9") {
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address +
                            "\r\nt=0 0\r\nm=audio " + std::to_string(media_port) + " " + profile +
                            " 4\r\na=rtpmap:4 G723/8000\r\n";
    return method + " sip:b@192.0.2.2 SIP/2.0\r\nCall-ID: " + method + std::to_string(media_port) +
           "\r\nContent-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
}

TEST(capture_scan_sip, TheSipPortTakesAnyMethodOtherPortsOnlyAnUpperCaseStart) {
    const std::vector<bytes> datagrams{
        // On the SIP port, from it or to it: whatever the method's case.
        udp_datagram(5060, 5062, offer("invite", 7000)),
        udp_datagram(5062, 5060, offer("invite", 7002)),
        udp_datagram(5060, 5060, offer("invite", 7004)),
        // Elsewhere: an upper-case first letter, whatever follows it.
        udp_datagram(5062, 5064, offer("INVITE", 7006)),
        udp_datagram(5062, 5064, offer("Invite", 7008)),
        udp_datagram(5062, 5064, offer("X-OFFER", 7010)),
        udp_datagram(5062, 5064, offer("invite", 7012)),
        // Neither SIP nor RTP: empty, one byte, one upper-case letter.
        udp_datagram(5062, 5064, ""),
        udp_datagram(5062, 5064, "a"),
        udp_datagram(5062, 5064, "I"),
    };
    const bytes capture = capture_of(datagrams);
    capture::capture_reader reader = capture::capture_reader::open_memory(capture);
    const capture_scan scan = scan_capture(reader, {});
    EXPECT_EQ(scan.records, datagrams.size());
    EXPECT_EQ(scan.sip_messages, 6u);
    std::vector<unsigned> ports;
    for (const auto& [where, media] : scan.announced) ports.push_back(where.port);
    EXPECT_EQ(ports, (std::vector<unsigned>{7000, 7002, 7004, 7006, 7008, 7010}));
    EXPECT_EQ(scan.not_rtp, 4u);
}

TEST(capture_scan_srtcp, PacketTypes200To206BesideSrtpMediaAreSrtcp) {
    // 192.0.2.1 announces SRTP at port 7000; its RTCP comes from 7001.
    std::vector<bytes> datagrams{udp_datagram(5060, 5060, offer("INVITE", 7000, "RTP/SAVP", "192.0.2.1"))};
    for (const std::uint8_t type : {199, 200, 203, 206, 207}) {
        datagrams.push_back(udp_datagram(7001, 9001, std::string{'\x80', static_cast<char>(type), 0, 1, 0, 0, 0, 9}));
    }
    const bytes capture = capture_of(datagrams);
    capture::capture_reader reader = capture::capture_reader::open_memory(capture);
    const capture_scan scan = scan_capture(reader, {});
    EXPECT_EQ(scan.sip_messages, 1u);
    EXPECT_EQ(scan.srtcp_packets, 3u);
}

}  // namespace
}  // namespace g723::rtp
