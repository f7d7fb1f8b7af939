// SPDX-License-Identifier: BSD-2-Clause
// libpcap reading from memory, as the fuzz targets use it: records with
// their capture times, damage reported rather than read past.
#include "rtp/capture/capture_reader.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdio>
#include <vector>

namespace g723::rtp::capture {
namespace {

using bytes = std::vector<std::uint8_t>;

TEST(capture_reader, ReadsFromMemoryAndReportsDamage) {
    // One record written by libpcap into a temporary file, then held in memory.
    std::FILE* file = std::tmpfile();
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(DLT_EN10MB, 65535, PCAP_TSTAMP_PRECISION_NANO);
    pcap_dumper_t* dumper = pcap_dump_fopen(dead, file);
    const bytes frame{1, 2, 3, 4, 5, 6, 7};
    pcap_pkthdr header{};
    header.ts.tv_sec = 1'500'000;
    header.ts.tv_usec = 250'000'001;  // nanoseconds in this precision
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    pcap_dump_flush(dumper);
    bytes capture(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    ASSERT_EQ(std::fread(capture.data(), 1, capture.size(), file), capture.size());
    pcap_dump_close(dumper);
    pcap_close(dead);

    capture_reader reader = capture_reader::open_memory(capture);
    EXPECT_EQ(reader.link_type(), DLT_EN10MB);
    capture_record record;
    ASSERT_TRUE(reader.next(record));
    EXPECT_DOUBLE_EQ(record.seconds, 1'500'000.250000001);
    EXPECT_EQ(bytes(record.bytes.begin(), record.bytes.end()), frame);
    EXPECT_FALSE(reader.next(record));
    EXPECT_EQ(reader.error(), "");

    const bytes cut(capture.begin(), capture.end() - 3);
    capture_reader damaged = capture_reader::open_memory(cut);
    EXPECT_FALSE(damaged.next(record));
    EXPECT_NE(damaged.error(), "");

    EXPECT_THROW(capture_reader::open_memory(bytes(100, 0x42)), capture_error);
    EXPECT_THROW(capture_reader::open_memory(bytes{}), capture_error);
}

}  // namespace
}  // namespace g723::rtp::capture
