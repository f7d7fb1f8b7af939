// SPDX-License-Identifier: BSD-2-Clause
// The Wireshark codec plugin's payload splitting and decoding on arbitrary
// bytes, as a stream of RTP payloads through one decoder: the input's first
// byte picks the postfilter, then each payload is a length byte and that
// many bytes (the last one cut by the end of the input). Each payload lies
// alone on the heap (a read beyond it is caught) and decodes into a buffer
// of exactly the samples the count promised (a write beyond it is caught).
// Checks that the frames tile the payload, each as long as its header code
// says and only the last one cut short; that every frame gives 240 samples
// and the cut and 5.3 kbit/s frames are among the concealed ones; and that
// the decoder's state stays finite.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/finite_state.h"
#include "fuzz/fuzz_check.h"
#include "g723/g723.h"
#include "media/codec/payload_frames.h"

namespace {

constexpr std::size_t kFrameBytes[4] = {24, 20, 4, 1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    g723_decoder* decoder = nullptr;
    G723_FUZZ_CHECK(g723_decoder_open(&decoder) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_set_filter_mode(decoder, data[0] & 1) == g723_ok);

    for (std::size_t at = 1; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        const auto payload = std::make_unique<uint8_t[]>(length > 0 ? length : 1);
        std::memcpy(payload.get(), data + at + 1, length);
        at += 1 + length;

        const std::size_t count = g723_payload_frame_count(payload.get(), length);
        G723_FUZZ_CHECK((length == 0) == (count == 0) && count <= length);
        std::size_t walked = 0, covered = 0, must_conceal = 0;
        g723_payload_frame frame;
        while (g723_payload_frame_at(payload.get(), length, covered, &frame)) {
            G723_FUZZ_CHECK(frame.offset == covered);
            G723_FUZZ_CHECK(frame.needed == kFrameBytes[payload[covered] & 3]);
            G723_FUZZ_CHECK(frame.present >= 1 && frame.present <= frame.needed);
            G723_FUZZ_CHECK(frame.present == frame.needed || covered + frame.present == length);
            must_conceal += frame.present < frame.needed || (payload[covered] & 3) == 1;
            covered += frame.present;
            ++walked;
        }
        G723_FUZZ_CHECK(walked == count && covered == length);

        const auto samples = std::make_unique<int16_t[]>(count * G723_FRAME_SAMPLES + 1);
        std::size_t damaged = count + 1;
        const std::size_t decoded =
            g723_payload_decode(decoder, payload.get(), length, samples.get(), count, &damaged);
        G723_FUZZ_CHECK(decoded == count);
        G723_FUZZ_CHECK(damaged >= must_conceal && damaged <= count);
        G723_FUZZ_CHECK(g723::fuzz::state_finite(*decoder));
    }
    G723_FUZZ_CHECK(g723_decoder_close(&decoder) == g723_ok);
    return 0;
}
