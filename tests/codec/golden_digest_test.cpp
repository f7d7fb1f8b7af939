// SPDX-License-Identifier: BSD-2-Clause
// Golden digests: the exact coded bit-stream and decoded samples of the
// bundled speech sample. Every search result, tie rule and order of summation
// reaches these bytes, so any change to them shows here. A change that is
// meant to alter the coded frames or the output (a fix) updates the digests in
// the same commit and says why.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/codec_test_support.h"

namespace {

uint64_t fnv1a(const uint8_t* bytes, std::size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

struct coded_sample {
    uint64_t bitstream;
    uint64_t decoded;
};

// Codes the sample with the given settings and decodes it frame by frame
// through the public calls, marking every lost_every-th frame lost (0: none).
coded_sample code_sample(int32_t vad_mode, int32_t postfilter, int lost_every = 0) {
    const std::vector<int16_t> x = g723::test::whole_frames(g723::test::speech_sample());
    g723_encoder* encoder = nullptr;
    g723_decoder* decoder = nullptr;
    g723_encoder_open(&encoder);
    g723_encoder_set_vad_mode(encoder, vad_mode, 1);
    g723_decoder_open(&decoder);
    g723_decoder_set_filter_mode(decoder, postfilter);
    std::vector<uint8_t> coded;
    std::vector<int16_t> y(x.size());
    for (std::size_t f = 0; f < x.size(); f += G723_FRAME_SAMPLES) {
        uint8_t slot[G723_SLOT_BYTES];
        int32_t length = 0, count = 0;
        g723_encode_frame(encoder, &x[f], slot, &length);
        const int frame = static_cast<int>(f / G723_FRAME_SAMPLES);
        const int32_t lost = lost_every != 0 && frame % lost_every == lost_every - 1;
        g723_decode_frame(decoder, slot, &y[f], lost, &count);
        coded.insert(coded.end(), slot, slot + G723_SLOT_BYTES);
    }
    g723_encoder_close(&encoder);
    g723_decoder_close(&decoder);
    return {fnv1a(coded.data(), coded.size()),
            fnv1a(reinterpret_cast<const uint8_t*>(y.data()), y.size() * sizeof(int16_t))};
}

TEST(GoldenDigest, SpeechSampleCodesAndDecodesToTheRecordedBytes) {
    ASSERT_FALSE(g723::test::speech_sample().empty());
    const coded_sample speech_only = code_sample(0, 0);
    EXPECT_EQ(speech_only.bitstream, 0xa8075af84e255469ull) << std::hex << speech_only.bitstream;
    EXPECT_EQ(speech_only.decoded, 0x0d346d18ff8caa19ull) << std::hex << speech_only.decoded;
    const coded_sample postfiltered = code_sample(0, 1);
    EXPECT_EQ(postfiltered.decoded, 0x7892146706f36e01ull) << std::hex << postfiltered.decoded;
    const coded_sample silence_compressed = code_sample(1, 1);
    EXPECT_EQ(silence_compressed.bitstream, 0x87d1b6d2902a19f8ull) << std::hex << silence_compressed.bitstream;
    EXPECT_EQ(silence_compressed.decoded, 0x2a0cb45b7883eaafull) << std::hex << silence_compressed.decoded;
    const coded_sample concealed = code_sample(1, 1, 7);
    EXPECT_EQ(concealed.decoded, 0xf2b357bf9c2570cdull) << std::hex << concealed.decoded;
}

}  // namespace
