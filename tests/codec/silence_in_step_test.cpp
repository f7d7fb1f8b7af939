// SPDX-License-Identifier: BSD-2-Clause
// Encoder and decoder stay in step through silence: over speech, silence and
// speech again, the excitation that the encoder keeps for its own memories is
// the excitation that a decoder rebuilds from the coded frames, sample for
// sample, in SID, untransmitted and speech frames alike; and so are the
// synthesis filter's memories (decoder without postfilter), the LSP memories
// and the comfort-noise level and seed.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "g723/decoder/decoder_state.h"
#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"
#include "tests/codec/silence_test_signals.h"

namespace g723 {
namespace {

// Speech, a pause of digital silence, a pause of low noise, speech again.
std::vector<int16_t> speech_pause_speech() {
    const std::vector<int16_t> speech = test::speech_sample();
    if (speech.size() < 8000 * 5) return {};
    std::vector<int16_t> signal(speech.begin(), speech.begin() + 8000 * 2);
    signal.insert(signal.end(), 8000 * 3 / 2, 0);
    const std::vector<int16_t> hiss = test::add_noise(std::vector<int16_t>(8000, 0), 20.0);
    signal.insert(signal.end(), hiss.begin(), hiss.end());
    signal.insert(signal.end(), speech.begin() + 8000 * 2, speech.end());
    return test::whole_frames(signal);
}

// The excitation slot of the frame an instance has just handled.
template <typename Record>
const float* last_slot(const Record& record) {
    return record.excitation_buffer.data() + kExcitationPast + kFrameSamples * (record.frame_counter - 1);
}

struct frame_counts {
    int speech = 0, sid = 0, untransmitted = 0;
};

frame_counts run_in_step(int32_t single_sid) {
    const std::vector<int16_t> signal = speech_pause_speech();
    EXPECT_FALSE(signal.empty()) << "the bundled speech sample is missing";
    g723_encoder* enc = nullptr;
    g723_decoder* dec = nullptr;
    EXPECT_EQ(g723_encoder_open(&enc), g723_ok);
    EXPECT_EQ(g723_decoder_open(&dec), g723_ok);
    EXPECT_EQ(g723_encoder_set_vad_mode(enc, 1, single_sid), g723_ok);
    EXPECT_EQ(g723_decoder_set_filter_mode(dec, 0), g723_ok);  // synthesis output as the encoder sees it

    frame_counts counts;
    for (size_t start = 0; start < signal.size(); start += kFrameSamples) {
        const int frame = static_cast<int>(start / kFrameSamples);
        std::array<uint8_t, kSlotBytes> slot;
        int32_t length = 0, count = 0;
        std::array<int16_t, kFrameSamples> out;
        g723_encode_frame(enc, signal.data() + start, slot.data(), &length);
        EXPECT_EQ(g723_decode_frame(dec, slot.data(), out.data(), 0, &count), g723_ok);
        switch (slot[0] & 3) {
            case 0: ++counts.speech; break;
            case 2: ++counts.sid; break;
            case 3: ++counts.untransmitted; break;
            default: ADD_FAILURE() << "5.3 kbit/s header in frame " << frame;
        }
        const float* e = last_slot(*enc);
        const float* d = last_slot(*dec);
        for (int n = 0; n < kFrameSamples; ++n) {
            if (e[n] != d[n]) {
                ADD_FAILURE() << "frame " << frame << " (header " << (slot[0] & 3) << ") sample " << n
                              << ": encoder " << e[n] << ", decoder " << d[n];
                g723_encoder_close(&enc);
                g723_decoder_close(&dec);
                return counts;
            }
        }
        EXPECT_EQ(enc->previous_lsp, dec->previous_lsp) << "frame " << frame;
        EXPECT_EQ(enc->synthesis_memory, dec->synthesis_memory) << "frame " << frame;
        if ((slot[0] & 3) != 0) {
            EXPECT_EQ(enc->encoder_cng_state.noise_gain, dec->decoder_cng_state.noise_gain) << "frame " << frame;
            EXPECT_EQ(enc->encoder_cng_state.noise_seed, dec->decoder_cng_state.noise_seed) << "frame " << frame;
        }
    }
    g723_encoder_close(&enc);
    g723_decoder_close(&dec);
    return counts;
}

TEST(SilenceInStep, WithOneSidPerPauseAndWithSidUpdates) {
    const frame_counts single = run_in_step(1);
    EXPECT_GT(single.speech, 0);
    EXPECT_GT(single.sid, 0);
    EXPECT_GT(single.untransmitted, single.sid);

    const frame_counts updates = run_in_step(0);
    EXPECT_GT(updates.sid, single.sid) << "the pause moves from digital silence to noise";
    EXPECT_GT(updates.untransmitted, 0);
}

}  // namespace
}  // namespace g723
