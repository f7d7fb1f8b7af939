// libpcap reading from memory: pcapng as well as pcap, damage reported
// rather than read past.
#include "capture/capture_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace g723::tool::capture {
namespace {

using bytes = std::vector<std::uint8_t>;

void append_u32(bytes& out, std::uint32_t value) {  // little-endian, as the section says
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A pcapng section: header block, one Ethernet interface with the default
// microsecond clock, one enhanced packet block of `frame`.
bytes pcapng(const bytes& frame, std::uint64_t microseconds) {
    bytes out;
    const auto block = [&out](std::uint32_t type, const bytes& body) {
        append_u32(out, type);
        append_u32(out, static_cast<std::uint32_t>(12 + body.size()));
        out.insert(out.end(), body.begin(), body.end());
        append_u32(out, static_cast<std::uint32_t>(12 + body.size()));
    };
    bytes section;
    append_u32(section, 0x1a2b3c4d);
    append_u32(section, 1);  // version 1.0
    append_u32(section, 0xffffffff);
    append_u32(section, 0xffffffff);  // section length unknown
    block(0x0a0d0d0a, section);
    bytes interface;
    append_u32(interface, 1);       // link type Ethernet, reserved
    append_u32(interface, 65535);   // snap length
    block(1, interface);
    bytes packet;
    append_u32(packet, 0);  // interface 0
    append_u32(packet, static_cast<std::uint32_t>(microseconds >> 32));
    append_u32(packet, static_cast<std::uint32_t>(microseconds));
    append_u32(packet, static_cast<std::uint32_t>(frame.size()));
    append_u32(packet, static_cast<std::uint32_t>(frame.size()));
    packet.insert(packet.end(), frame.begin(), frame.end());
    packet.resize((packet.size() + 3) / 4 * 4, 0);
    block(6, packet);
    return out;
}

TEST(capture_reader, ReadsPcapngFromMemoryAndReportsDamage) {
    const bytes frame{1, 2, 3, 4, 5, 6, 7};
    const bytes capture = pcapng(frame, 1'500'000'250'000ull);
    capture_reader reader = capture_reader::open_memory(capture);
    EXPECT_EQ(reader.link_type(), 1);
    capture_record record;
    ASSERT_TRUE(reader.next(record));
    EXPECT_DOUBLE_EQ(record.seconds, 1'500'000.25);
    EXPECT_EQ(bytes(record.bytes.begin(), record.bytes.end()), frame);
    EXPECT_FALSE(reader.next(record));
    EXPECT_EQ(reader.error(), "");

    // Cut inside the packet block: no record, and a reason.
    const bytes cut(capture.begin(), capture.end() - 10);
    capture_reader damaged = capture_reader::open_memory(cut);
    EXPECT_FALSE(damaged.next(record));
    EXPECT_NE(damaged.error(), "");

    EXPECT_THROW(capture_reader::open_memory(bytes(100, 0x42)), capture_error);
    EXPECT_THROW(capture_reader::open_memory(bytes{}), capture_error);
    EXPECT_THROW(capture_reader::open_file("/nonexistent/capture.pcap"), capture_error);
}

}  // namespace
}  // namespace g723::tool::capture
