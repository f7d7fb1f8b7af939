// SPDX-License-Identifier: BSD-2-Clause
// A stream's frames gathered into packets, read back as a receiver reads
// them: whole packets and the last short one, untransmitted frames closing
// a packet and starting a talkspurt, sequence numbers and timestamps
// wrapping.
#include "rtp/packet/rtp_packetizer.h"

#include <gtest/gtest.h>

#include <vector>

#include "rtp/packet/rtp_packet.h"

namespace g723::rtp {
namespace {

frame_slot frame_of(frame_kind kind, std::uint8_t tag) {
    frame_slot slot{};
    for (std::size_t i = 0; i < slot.size(); ++i) slot[i] = static_cast<std::uint8_t>(tag + i);
    slot[0] = static_cast<std::uint8_t>((tag << 2) | static_cast<int>(kind));
    return slot;
}

TEST(rtp_packetizer, FramesBecomePacketsAReceiverReadsBack) {
    packetizer_settings settings;
    settings.frames_per_packet = 3;
    settings.payload_type = 98;
    settings.ssrc = 0xfeedf00d;
    settings.first_sequence = 65534;
    settings.first_timestamp = 0xffffff00u;
    rtp_packetizer packetizer(settings);

    // 0-2 speech (one packet), 3 SID then 4 untransmitted (a short packet),
    // 5 untransmitted (nothing to close), 6-7 speech left at the end.
    const frame_kind kinds[] = {frame_kind::speech_6k3, frame_kind::speech_5k3, frame_kind::speech_6k3,
                                frame_kind::sid,        frame_kind::untransmitted, frame_kind::untransmitted,
                                frame_kind::speech_6k3, frame_kind::speech_6k3};
    std::vector<frame_slot> frames;
    std::vector<outgoing_packet> packets;
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        frames.push_back(frame_of(kinds[i], static_cast<std::uint8_t>(i + 1)));
        if (auto packet = packetizer.add(frames.back())) packets.push_back(std::move(*packet));
        // Only frames 2 (third of a full packet) and 4 (an untransmitted
        // frame after the SID) close a packet.
        EXPECT_EQ(packets.size(), i < 2 ? 0u : i < 4 ? 1u : 2u) << "after frame " << i;
    }
    auto last = packetizer.finish();
    ASSERT_TRUE(last);
    packets.push_back(std::move(*last));
    EXPECT_FALSE(packetizer.finish());

    struct expected {
        std::uint64_t first_frame;
        std::size_t frames;
        std::uint16_t sequence;
        bool marker;
        std::size_t payload_bytes;
    };
    const expected wanted[] = {{0, 3, 65534, true, 24 + 20 + 24}, {3, 1, 65535, false, 4}, {6, 2, 0, true, 48}};
    ASSERT_EQ(packets.size(), std::size(wanted));
    for (std::size_t p = 0; p < packets.size(); ++p) {
        SCOPED_TRACE(p);
        rtp_packet read;
        ASSERT_EQ(parse_rtp_packet(packets[p].datagram, read), rtp_parse_result::ok);
        EXPECT_EQ(packets[p].first_frame, wanted[p].first_frame);
        EXPECT_EQ(packets[p].frames, wanted[p].frames);
        EXPECT_EQ(packets[p].sequence, wanted[p].sequence);
        EXPECT_EQ(read.sequence, wanted[p].sequence);
        EXPECT_EQ(packets[p].marker, wanted[p].marker);
        EXPECT_EQ(read.marker, wanted[p].marker);
        EXPECT_EQ(read.payload_type, 98);
        EXPECT_EQ(read.ssrc, 0xfeedf00du);
        // 240 units per frame from the first, wrapping past 2^32.
        EXPECT_EQ(read.timestamp, static_cast<std::uint32_t>(0xffffff00u + 240u * wanted[p].first_frame));
        // The payload is each frame's meaningful bytes, in order.
        std::vector<std::uint8_t> payload;
        for (std::size_t f = wanted[p].first_frame; f < wanted[p].first_frame + wanted[p].frames; ++f) {
            payload.insert(payload.end(), frames[f].begin(),
                           frames[f].begin() + static_cast<std::ptrdiff_t>(meaningful_bytes(kinds[f])));
        }
        EXPECT_EQ(std::vector<std::uint8_t>(read.payload.begin(), read.payload.end()), payload);
        EXPECT_EQ(payload.size(), wanted[p].payload_bytes);
    }
}

}  // namespace
}  // namespace g723::rtp
