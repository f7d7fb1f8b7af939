// SPDX-License-Identifier: BSD-2-Clause
// g723_decode_frame on arbitrary frames and erasure flags, with the
// postfilter switched and the decoder reset between frames.
//
// The input's front is a stream of compact frames (each as long as its first
// byte's header code says), so that bit-stream files serve as seeds; one
// control byte per frame comes from the input's back. Two decoders take the
// same calls and must agree sample for sample; every call gives 240 samples
// and a valid result, and the decoder's state stays finite.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <vector>

#include "fuzz/finite_state.h"
#include "fuzz/fuzz_check.h"
#include "g723/g723.h"

namespace {

constexpr int kMostFrames = 400;

// Meaningful bytes of a frame by its header code (a 5.3 kbit/s frame is read
// no further than its first 12 bytes, but 20 travel).
constexpr std::array<std::size_t, 4> kFrameBytes{24, 20, 4, 1};

// The erasure flag chosen by a control byte: none, plain, any 32-bit value,
// or one whose low 16 bits are zero and which therefore counts as none.
int32_t erasure_flag(uint8_t control, FuzzedDataProvider& in) {
    switch (control & 3) {
        case 0: return 0;
        case 1: return 1;
        case 2: return in.ConsumeIntegral<int32_t>();
        default: return static_cast<int32_t>(in.ConsumeIntegral<uint16_t>() | 1u) << 16;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g723_decoder* a = nullptr;
    g723_decoder* b = nullptr;
    G723_FUZZ_CHECK(g723_decoder_open(&a) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_open(&b) == g723_ok);

    std::array<int16_t, G723_FRAME_SAMPLES> out_a, out_b;
    for (int frame = 0; frame < kMostFrames && in.remaining_bytes() > 0; ++frame) {
        const uint8_t control = in.ConsumeIntegral<uint8_t>();
        if (control & 0x80) {
            int32_t mode = -1;
            G723_FUZZ_CHECK(g723_decoder_get_filter_mode(a, &mode) == g723_ok);
            G723_FUZZ_CHECK(mode == 0 || mode == 1);
            G723_FUZZ_CHECK(g723_decoder_set_filter_mode(a, 1 - mode) == g723_ok);
            G723_FUZZ_CHECK(g723_decoder_set_filter_mode(b, 1 - mode) == g723_ok);
        }
        if ((control & 0x70) == 0x70) {
            G723_FUZZ_CHECK(g723_decoder_reset(a) == g723_ok);
            G723_FUZZ_CHECK(g723_decoder_reset(b) == g723_ok);
        }
        if ((control & 0x70) == 0x60) {
            // A mode other than 0 or 1 is refused and changes nothing.
            G723_FUZZ_CHECK(g723_decoder_set_filter_mode(a, 2 + (control & 0x0c)) == g723_invalid_mode);
        }
        const int32_t lost = erasure_flag(control, in);
        const bool erased = (lost & 0xffff) != 0;

        // Exactly the frame's meaningful bytes on the heap, so that a read
        // beyond them is caught; nothing at all for an erased frame, whose
        // bytes the decoder must not read.
        std::vector<uint8_t> frame_bytes;
        if (!erased) {
            frame_bytes = in.ConsumeBytes<uint8_t>(1);
            if (frame_bytes.empty()) break;
            const std::size_t length = kFrameBytes[frame_bytes[0] & 3];
            const std::vector<uint8_t> rest = in.ConsumeBytes<uint8_t>(length - 1);
            frame_bytes.insert(frame_bytes.end(), rest.begin(), rest.end());
            frame_bytes.resize(length, 0);
            frame_bytes.shrink_to_fit();
        }
        const uint8_t* frame_in = erased ? nullptr : frame_bytes.data();

        int32_t count_a = -1, count_b = -1;
        const g723_result ra = g723_decode_frame(a, frame_in, out_a.data(), lost, &count_a);
        const g723_result rb = g723_decode_frame(b, frame_in, out_b.data(), lost, &count_b);
        G723_FUZZ_CHECK(count_a == G723_FRAME_SAMPLES && count_b == G723_FRAME_SAMPLES);
        G723_FUZZ_CHECK(ra == g723_ok || ra == g723_frame_not_supported || ra == g723_frame_invalid);
        G723_FUZZ_CHECK(ra == rb);
        G723_FUZZ_CHECK(out_a == out_b);
        if (!erased && (frame_bytes[0] & 3) == 1) G723_FUZZ_CHECK(ra != g723_ok);
        if (!erased && (frame_bytes[0] & 3) >= 2) G723_FUZZ_CHECK(ra == g723_ok);
        G723_FUZZ_CHECK(g723::fuzz::state_finite(*a));
    }
    G723_FUZZ_CHECK(g723_decoder_close(&a) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_close(&b) == g723_ok);
    return 0;
}
