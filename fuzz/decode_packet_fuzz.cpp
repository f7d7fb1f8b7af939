// SPDX-License-Identifier: BSD-2-Clause
// g723_decode_packet on arbitrary byte counts: the input is cut into packet
// calls of lengths chosen by the input (negative, short of a slot, any number
// of whole slots with a ragged tail), each with its erasure flag. A second
// decoder takes the same slots one at a time through g723_decode_frame; the
// packet calls must consume exactly the whole slots, produce 240 samples per
// slot, fail exactly when a frame failed, and agree with the frame calls
// sample for sample.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/finite_state.h"
#include "fuzz/fuzz_check.h"
#include "g723/g723.h"

namespace {

constexpr int kMostCalls = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g723_decoder* packets = nullptr;
    g723_decoder* frames = nullptr;
    G723_FUZZ_CHECK(g723_decoder_open(&packets) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_open(&frames) == g723_ok);
    const int32_t filter_mode = in.ConsumeBool() ? 1 : 0;
    G723_FUZZ_CHECK(g723_decoder_set_filter_mode(packets, filter_mode) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_set_filter_mode(frames, filter_mode) == g723_ok);

    for (int call = 0; call < kMostCalls && in.remaining_bytes() > 0; ++call) {
        const uint8_t control = in.ConsumeIntegral<uint8_t>();
        const int32_t lost = (control & 0x0c) == 0x0c ? in.ConsumeIntegral<int32_t>() : (control & 0x0c) == 0x08;
        const auto available = static_cast<int32_t>(in.remaining_bytes() > 4096 ? 4096 : in.remaining_bytes());
        int32_t length = 0;
        switch (control & 3) {
            case 0: length = available; break;
            case 1: length = in.ConsumeIntegralInRange<int32_t>(INT32_MIN, 0); break;
            default: length = in.ConsumeIntegralInRange<int32_t>(0, available); break;
        }
        const std::size_t given = length > 0 ? static_cast<std::size_t>(length) : 0;
        // The packet alone on the heap, exactly as long as the count says.
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(given);
        const auto packet = std::make_unique<uint8_t[]>(given);
        if (!bytes.empty()) std::memcpy(packet.get(), bytes.data(), bytes.size());
        const std::size_t slots = given / G723_SLOT_BYTES;
        auto samples = std::make_unique<int16_t[]>(slots * G723_FRAME_SAMPLES);

        int32_t in_length = length, out_count = -1;
        const g723_result r = g723_decode_packet(packets, packet.get(), &in_length, samples.get(), lost, &out_count);
        G723_FUZZ_CHECK(in_length == static_cast<int32_t>(slots * G723_SLOT_BYTES));
        G723_FUZZ_CHECK(out_count == static_cast<int32_t>(slots * G723_FRAME_SAMPLES));
        G723_FUZZ_CHECK(r == g723_ok || r == g723_frame_invalid);

        bool any_failed = false;
        for (std::size_t s = 0; s < slots; ++s) {
            int16_t expected[G723_FRAME_SAMPLES];
            int32_t count = -1;
            const g723_result fr =
                g723_decode_frame(frames, packet.get() + s * G723_SLOT_BYTES, expected, lost, &count);
            G723_FUZZ_CHECK(count == G723_FRAME_SAMPLES);
            any_failed = any_failed || fr != g723_ok;
            G723_FUZZ_CHECK(std::memcmp(expected, samples.get() + s * G723_FRAME_SAMPLES, sizeof expected) == 0);
        }
        G723_FUZZ_CHECK(any_failed == (r == g723_frame_invalid));
        G723_FUZZ_CHECK(g723::fuzz::state_finite(*packets));
    }
    G723_FUZZ_CHECK(g723_decoder_close(&packets) == g723_ok);
    G723_FUZZ_CHECK(g723_decoder_close(&frames) == g723_ok);
    return 0;
}
