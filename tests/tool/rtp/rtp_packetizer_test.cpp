// The packetizer: frames gathered into packets, untransmitted frames never
// sent, the marker on each talkspurt, sequence and timestamp wrapping.
#include "rtp/rtp_packetizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtp/g723_payload.h"
#include "rtp/rtp_packet.h"

namespace g723::tool::rtp {
namespace {

TEST(rtp_packetizer, GathersTalkspurtsAndSkipsSilence) {
    // Speech (S), SID (s) and untransmitted (U) frames, numbered in byte 1.
    const std::string kinds = "SSSsUUSSS";
    packetizer_settings settings;
    settings.frames_per_packet = 2;
    settings.payload_type = 97;
    settings.ssrc = 0x12345678;
    settings.first_sequence = 65535;
    settings.first_timestamp = 0xffffff00;
    rtp_packetizer packetizer(settings);
    std::vector<outgoing_packet> packets;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        frame_slot slot{};
        slot[0] = kinds[i] == 'S' ? 0 : kinds[i] == 's' ? 2 : 3;
        slot[1] = static_cast<std::uint8_t>(i);
        if (auto packet = packetizer.add(slot)) packets.push_back(*packet);
    }
    if (auto packet = packetizer.finish()) packets.push_back(*packet);

    // Packets: frames {0,1}, {2,3} ended by silence, {6,7}, {8} at the end.
    const std::vector<std::vector<int>> expected{{0, 1}, {2, 3}, {6, 7}, {8}};
    const std::vector<bool> markers{true, false, true, false};
    ASSERT_EQ(packets.size(), expected.size());
    for (std::size_t p = 0; p < packets.size(); ++p) {
        rtp_packet header;
        ASSERT_EQ(parse_rtp_packet(packets[p].datagram, header), rtp_parse_result::ok);
        EXPECT_EQ(header.marker, markers[p]) << p;
        EXPECT_EQ(header.payload_type, 97);
        EXPECT_EQ(header.ssrc, 0x12345678u);
        EXPECT_EQ(header.sequence, static_cast<std::uint16_t>(65535 + p)) << p;
        const auto first = static_cast<std::uint32_t>(expected[p][0]);
        EXPECT_EQ(header.timestamp, 0xffffff00u + 240 * first) << p;
        const payload_frames frames = split_payload(header.payload);
        ASSERT_FALSE(frames.malformed);
        ASSERT_EQ(frames.frames.size(), expected[p].size());
        for (std::size_t f = 0; f < frames.frames.size(); ++f) {
            EXPECT_EQ(frames.frames[f][1], expected[p][f]);
        }
        EXPECT_EQ(packets[p].first_frame, first);
    }
}

}  // namespace
}  // namespace g723::tool::rtp
