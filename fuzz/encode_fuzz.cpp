// SPDX-License-Identifier: BSD-2-Clause
// The encoder on arbitrary PCM with every setting switched between frames.
//
// The input's front is the PCM (16-bit little-endian samples, 240 a frame);
// one control byte per frame from the input's back switches the high-pass
// filter and silence compression, resets, tries refused settings, and scales
// the frame down so that pauses are as easy to reach as speech. Checks: two
// encoders agree byte for byte (one through the frame driver, one through the
// public call); every slot is a well-formed frame the encoder may write
// (6.3 kbit/s speech, SID or untransmitted, zero beyond its meaningful bytes)
// that a decoder takes without complaint; that decoder, without postfilter,
// reproduces the encoder's own synthesis sample for sample and keeps the
// same excitation, filter memories and LSPs (the two stay in step); all state
// stays finite.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "fuzz/finite_state.h"
#include "fuzz/fuzz_check.h"
#include "g723/decoder/decoder_state.h"
#include "g723/encoder/encode_frame.h"
#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"

namespace {

using g723::kFrameSamples;
using g723::kSlotBytes;

constexpr int kMostFrames = 200;

int16_t to_pcm(float v) {
    // The decoder's output conversion: round half away from zero, clamped.
    return static_cast<int16_t>(std::round(std::clamp(double(v), -32767.5, 32766.5)));
}

// The excitation slot of the frame a record has just handled.
template <typename Record>
std::span<const float, kFrameSamples> last_excitation(const Record& record) {
    return std::span<const float, kFrameSamples>(
        record.excitation_buffer.data() + g723::kExcitationPast + kFrameSamples * (record.frame_counter - 1),
        kFrameSamples);
}

// Applies the control byte's settings to both encoders, and keeps the
// decoder paired with them: an encoder reset starts a new stream.
void switch_settings(uint8_t control, g723_encoder* a, g723_encoder* b, g723_decoder* decoder) {
    if (control & 0x08) {
        int32_t mode = -1;
        G723_FUZZ_CHECK(g723_encoder_get_filter_mode(a, &mode) == g723_ok && (mode == 0 || mode == 1));
        G723_FUZZ_CHECK(g723_encoder_set_filter_mode(a, 1 - mode) == g723_ok);
        G723_FUZZ_CHECK(g723_encoder_set_filter_mode(b, 1 - mode) == g723_ok);
    }
    switch ((control >> 4) & 7) {
        case 1:
        case 2: {
            // Silence compression switched over, with either SID policy.
            int32_t mode = -1, single_sid = -1;
            G723_FUZZ_CHECK(g723_encoder_get_vad_mode(a, &mode, &single_sid) == g723_ok);
            const int32_t single = (control >> 4) & 1;
            G723_FUZZ_CHECK(g723_encoder_set_vad_mode(a, 1 - mode, single) == g723_ok);
            G723_FUZZ_CHECK(g723_encoder_set_vad_mode(b, 1 - mode, single) == g723_ok);
            break;
        }
        case 3:
            G723_FUZZ_CHECK(g723_encoder_reset(a) == g723_ok);
            G723_FUZZ_CHECK(g723_encoder_reset(b) == g723_ok);
            G723_FUZZ_CHECK(g723_decoder_reset(decoder) == g723_ok);
            break;
        case 4: {
            // Refused settings change nothing.
            int32_t mode = -1, single_sid = -1, rate = -1, length = -1;
            G723_FUZZ_CHECK(g723_encoder_set_filter_mode(a, -1) == g723_invalid_mode);
            G723_FUZZ_CHECK(g723_encoder_set_vad_mode(a, 7, 1) == g723_invalid_mode);
            G723_FUZZ_CHECK(g723_encoder_set_comp_rate(a, 1) == g723_not_supported);
            G723_FUZZ_CHECK(g723_encoder_get_comp_rate(a, &rate) == g723_not_supported && rate == 0);
            G723_FUZZ_CHECK(g723_encoder_get_vad_mode(a, &mode, &single_sid) == g723_ok);
            G723_FUZZ_CHECK(mode == 0 || mode == 1);
            G723_FUZZ_CHECK(g723_encoder_get_output_length(a, &length) == g723_ok && length == kSlotBytes);
            break;
        }
        case 5: {
            // Silence compression set again to the mode it already has.
            int32_t mode = -1, single_sid = -1;
            G723_FUZZ_CHECK(g723_encoder_get_vad_mode(a, &mode, &single_sid) == g723_ok);
            G723_FUZZ_CHECK(g723_encoder_set_vad_mode(a, mode, single_sid) == g723_ok);
            G723_FUZZ_CHECK(g723_encoder_set_vad_mode(b, mode, single_sid) == g723_ok);
            break;
        }
        default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g723_encoder* a = nullptr;
    g723_encoder* b = nullptr;
    g723_decoder* decoder = nullptr;
    G723_FUZZ_CHECK(g723_encoder_open(&a) == g723_ok);
    G723_FUZZ_CHECK(g723_encoder_open(&b) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_open(&decoder) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_set_filter_mode(decoder, 0) == g723_ok);

    for (int frame = 0; frame < kMostFrames && in.remaining_bytes() > 0; ++frame) {
        const uint8_t control = in.ConsumeIntegral<uint8_t>();
        switch_settings(control, a, b, decoder);

        // A short tail is padded with silence; the frame is scaled down by
        // 2^(control & 7).
        std::array<int16_t, kFrameSamples> pcm{};
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(2 * kFrameSamples);
        for (std::size_t n = 0; n + 1 < bytes.size(); n += 2) {
            const auto sample = static_cast<int16_t>(bytes[n] | bytes[n + 1] << 8);
            pcm[n / 2] = static_cast<int16_t>(sample >> (control & 7));
        }

        std::array<uint8_t, kSlotBytes> slot_a, slot_b;
        slot_b.fill(0xa5);
        std::array<float, kFrameSamples> synthesized;
        g723::encode_frame(*a, pcm, slot_a, synthesized);
        int32_t length = -1;
        G723_FUZZ_CHECK(g723_encode_frame(b, pcm.data(), slot_b.data(), &length) == g723_ok);
        G723_FUZZ_CHECK(length == kSlotBytes);
        G723_FUZZ_CHECK(slot_a == slot_b);

        // A frame this encoder writes: never 5.3 kbit/s, zero after its bytes.
        const int code = slot_a[0] & 3;
        G723_FUZZ_CHECK(code != 1);
        const std::size_t meaningful = code == 0 ? 24 : code == 2 ? 4 : 1;
        if (code == 3) G723_FUZZ_CHECK(slot_a[0] == 3);
        G723_FUZZ_CHECK(std::all_of(slot_a.begin() + meaningful, slot_a.end(), [](uint8_t v) { return v == 0; }));

        std::array<int16_t, kFrameSamples> decoded;
        int32_t count = -1;
        G723_FUZZ_CHECK(g723_decode_frame(decoder, slot_a.data(), decoded.data(), 0, &count) == g723_ok);
        G723_FUZZ_CHECK(count == kFrameSamples);
        for (int n = 0; n < kFrameSamples; ++n) G723_FUZZ_CHECK(decoded[n] == to_pcm(synthesized[n]));
        G723_FUZZ_CHECK(std::ranges::equal(last_excitation(*a), last_excitation(*decoder)));
        G723_FUZZ_CHECK(a->synthesis_memory == decoder->synthesis_memory);
        G723_FUZZ_CHECK(a->previous_lsp == decoder->previous_lsp);
        G723_FUZZ_CHECK(g723::fuzz::state_finite(*a));
        G723_FUZZ_CHECK(g723::fuzz::state_finite(*decoder));
    }
    G723_FUZZ_CHECK(g723_encoder_close(&a) == g723_ok);
    G723_FUZZ_CHECK(g723_encoder_close(&b) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_close(&decoder) == g723_ok);
    return 0;
}
