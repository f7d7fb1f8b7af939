// SPDX-License-Identifier: BSD-2-Clause
// The two readings of a capture: the first finds the streams without
// keeping packets, the second hands each G.723.1 stream over as soon as
// its last packet is read, with the packets a single reading keeps.
#include "rtp/capture/capture_analysis.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace g723::rtp {
namespace {

using bytes = std::vector<std::uint8_t>;

// An IPv4 datagram from 192.0.2.1:`port` to 192.0.2.2:5004 carrying an
// RTP packet with a 24-byte payload that tells the packet apart.
bytes rtp_datagram(std::uint16_t port, std::uint8_t type, std::uint32_t ssrc, std::uint16_t sequence) {
    bytes packet{0x45, 0, 0, 0, 0, 0, 0, 0, 64, 17, 0, 0, 192, 0, 2, 1, 192, 0, 2, 2,
                 static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port), 0x13, 0x8c, 0, 0, 0, 0};
    const std::uint32_t timestamp = 240u * sequence;
    const bytes header{0x80, type,
                       static_cast<std::uint8_t>(sequence >> 8), static_cast<std::uint8_t>(sequence),
                       static_cast<std::uint8_t>(timestamp >> 24), static_cast<std::uint8_t>(timestamp >> 16),
                       static_cast<std::uint8_t>(timestamp >> 8), static_cast<std::uint8_t>(timestamp),
                       static_cast<std::uint8_t>(ssrc >> 24), static_cast<std::uint8_t>(ssrc >> 16),
                       static_cast<std::uint8_t>(ssrc >> 8), static_cast<std::uint8_t>(ssrc)};
    packet.insert(packet.end(), header.begin(), header.end());
    for (int i = 0; i < 24; ++i) packet.push_back(static_cast<std::uint8_t>(ssrc + sequence + i));
    packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<std::uint8_t>(packet.size());
    packet[24] = static_cast<std::uint8_t>((packet.size() - 20) >> 8);
    packet[25] = static_cast<std::uint8_t>(packet.size() - 20);
    return packet;
}

// A raw-IP capture written by libpcap, held in memory.
bytes capture_of(const std::vector<bytes>& datagrams) {
    std::FILE* file = std::tmpfile();
    pcap_t* dead = pcap_open_dead(DLT_RAW, 65535);
    pcap_dumper_t* dumper = pcap_dump_fopen(dead, file);
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        pcap_pkthdr header{};
        header.ts.tv_sec = 1000 + static_cast<long>(i / 50);
        header.ts.tv_usec = static_cast<long>(i % 50) * 20000;
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

bool same(const captured_rtp_packet& a, const captured_rtp_packet& b) {
    return a.arrival_seconds == b.arrival_seconds && a.marker == b.marker &&
           a.payload_type == b.payload_type && a.sequence == b.sequence &&
           a.timestamp == b.timestamp && a.payload == b.payload;
}

TEST(capture_analysis, TheSecondReadingHandsEachStreamOverOnceItEnds) {
    // The first stream runs from start to end, a second starts after it
    // and ends halfway, a third (PCMU) runs throughout; a dynamic type no
    // SDP names comes into the first stream now and then.
    std::vector<bytes> datagrams;
    for (std::uint16_t k = 0; k < 40; ++k) {
        datagrams.push_back(rtp_datagram(4000, 4, 0xa, k));
        if (k % 9 == 4) datagrams.push_back(rtp_datagram(4000, 101, 0xa, 500 + k));
        if (k >= 3 && k < 20) datagrams.push_back(rtp_datagram(4002, 4, 0xb, 7 * k));
        datagrams.push_back(rtp_datagram(4004, 0, 0xc, k));
    }
    const bytes capture = capture_of(datagrams);

    capture::capture_reader once = open_capture_memory(capture);
    const capture_contents kept = read_capture_contents(once, {});
    capture::capture_reader first = open_capture_memory(capture);
    capture_contents found = read_capture_contents(first, {}, false);
    ASSERT_EQ(found.streams.size(), 2u);
    ASSERT_EQ(kept.streams.size(), 2u);
    EXPECT_TRUE(found.scan.streams.empty());
    EXPECT_EQ(capture_counts(found, 0), capture_counts(kept, 0));
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(found.streams[i].key, kept.streams[i].key);
        EXPECT_EQ(found.streams[i].g723_packets, kept.streams[i].g723_packets);
        EXPECT_TRUE(found.streams[i].packets.empty());
    }

    std::vector<std::size_t> handed;
    capture::capture_reader second = open_capture_memory(capture);
    EXPECT_TRUE(read_stream_packets(second, found, {}, [&](std::size_t i, std::vector<captured_rtp_packet> packets) {
        handed.push_back(i);
        const auto expected = kept.streams.at(i).packets;
        EXPECT_TRUE(std::equal(packets.begin(), packets.end(), expected.begin(), expected.end(), same))
            << "stream " << i;
        return true;
    }));
    EXPECT_EQ(handed, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(kept.streams[0].packets.size(), 44u);  // the dynamic type's packets too

    // A hand-over that says stop ends the reading.
    handed.clear();
    capture::capture_reader stopped = open_capture_memory(capture);
    EXPECT_FALSE(read_stream_packets(stopped, found, {}, [&](std::size_t i, std::vector<captured_rtp_packet>) {
        handed.push_back(i);
        return false;
    }));
    EXPECT_EQ(handed, std::vector<std::size_t>{1});
}

// A file libpcap cannot open: the message says why, without the file's
// name, which the caller puts in front.
TEST(capture_analysis, AFileThatCannotBeOpenedIsRefusedWithoutItsName) {
    const std::string missing = testing::TempDir() + "no such capture.pcap";
    std::remove(missing.c_str());
    try {
        open_capture_file(missing);
        FAIL() << "a missing file was opened";
    } catch (const capture::capture_error& error) {
        const std::string reason = error.what();
        EXPECT_EQ(reason.find("no such capture"), std::string::npos) << reason;
        EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(reason[0]))) << reason;
    }
    const std::string empty = testing::TempDir() + "empty capture.pcap";
    std::fclose(std::fopen(empty.c_str(), "wb"));
    try {
        open_capture_file(empty);
        FAIL() << "an empty file was opened";
    } catch (const capture::capture_error& error) {
        EXPECT_STREQ(error.what(), "is empty");
    }
    std::remove(empty.c_str());
}

// A capture of a link type the reader cannot strip is refused when it is
// opened, naming the type, rather than read as a capture of nothing.
TEST(capture_analysis_link_types, ACaptureOfAnUnknownLinkTypeIsRefusedByItsNumber) {
    // A pcap header alone: microsecond magic, version 2.4, snap length
    // 65535, link type 147 (reserved for private use).
    const bytes header{0xd4, 0xc3, 0xb2, 0xa1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                       0xff, 0xff, 0, 0, 147, 0, 0, 0};
    try {
        open_capture_memory(header);
        FAIL() << "a capture of link type 147 was opened";
    } catch (const capture::capture_error& error) {
        EXPECT_EQ(std::string(error.what()), "link type 147 is not supported");
    }
    // The same header with raw IP opens.
    bytes raw = header;
    raw[20] = 101;  // LINKTYPE_RAW
    EXPECT_NO_THROW(open_capture_memory(raw));
}

}  // namespace
}  // namespace g723::rtp
