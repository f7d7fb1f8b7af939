// SPDX-License-Identifier: BSD-2-Clause
// The frame unpacker on arbitrary bytes: one frame per input, exactly its
// meaningful bytes on the heap (a read beyond them is caught), the erasure
// flag from the input's back. Checks the result against the header code, the
// ranges of every field a valid frame hands to the decoder, and that packing
// a valid frame's fields writes the same bits back.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "g723/bitstream/frame_packing.h"
#include "g723/g723.h"
#include "g723/tables/acb_gain_tables.h"

namespace {

using namespace g723;

constexpr std::array<std::size_t, 4> kFrameBytes{24, 20, 4, 1};

void check_speech_fields(const frame_params& p) {
    for (int h = 0; h < 2; ++h) G723_FUZZ_CHECK(p.open_loop_lag[h] >= 18 && p.open_loop_lag[h] <= 141);
    G723_FUZZ_CHECK(p.lsp_index >= 0 && p.lsp_index <= 0xffffff);
    for (int k = 0; k < kSubframes; ++k) {
        const subframe_params& s = p.subframes[k];
        const bool short_lag = p.open_loop_lag[k / 2] < kAcbLongLagThreshold;
        G723_FUZZ_CHECK(s.lag_offset >= 0 && s.lag_offset <= 3);
        if (k % 2 == 0) G723_FUZZ_CHECK(s.lag_offset == 1);
        G723_FUZZ_CHECK(s.acb_gain_index >= 0 && s.acb_gain_index < (short_lag ? kAcbGainRows85 : kAcbGainRows170));
        G723_FUZZ_CHECK(s.fixed_gain_index >= 0 && s.fixed_gain_index < 24);
        G723_FUZZ_CHECK(s.grid == 0 || s.grid == 1);
        G723_FUZZ_CHECK(s.pulse_train == 0 || (s.pulse_train == 1 && short_lag));
        G723_FUZZ_CHECK(s.signs >= 0 && s.signs < (k % 2 == 0 ? 64 : 32));
        G723_FUZZ_CHECK(s.positions >= 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FuzzedDataProvider in(data, size);
    std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(1);
    const int code = bytes[0] & 3;
    const std::vector<uint8_t> rest = in.ConsumeBytes<uint8_t>(kFrameBytes[code] - 1);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    bytes.resize(kFrameBytes[code], 0);
    bytes.shrink_to_fit();
    const int32_t lost = in.remaining_bytes() > 0 ? in.ConsumeIntegral<int32_t>() : 0;
    const bool erased = (lost & 0xffff) != 0;

    frame_params params{};
    params.lost = 12345;
    const unpacked_frame f = unpack_frame(params, erased ? nullptr : bytes.data(), lost, 0);
    G723_FUZZ_CHECK(f.result == g723_ok || f.result == g723_frame_not_supported || f.result == g723_frame_invalid);
    if (erased) {
        G723_FUZZ_CHECK(params.lost != 0);
        return 0;
    }
    G723_FUZZ_CHECK((params.lost != 0) == (f.result != g723_ok));
    constexpr std::array<int32_t, 4> kTypes{kFrameSpeech, kFrameSpeech, kFrameSid, kFrameUntransmitted};
    G723_FUZZ_CHECK(f.frame_type == kTypes[code]);
    if (code == 1) G723_FUZZ_CHECK(f.result != g723_ok);
    if (code >= 2) G723_FUZZ_CHECK(f.result == g723_ok);
    if (f.result != g723_ok) return 0;

    // A valid frame packs back to its own bits: all of them but the reserved
    // bit 96 of a speech frame, and the unused bits of an untransmitted one.
    std::array<uint8_t, kSlotBytes> packed;
    pack_frame(params, packed, f.frame_type, 0);
    std::array<uint8_t, kSlotBytes> expected{};
    std::copy(bytes.begin(), bytes.end(), expected.begin());
    if (code == 0) {
        check_speech_fields(params);
        expected[12] &= 0xfe;
    } else if (code == 2) {
        G723_FUZZ_CHECK(params.lsp_index >= 0 && params.lsp_index <= 0xffffff);
        G723_FUZZ_CHECK(params.subframes[0].fixed_gain_index >= 0 && params.subframes[0].fixed_gain_index < 64);
    } else {
        expected[0] = 3;
    }
    G723_FUZZ_CHECK(packed == expected);
    return 0;
}
