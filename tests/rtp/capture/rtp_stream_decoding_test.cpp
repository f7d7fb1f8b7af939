// SPDX-License-Identifier: BSD-2-Clause
// A captured stream decoded as the pcap command and the Python package
// decode it: every 30 ms frame's kind lies on the samples' time axis,
// agrees with the statistics, and segments start where the sender jumped.
#include "rtp/capture/rtp_stream_decoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "media/codec/codec_handles.h"

namespace g723::rtp {
namespace {

// Coded frames of a tone with a pause: speech, then an SID frame and
// untransmitted frames once the encoder hears the silence, then speech.
std::vector<frame_slot> tone_then_silence() {
    encoder_handle encoder({});
    std::vector<frame_slot> slots;
    std::vector<std::int16_t> pcm(frame_samples);
    for (int frame = 0; frame < 40; ++frame) {
        for (int i = 0; i < frame_samples; ++i) {
            const double t = (frame * frame_samples + i) / 8000.0;
            pcm[i] = frame < 12 || frame >= 32 ? static_cast<std::int16_t>(6000 * std::sin(2 * M_PI * 440 * t)) : 0;
        }
        frame_slot& slot = slots.emplace_back();
        std::int32_t length = 0;
        g723_encode_frame(encoder.get(), pcm.data(), slot.data(), &length);
    }
    return slots;
}

TEST(rtp_stream_decoding, FrameKindsLieOnTheSampleAxis) {
    const std::vector<frame_slot> slots = tone_then_silence();
    std::vector<captured_rtp_packet> packets;
    std::uint16_t sequence = 100;
    std::uint32_t timestamp = 0;
    for (std::size_t i = 0; i < slots.size(); ++i, timestamp += 240) {
        const frame_kind kind = kind_of(slots[i][0]);
        if (kind == frame_kind::untransmitted) continue;
        const std::size_t bytes = meaningful_bytes(kind);
        packets.push_back({i * 0.03, false, 4, sequence++, timestamp,
                           std::vector<std::uint8_t>(slots[i].begin(), slots[i].begin() + bytes)});
    }
    ASSERT_GT(packets.size(), 14u);
    ASSERT_LT(packets.size(), slots.size());  // the silence was compressed
    // Packet 3 never arrives; packet 5 carries a 5.3 kbit/s frame (its
    // kind bits changed), which the decoder conceals.
    packets.erase(packets.begin() + 3);
    packets[4].payload.resize(20);
    packets[4].payload[0] = static_cast<std::uint8_t>((packets[4].payload[0] & ~3) | 1);
    // The sender comes back ten minutes later on another clock: a new segment.
    const std::size_t resumed = packets.size();
    for (std::size_t i = 0; i < 3; ++i) {
        packets.push_back({600.0 + i * 0.03, false, 4, sequence++, 90'000'000 + 240 * static_cast<std::uint32_t>(i),
                           std::vector<std::uint8_t>(slots[i].begin(), slots[i].end())});
    }

    const decoded_stream stream = decode_rtp_stream(packets, 1, 4, true);
    const stream_statistics& s = stream.statistics;
    ASSERT_EQ(stream.frames.size() * frame_samples, stream.samples.size());
    ASSERT_EQ(stream.frames.size(), s.timeline_frames());
    const auto count = [&](decoded_frame kind) {
        return static_cast<std::uint64_t>(std::ranges::count(stream.frames, kind));
    };
    EXPECT_EQ(count(decoded_frame::lost), s.lost_frames);
    EXPECT_EQ(s.lost_frames, 1u);
    EXPECT_EQ(count(decoded_frame::concealed), s.not_supported_frames + s.invalid_frames);
    EXPECT_EQ(s.not_supported_frames, 1u);
    EXPECT_EQ(count(decoded_frame::sid), s.sid_frames);
    EXPECT_GE(s.sid_frames, 1u);
    EXPECT_EQ(count(decoded_frame::untransmitted), s.untransmitted_frames);
    EXPECT_EQ(count(decoded_frame::speech), s.frames - s.sid_frames - 1);
    // Frame by frame, in timeline order: what the sender coded, with the
    // lost frame where packet 3 was and the 5.3 kbit/s frame two later.
    std::vector<decoded_frame> expected;
    for (const frame_slot& slot : slots) {
        constexpr std::array by_kind{decoded_frame::speech, decoded_frame::concealed,
                                     decoded_frame::sid, decoded_frame::untransmitted};
        expected.push_back(by_kind[static_cast<std::size_t>(kind_of(slot[0]))]);
    }
    expected[3] = decoded_frame::lost;
    expected[5] = decoded_frame::concealed;
    expected.insert(expected.end(), 3, decoded_frame::speech);
    EXPECT_EQ(stream.frames, expected);

    // The decoder starts afresh where the sender came back.
    ASSERT_EQ(stream.segment_starts.size(), s.segments);
    EXPECT_EQ(stream.segment_starts, (std::vector<std::size_t>{0, slots.size()}));
    EXPECT_EQ(packets[resumed].timestamp, 90'000'000u);
    const std::vector<std::int16_t> fresh =
        decode_rtp_stream(std::span(packets).subspan(resumed), 1, 4, true).samples;
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(),
                           stream.samples.begin() + static_cast<std::ptrdiff_t>(slots.size() * frame_samples)));
}

}  // namespace
}  // namespace g723::rtp
