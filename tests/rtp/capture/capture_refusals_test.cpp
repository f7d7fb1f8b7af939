// SPDX-License-Identifier: BSD-2-Clause
// What a capture may hold that is not G.723.1 over UDP: a link type the
// library does not read is refused by name, records that are not IP are
// counted, and a stream's packets of another payload type and their copies
// neither count as lost nor as its duplicates.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "rtp/capture/capture_analysis.h"

namespace g723::rtp {
namespace {

using bytes = std::vector<std::uint8_t>;

bytes capture_of(int link_type, const std::vector<bytes>& records) {
    std::FILE* file = std::tmpfile();
    pcap_t* dead = pcap_open_dead(link_type, 65535);
    pcap_dumper_t* dumper = pcap_dump_fopen(dead, file);
    for (const bytes& record : records) {
        pcap_pkthdr header{};
        header.ts.tv_sec = 1000;
        header.caplen = header.len = static_cast<bpf_u_int32>(record.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, record.data());
    }
    pcap_dump_flush(dumper);
    bytes capture(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    EXPECT_EQ(std::fread(capture.data(), 1, capture.size(), file), capture.size());
    pcap_dump_close(dumper);
    pcap_close(dead);
    return capture;
}

TEST(capture_analysis, LinksItCannotReadAreRefusedAndRecordsNotIpCounted) {
    const bytes wireless = capture_of(DLT_IEEE802_11, {bytes(40, 0)});
    try {
        open_capture_memory(wireless);
        FAIL() << "an 802.11 capture was opened";
    } catch (const capture::capture_error& error) {
        EXPECT_STREQ(error.what(), "link type 105 is not supported");
    }
    // Raw IP: a version 5 header and an empty record are not IP.
    const bytes raw = capture_of(DLT_RAW, {bytes(28, 0x50), bytes{}});
    capture::capture_reader reader = open_capture_memory(raw);
    const capture_contents contents = read_capture_contents(reader, {});
    const auto counts = capture_counts(contents, 0);
    const std::map<std::string, std::uint64_t> by_name(counts.begin(), counts.end());
    EXPECT_EQ(by_name.at("capture records"), 2u);
    EXPECT_EQ(by_name.at("UDP datagrams"), 0u);
    EXPECT_EQ(by_name.at("not IP") + by_name.at("truncated"), 2u);
    EXPECT_EQ(by_name.at("not IP"), 1u);
}

TEST(rtp_stream_decoding, OtherTypesInAStreamAreNeitherLostNorItsDuplicates) {
    std::vector<captured_rtp_packet> packets;
    const auto add = [&](std::uint8_t type, std::uint16_t sequence, double seconds) {
        captured_rtp_packet packet;
        packet.arrival_seconds = seconds;
        packet.payload_type = type;
        packet.sequence = sequence;
        packet.timestamp = 240u * sequence;
        packet.payload.assign(type == 4 ? 24 : 4, 0);
        packets.push_back(packet);
    };
    // Frames 0-14 with a telephone event at sequence 10 instead of a frame,
    // sent twice; frame 3 sent twice.
    for (std::uint16_t n = 0; n < 15; ++n) {
        add(n == 10 ? 101 : 4, n, 0.03 * n);
        if (n == 3 || n == 10) add(n == 10 ? 101 : 4, n, 0.03 * n + 0.001);
    }
    const decoded_stream decoded = decode_rtp_stream(packets, 0, 4, true);
    EXPECT_EQ(decoded.statistics.packets, 14u);
    EXPECT_EQ(decoded.statistics.duplicated, 1u);
    EXPECT_EQ(decoded.statistics.lost_packets, 0u);
    EXPECT_EQ(decoded.statistics.frames, 14u);
}

}  // namespace
}  // namespace g723::rtp
