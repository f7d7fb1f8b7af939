// SPDX-License-Identifier: BSD-2-Clause
// SID and untransmitted frames in packets and at the decoder: every coded
// frame keeps its full 24-byte slot, packets of them decode like single
// frames, silence before any speech is quiet, and frames lost during
// silence continue the comfort noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "g723/decoder/decoder_state.h"
#include "g723/g723.h"
#include "tests/codec/silence_test_signals.h"

namespace g723 {
namespace {

std::vector<uint8_t> encode_packet(const std::vector<int16_t>& signal, int32_t single_sid) {
    g723_encoder* enc = nullptr;
    EXPECT_EQ(g723_encoder_open(&enc), g723_ok);
    EXPECT_EQ(g723_encoder_set_vad_mode(enc, 1, single_sid), g723_ok);
    std::vector<uint8_t> packet(signal.size() / kFrameSamples * kSlotBytes + 7, 0xAA);
    int32_t in_count = static_cast<int32_t>(signal.size());
    int32_t out_length = -1;
    EXPECT_EQ(g723_encode_packet(enc, signal.data(), &in_count, packet.data(), &out_length), g723_ok);
    EXPECT_EQ(in_count, static_cast<int32_t>(signal.size()));
    EXPECT_EQ(out_length, static_cast<int32_t>(signal.size() / kFrameSamples * kSlotBytes));
    EXPECT_EQ(packet.back(), 0xAA) << "nothing written beyond the slots";
    packet.resize(out_length);
    g723_encoder_close(&enc);
    return packet;
}

TEST(SilencePacket, SilenceFramesTravelInFullSlotsAndDecodeAsAPacket) {
    const std::vector<int16_t> signal =
        test::whole_frames(test::add_noise(test::speech_sample(), 8.0));
    ASSERT_GE(signal.size(), 100u * kFrameSamples) << "the bundled speech sample is missing";
    for (int32_t single_sid : {1, 0}) {
        const std::vector<uint8_t> packet = encode_packet(signal, single_sid);
        const size_t frames = packet.size() / kSlotBytes;
        int sid = 0, untransmitted = 0;
        for (size_t f = 0; f < frames; ++f) {
            const uint8_t* slot = packet.data() + f * kSlotBytes;
            const int header = slot[0] & 3;
            ASSERT_NE(header, 1);
            const size_t meaningful = header == 0 ? 24 : header == 2 ? 4 : 1;
            for (size_t b = meaningful; b < kSlotBytes; ++b) ASSERT_EQ(slot[b], 0) << "frame " << f << " byte " << b;
            if (header == 3) {
                EXPECT_EQ(slot[0], 0x03);
                ++untransmitted;
            }
            sid += header == 2;
        }
        EXPECT_GT(sid, 0);
        EXPECT_GT(untransmitted, 0);

        // One packet call against one frame call per slot.
        g723_decoder* whole = nullptr;
        g723_decoder* single = nullptr;
        ASSERT_EQ(g723_decoder_open(&whole), g723_ok);
        ASSERT_EQ(g723_decoder_open(&single), g723_ok);
        std::vector<int16_t> from_packet(frames * kFrameSamples + 1, 0x5555);
        int32_t in_length = static_cast<int32_t>(packet.size());
        int32_t out_count = -1;
        EXPECT_EQ(g723_decode_packet(whole, packet.data(), &in_length, from_packet.data(), 0, &out_count), g723_ok);
        EXPECT_EQ(in_length, static_cast<int32_t>(packet.size()));
        EXPECT_EQ(out_count, static_cast<int32_t>(frames * kFrameSamples));
        EXPECT_EQ(from_packet.back(), 0x5555);
        for (size_t f = 0; f < frames; ++f) {
            std::array<int16_t, kFrameSamples> out;
            int32_t count = 0;
            ASSERT_EQ(g723_decode_frame(single, packet.data() + f * kSlotBytes, out.data(), 0, &count), g723_ok);
            ASSERT_TRUE(std::equal(out.begin(), out.end(), from_packet.begin() + f * kFrameSamples)) << f;
        }
        g723_decoder_close(&whole);
        g723_decoder_close(&single);
    }
}

TEST(SilencePacket, UntransmittedFramesBeforeAnySpeechAreQuiet) {
    g723_decoder* dec = nullptr;
    ASSERT_EQ(g723_decoder_open(&dec), g723_ok);
    const std::array<uint8_t, kSlotBytes> untransmitted = {0x03};
    for (int round = 0; round < 2; ++round) {
        for (int frame = 0; frame < 5; ++frame) {
            std::array<int16_t, kFrameSamples> out;
            out.fill(12345);
            int32_t count = 0;
            EXPECT_EQ(g723_decode_frame(dec, untransmitted.data(), out.data(), 0, &count), g723_ok);
            EXPECT_EQ(count, kFrameSamples);
            for (int16_t s : out) ASSERT_EQ(s, 0) << "round " << round << " frame " << frame;
            EXPECT_TRUE(std::isfinite(dec->decoder_cng_state.noise_gain));
        }
        // The same after a reset of a decoder that has made noise.
        const std::array<uint8_t, kSlotBytes> sid = {0x6A, 0x12, 0x34, 0xFC};  // gain index 63
        std::array<int16_t, kFrameSamples> out;
        int32_t count = 0;
        g723_decode_frame(dec, sid.data(), out.data(), 0, &count);
        ASSERT_NE(*std::max_element(out.begin(), out.end()), 0);
        ASSERT_EQ(g723_decoder_reset(dec), g723_ok);
    }
    g723_decoder_close(&dec);
}

double rms(const std::array<int16_t, kFrameSamples>& x) {
    double e = 0.0;
    for (int16_t s : x) e += double(s) * s;
    return std::sqrt(e / kFrameSamples);
}

TEST(SilencePacket, FramesLostDuringSilenceContinueTheComfortNoise) {
    g723_decoder* dec = nullptr;
    ASSERT_EQ(g723_decoder_open(&dec), g723_ok);
    // A SID with gain index 40 (level 160), then lost frames.
    const std::array<uint8_t, kSlotBytes> sid = {0x02, 0x00, 0x00, 40 << 2};
    std::array<int16_t, kFrameSamples> out;
    int32_t count = 0;
    ASSERT_EQ(g723_decode_frame(dec, sid.data(), out.data(), 0, &count), g723_ok);
    const double sid_rms = rms(out);
    ASSERT_GT(sid_rms, 0.0);
    for (int frame = 0; frame < 6; ++frame) {
        g723_decode_frame(dec, nullptr, out.data(), 1, &count);
        EXPECT_EQ(count, kFrameSamples);
        EXPECT_EQ(dec->erasure_count, 0) << "silence is not concealed as speech";
        EXPECT_EQ(dec->decoder_cng_state.previous_frame_type, 0);
        EXPECT_GT(rms(out), 0.2 * sid_rms) << "frame " << frame << ": the noise goes on";
        EXPECT_EQ(dec->decoder_cng_state.noise_gain, 160.0f);
    }
    g723_decoder_close(&dec);
}

}  // namespace
}  // namespace g723
