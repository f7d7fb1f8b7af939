// SPDX-License-Identifier: BSD-2-Clause
// Silence compression saves bits on real material: the bundled speech sample
// (natural pauses, digital silence around it) and the same sample over low
// background noise, coded with one SID per pause and with SID updates. The
// shares of SID and untransmitted frames and the average bit rate, counting
// 24, 4 and 1 bytes per 30 ms frame, are printed and recorded.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "g723/g723.h"
#include "g723/tables/codec_constants.h"
#include "tests/codec/silence_test_signals.h"

namespace g723 {
namespace {

struct rate {
    int frames = 0, speech = 0, sid = 0, untransmitted = 0;
    double bits_per_second() const {
        return (24.0 * speech + 4.0 * sid + 1.0 * untransmitted) * 8.0 / (0.030 * frames);
    }
};

rate measure(const std::vector<int16_t>& signal, int32_t single_sid) {
    g723_encoder* enc = nullptr;
    EXPECT_EQ(g723_encoder_open(&enc), g723_ok);
    EXPECT_EQ(g723_encoder_set_vad_mode(enc, 1, single_sid), g723_ok);
    rate r;
    for (size_t start = 0; start + kFrameSamples <= signal.size(); start += kFrameSamples) {
        std::array<uint8_t, kSlotBytes> slot;
        int32_t length = 0;
        g723_encode_frame(enc, signal.data() + start, slot.data(), &length);
        ++r.frames;
        switch (slot[0] & 3) {
            case 0: ++r.speech; break;
            case 2: ++r.sid; break;
            default: ++r.untransmitted; break;
        }
    }
    g723_encoder_close(&enc);
    return r;
}

void report(const std::string& name, const rate& r) {
    std::printf("[ figures  ] %-28s %4d frames: speech %5.1f%%, SID %5.1f%%, untransmitted %5.1f%%, %6.0f bit/s\n",
                name.c_str(), r.frames, 100.0 * r.speech / r.frames, 100.0 * r.sid / r.frames,
                100.0 * r.untransmitted / r.frames, r.bits_per_second());
    ::testing::Test::RecordProperty(name + " SID frames", r.sid);
    ::testing::Test::RecordProperty(name + " untransmitted frames", r.untransmitted);
    ::testing::Test::RecordProperty(name + " bit/s", static_cast<int>(r.bits_per_second() + 0.5));
}

TEST(SilenceBitRate, SpeechWithPauses) {
    const std::vector<int16_t> clean = test::speech_sample();
    ASSERT_GE(clean.size(), 100u * kFrameSamples) << "the bundled speech sample is missing";
    const std::vector<int16_t> noisy = test::add_noise(clean, 30.0);  // about -61 dBFS
    for (int32_t single_sid : {1, 0}) {
        const std::string policy = single_sid ? " (single SID)" : " (SID updates)";
        const rate a = measure(clean, single_sid);
        const rate b = measure(noisy, single_sid);
        report("speech" + policy, a);
        report("speech + noise" + policy, b);
        for (const rate& r : {a, b}) {
            EXPECT_GT(r.sid, 0);
            EXPECT_GT(r.untransmitted, r.sid);
            // Full-rate coding would take 6400 bit/s in 24-byte slots.
            EXPECT_LT(r.bits_per_second(), 6400.0 * 0.9);
        }
    }
}

}  // namespace
}  // namespace g723
