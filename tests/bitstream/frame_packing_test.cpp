// SPDX-License-Identifier: BSD-2-Clause
#include "g723/bitstream/frame_packing.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>

#include "g723/g723.h"

namespace g723 {
namespace {

using slot = std::array<uint8_t, kSlotBytes>;

// Bit-at-a-time field access, written independently of the packer: frame bit
// k is bit k mod 8 of byte k / 8, fields least significant bit first.
uint32_t get_field(const slot& bytes, int start, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= static_cast<uint32_t>((bytes[(start + i) / 8] >> ((start + i) % 8)) & 1) << i;
    return value;
}

void set_field(slot& bytes, int start, int width, uint32_t value) {
    for (int i = 0; i < width; ++i) {
        const int bit = start + i;
        bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] & ~(1 << (bit % 8)));
        bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] | (((value >> i) & 1) << (bit % 8)));
    }
}

// A speech frame with in-range fields, built field by field in the 6.3 kbit/s
// layout. Gain words default to index 0; lags to the given codes.
slot speech_frame(uint32_t lag_code0, uint32_t lag_code1) {
    slot bytes{};
    set_field(bytes, 0, 2, 0);
    set_field(bytes, 2, 24, 0x123456);
    set_field(bytes, 26, 7, lag_code0);
    set_field(bytes, 35, 7, lag_code1);
    return bytes;
}

frame_params poisoned_params() {
    frame_params params;
    std::memset(&params, 0x5a, sizeof params);
    return params;
}

constexpr int32_t kPoison = 0x5a5a5a5a;

// The frame's bytes placed at the very end of a readable page, followed by an
// inaccessible page: any read beyond the frame's own length faults.
class guarded_frame {
public:
    guarded_frame() {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(p, MAP_FAILED);
        base_ = static_cast<uint8_t*>(p);
        EXPECT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
    }
    ~guarded_frame() { munmap(base_, 2 * page_); }
    guarded_frame(const guarded_frame&) = delete;
    guarded_frame& operator=(const guarded_frame&) = delete;

    const uint8_t* place(const slot& bytes, size_t length) {
        uint8_t* at = base_ + page_ - length;
        std::memcpy(at, bytes.data(), length);
        return at;
    }

private:
    size_t page_ = 0;
    uint8_t* base_ = nullptr;
};

frame_params random_speech_params(std::mt19937& rng) {
    auto pick = [&rng](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    frame_params params{};
    params.lsp_index = pick(0, 0xffffff);
    params.open_loop_lag = {pick(18, 141), pick(18, 141)};
    for (int k = 0; k < kSubframes; ++k) {
        subframe_params& sub = params.subframes[k];
        const bool short_lag = params.open_loop_lag[k / 2] < 58;
        sub.lag_offset = (k % 2 == 0) ? 1 : pick(0, 3);
        sub.acb_gain_index = pick(0, short_lag ? 84 : 169);
        sub.fixed_gain_index = pick(0, 23);
        sub.grid = pick(0, 1);
        sub.pulse_train = short_lag ? pick(0, 1) : 0;
        sub.signs = pick(0, k % 2 == 0 ? 63 : 31);
        sub.positions = pick(0, k % 2 == 0 ? 593774 : 142505);
    }
    return params;
}

void expect_same_speech_params(const frame_params& a, const frame_params& b) {
    EXPECT_EQ(a.lsp_index, b.lsp_index);
    EXPECT_EQ(a.open_loop_lag, b.open_loop_lag);
    for (int k = 0; k < kSubframes; ++k) {
        SCOPED_TRACE(k);
        const subframe_params& x = a.subframes[k];
        const subframe_params& y = b.subframes[k];
        EXPECT_EQ(x.lag_offset, y.lag_offset);
        EXPECT_EQ(x.acb_gain_index, y.acb_gain_index);
        EXPECT_EQ(x.fixed_gain_index, y.fixed_gain_index);
        EXPECT_EQ(x.grid, y.grid);
        EXPECT_EQ(x.pulse_train, y.pulse_train);
        EXPECT_EQ(x.signs, y.signs);
        EXPECT_EQ(x.positions, y.positions);
    }
}

TEST(FramePacking, UntransmittedFrameIsOneHeaderByte) {
    frame_params params = poisoned_params();
    slot out;
    out.fill(0xff);
    pack_frame(params, out, kFrameUntransmitted, 0);
    slot expected{};
    expected[0] = 0x03;
    EXPECT_EQ(out, expected);
}

TEST(FramePacking, SidFrameCarriesLspIndexAndGainInFourBytes) {
    frame_params params = poisoned_params();
    params.lsp_index = 0xabcdef;
    params.subframes[0].fixed_gain_index = 45;
    slot out;
    out.fill(0xff);
    pack_frame(params, out, kFrameSid, 0);
    EXPECT_EQ(out[0] & 0x03, 0x02);
    EXPECT_EQ(get_field(out, 2, 24), 0xabcdefu);
    EXPECT_EQ(get_field(out, 26, 6), 45u);
    for (int i = 4; i < kSlotBytes; ++i) EXPECT_EQ(out[i], 0) << "byte " << i;
}

TEST(FramePacking, SpeechFieldsSitAtTheirBitPositions) {
    // One field at a time set to a value using (nearly) all its bits on a
    // frame of zero fields: the field must appear at its own bit range and
    // nowhere else. Half frame 1 has lag 58 (code 40) so that subframes 2 and
    // 3 use the 170-row codebook and bit 11 of their gain words.
    struct field_case {
        const char* name;
        int start;
        int width;
        uint32_t value;
        void (*set)(frame_params&);
    };
    const field_case cases[] = {
        {"lsp_index", 2, 24, 0xffffff, [](frame_params& p) { p.lsp_index = 0xffffff; }},
        {"lag 0", 26, 7, 123, [](frame_params& p) { p.open_loop_lag[0] = 141; }},
        {"lag offset 1", 33, 2, 3, [](frame_params& p) { p.subframes[1].lag_offset = 3; }},
        {"lag 1", 35, 7, 123, [](frame_params& p) { p.open_loop_lag[1] = 141; }},
        {"lag offset 3", 42, 2, 3, [](frame_params& p) { p.subframes[3].lag_offset = 3; }},
        {"gain 0", 44, 12, 2048 + 84 * 24 + 23,
         [](frame_params& p) { p.subframes[0] = {1, 84, 23, 0, 1, 0, 0}; }},
        {"gain 1", 56, 12, 2048 + 83 * 24 + 7,
         [](frame_params& p) { p.subframes[1] = {0, 83, 7, 0, 1, 0, 0}; }},
        {"gain 2", 68, 12, 169 * 24 + 23,
         [](frame_params& p) { p.subframes[2] = {1, 169, 23, 0, 0, 0, 0}; }},
        {"gain 3", 80, 12, 168 * 24 + 15,
         [](frame_params& p) { p.subframes[3] = {0, 168, 15, 0, 0, 0, 0}; }},
        {"grid 0", 92, 1, 1, [](frame_params& p) { p.subframes[0].grid = 1; }},
        {"grid 1", 93, 1, 1, [](frame_params& p) { p.subframes[1].grid = 1; }},
        {"grid 2", 94, 1, 1, [](frame_params& p) { p.subframes[2].grid = 1; }},
        {"grid 3", 95, 1, 1, [](frame_params& p) { p.subframes[3].grid = 1; }},
        {"high parts", 97, 13, 8099, [](frame_params& p) {
             p.subframes[0].positions = 9 << 16;
             p.subframes[1].positions = 8 << 14;
             p.subframes[2].positions = 9 << 16;
             p.subframes[3].positions = 8 << 14;
         }},
        {"low 0", 110, 16, 0xffff, [](frame_params& p) { p.subframes[0].positions = 0xffff; }},
        {"low 1", 126, 14, 0x3fff, [](frame_params& p) { p.subframes[1].positions = 0x3fff; }},
        {"low 2", 140, 16, 0xffff, [](frame_params& p) { p.subframes[2].positions = 0xffff; }},
        {"low 3", 156, 14, 0x3fff, [](frame_params& p) { p.subframes[3].positions = 0x3fff; }},
        {"signs 0", 170, 6, 63, [](frame_params& p) { p.subframes[0].signs = 63; }},
        {"signs 1", 176, 5, 31, [](frame_params& p) { p.subframes[1].signs = 31; }},
        {"signs 2", 181, 6, 63, [](frame_params& p) { p.subframes[2].signs = 63; }},
        {"signs 3", 187, 5, 31, [](frame_params& p) { p.subframes[3].signs = 31; }},
    };
    for (const field_case& c : cases) {
        SCOPED_TRACE(c.name);
        frame_params params{};
        params.open_loop_lag = {18, 58};
        params.subframes[0].lag_offset = params.subframes[2].lag_offset = 1;
        c.set(params);
        slot expected{};
        set_field(expected, 35, 7, 40);
        set_field(expected, c.start, c.width, c.value);
        slot out;
        out.fill(0xff);
        pack_frame(params, out, kFrameSpeech, 0);
        EXPECT_EQ(out, expected);
    }
}

TEST(FramePacking, SpeechFramesRoundTrip) {
    std::mt19937 rng(723);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE(trial);
        const frame_params params = random_speech_params(rng);
        slot out;
        out.fill(0xff);
        pack_frame(params, out, kFrameSpeech, 0);
        EXPECT_EQ(out[0] & 0x03, 0);
        EXPECT_EQ(get_field(out, 96, 1), 0u) << "reserved bit";
        frame_params back = poisoned_params();
        const unpacked_frame u = unpack_frame(back, out.data(), 0, 0);
        EXPECT_EQ(u.frame_type, kFrameSpeech);
        EXPECT_EQ(u.result, g723_ok);
        EXPECT_EQ(back.lost, 0);
        expect_same_speech_params(params, back);
    }
}

TEST(FramePacking, SidAndUntransmittedRoundTrip) {
    frame_params params{};
    params.lsp_index = 0x00a1b2;
    params.subframes[0].fixed_gain_index = 63;
    slot out{};
    pack_frame(params, out, kFrameSid, 0);
    frame_params back = poisoned_params();
    unpacked_frame u = unpack_frame(back, out.data(), 0, 0);
    EXPECT_EQ(u.frame_type, kFrameSid);
    EXPECT_EQ(u.result, g723_ok);
    EXPECT_EQ(back.lost, 0);
    EXPECT_EQ(back.lsp_index, 0x00a1b2);
    EXPECT_EQ(back.subframes[0].fixed_gain_index, 63);

    pack_frame(params, out, kFrameUntransmitted, 0);
    back = poisoned_params();
    u = unpack_frame(back, out.data(), 0, 0);
    EXPECT_EQ(u.frame_type, kFrameUntransmitted);
    EXPECT_EQ(u.result, g723_ok);
    EXPECT_EQ(back.lost, 0);
    EXPECT_EQ(back.lsp_index, 0);
}

TEST(FrameUnpacking, GainWordDependsOnHalfFrameLag) {
    // Lag 40 (code 22): bit 11 is the pulse-train flag and 2047 / 24 = 85
    // lies beyond the 85-row codebook.
    slot bytes = speech_frame(22, 100);
    set_field(bytes, 44, 12, 2047);
    frame_params params = poisoned_params();
    unpacked_frame u = unpack_frame(params, bytes.data(), 0, 0);
    EXPECT_EQ(u.result, g723_frame_invalid);
    EXPECT_EQ(u.frame_type, kFrameSpeech);
    EXPECT_EQ(params.lost, 1);

    // Lag 60 (code 42): the same word indexes the 170-row codebook.
    bytes = speech_frame(42, 100);
    set_field(bytes, 44, 12, 2047);
    params = poisoned_params();
    u = unpack_frame(params, bytes.data(), 0, 0);
    EXPECT_EQ(u.result, g723_ok);
    EXPECT_EQ(params.lost, 0);
    EXPECT_EQ(params.subframes[0].pulse_train, 0);
    EXPECT_EQ(params.subframes[0].acb_gain_index, 85);
    EXPECT_EQ(params.subframes[0].fixed_gain_index, 7);

    // Short lag, bit 11 set: pulse train on, the gain product from bits 0-10.
    // Subframe 3 belongs to half frame 1 (lag 57, the last short lag).
    bytes = speech_frame(100, 39);
    set_field(bytes, 80, 12, 2048 + 84 * 24 + 23);
    params = poisoned_params();
    u = unpack_frame(params, bytes.data(), 0, 0);
    EXPECT_EQ(u.result, g723_ok);
    EXPECT_EQ(params.subframes[3].pulse_train, 1);
    EXPECT_EQ(params.subframes[3].acb_gain_index, 84);
    EXPECT_EQ(params.subframes[3].fixed_gain_index, 23);
    EXPECT_EQ(params.subframes[2].pulse_train, 0);

    // Long lag: 169 is the last row, 170 is beyond.
    bytes = speech_frame(100, 40);
    set_field(bytes, 68, 12, 169 * 24 + 23);
    params = poisoned_params();
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_ok);
    EXPECT_EQ(params.subframes[2].acb_gain_index, 169);
    set_field(bytes, 68, 12, 170 * 24);
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_frame_invalid);
}

TEST(FrameUnpacking, LagCodesAboveRangeAreInvalid) {
    slot bytes = speech_frame(123, 0);
    frame_params params = poisoned_params();
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_ok);
    EXPECT_EQ(params.open_loop_lag[0], 141);
    EXPECT_EQ(params.open_loop_lag[1], 18);
    EXPECT_EQ(params.subframes[0].lag_offset, 1);
    EXPECT_EQ(params.subframes[2].lag_offset, 1);

    for (int half = 0; half < 2; ++half) {
        SCOPED_TRACE(half);
        for (uint32_t code : {124u, 127u}) {
            bytes = half == 0 ? speech_frame(code, 0) : speech_frame(0, code);
            params = poisoned_params();
            const unpacked_frame u = unpack_frame(params, bytes.data(), 0, 0);
            EXPECT_EQ(u.result, g723_frame_invalid);
            EXPECT_EQ(u.frame_type, kFrameSpeech);
            EXPECT_EQ(params.lost, 1);
        }
    }
}

TEST(FrameUnpacking, StopsAtTheFirstFault) {
    // A bad lag in half frame 0 is found before anything after it is read:
    // the gain words are not examined.
    slot bytes = speech_frame(124, 0);
    set_field(bytes, 44, 12, 4095);
    frame_params params = poisoned_params();
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_frame_invalid);
    EXPECT_EQ(params.open_loop_lag[1], kPoison);
    EXPECT_EQ(params.subframes[0].acb_gain_index, kPoison);

    // A bad gain word in subframe 1 stops before subframe 2 and the grid bits.
    bytes = speech_frame(0, 0);
    set_field(bytes, 56, 12, 85 * 24);
    set_field(bytes, 92, 4, 0xf);
    params = poisoned_params();
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_frame_invalid);
    EXPECT_EQ(params.subframes[0].acb_gain_index, 0);
    EXPECT_EQ(params.subframes[2].acb_gain_index, kPoison);
    EXPECT_EQ(params.subframes[0].grid, kPoison);
}

TEST(FrameUnpacking, ReservedBitIsIgnored) {
    std::mt19937 rng(96);
    const frame_params params = random_speech_params(rng);
    slot bytes{};
    pack_frame(params, bytes, kFrameSpeech, 0);
    set_field(bytes, 96, 1, 1);
    frame_params back = poisoned_params();
    EXPECT_EQ(unpack_frame(back, bytes.data(), 0, 0).result, g723_ok);
    expect_same_speech_params(params, back);
}

TEST(FrameUnpacking, HighPartsAreAMixedRadixNumber) {
    slot bytes = speech_frame(0, 0);
    set_field(bytes, 97, 13, 8099);
    set_field(bytes, 110, 16, 0x1234);
    set_field(bytes, 126, 14, 0x2345);
    set_field(bytes, 140, 16, 0xfedc);
    set_field(bytes, 156, 14, 0x0001);
    frame_params params = poisoned_params();
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_ok);
    EXPECT_EQ(params.subframes[0].positions, (9 << 16) + 0x1234);
    EXPECT_EQ(params.subframes[1].positions, (8 << 14) + 0x2345);
    EXPECT_EQ(params.subframes[2].positions, (9 << 16) + 0xfedc);
    EXPECT_EQ(params.subframes[3].positions, (8 << 14) + 0x0001);

    // 810 * 3 + 90 * 5 + 9 * 7 + 2: each digit lands in its own subframe.
    set_field(bytes, 97, 13, 810 * 3 + 90 * 5 + 9 * 7 + 2);
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_ok);
    EXPECT_EQ(params.subframes[0].positions >> 16, 3);
    EXPECT_EQ(params.subframes[1].positions >> 14, 5);
    EXPECT_EQ(params.subframes[2].positions >> 16, 7);
    EXPECT_EQ(params.subframes[3].positions >> 14, 2);
}

TEST(FrameUnpacking, LowerRateFramesAreRefused) {
    // Header code 1 with every checked field in range: not supported.
    slot bytes = speech_frame(10, 80);
    set_field(bytes, 0, 2, 1);
    frame_params params = poisoned_params();
    unpacked_frame u = unpack_frame(params, bytes.data(), 0, 0);
    EXPECT_EQ(u.result, g723_frame_not_supported);
    EXPECT_EQ(u.frame_type, kFrameSpeech);
    EXPECT_EQ(params.lost, 1);

    // A bad lag or gain code is reported as invalid even in such a frame.
    set_field(bytes, 35, 7, 125);
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_frame_invalid);
    bytes = speech_frame(10, 80);
    set_field(bytes, 0, 2, 1);
    set_field(bytes, 44, 12, 2047);
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 0).result, g723_frame_invalid);

    // A decoder at the lower rate refuses even a 6.3 kbit/s header.
    bytes = speech_frame(10, 80);
    params = poisoned_params();
    EXPECT_EQ(unpack_frame(params, bytes.data(), 0, 1).result, g723_frame_not_supported);
    EXPECT_EQ(params.lost, 1);
}

TEST(FrameUnpacking, OnlyTheLow16BitsOfLostCount) {
    std::mt19937 rng(16);
    const frame_params params = random_speech_params(rng);
    slot bytes{};
    pack_frame(params, bytes, kFrameSpeech, 0);

    frame_params back = poisoned_params();
    EXPECT_EQ(unpack_frame(back, bytes.data(), 0x10000, 0).result, g723_ok);
    EXPECT_EQ(back.lost, 0);
    expect_same_speech_params(params, back);

    const struct {
        int32_t flag;
        int32_t stored;
    } flags[] = {{1, 1}, {0x10001, 1}, {0x7fff, 0x7fff}, {0x8000, -32768}, {0xffff, -1},
                 {-1, -1}, {0x12348000, -32768}};
    for (const auto& f : flags) {
        SCOPED_TRACE(f.flag);
        back = poisoned_params();
        // Nothing is read from a lost frame: a null frame pointer is safe.
        unpack_frame(back, nullptr, f.flag, 0);
        EXPECT_EQ(back.lost, f.stored);
        EXPECT_EQ(back.lsp_index, kPoison);
    }
}

TEST(FrameUnpacking, NeverReadsPastTheFramesOwnLength) {
    guarded_frame guard;
    std::mt19937 rng(24);
    frame_params params = random_speech_params(rng);
    slot bytes{};
    frame_params back;

    pack_frame(params, bytes, kFrameUntransmitted, 0);
    EXPECT_EQ(unpack_frame(back, guard.place(bytes, 1), 0, 0).frame_type, kFrameUntransmitted);

    params.subframes[0].fixed_gain_index = 63;
    pack_frame(params, bytes, kFrameSid, 0);
    EXPECT_EQ(unpack_frame(back, guard.place(bytes, 4), 0, 0).frame_type, kFrameSid);

    pack_frame(params, bytes, kFrameSpeech, 0);
    EXPECT_EQ(unpack_frame(back, guard.place(bytes, 24), 0, 0).result, g723_ok);

    // A lower-rate frame is read only as far as its first 12 bytes.
    slot lower = speech_frame(10, 80);
    set_field(lower, 0, 2, 1);
    EXPECT_EQ(unpack_frame(back, guard.place(lower, 12), 0, 0).result, g723_frame_not_supported);
}

TEST(FramePacking, LowerRateHeaderHasNoTail) {
    std::mt19937 rng(53);
    frame_params params = random_speech_params(rng);
    for (subframe_params& sub : params.subframes) sub.pulse_train = 0;
    slot out;
    out.fill(0xff);
    pack_frame(params, out, kFrameSpeech, 1);
    EXPECT_EQ(get_field(out, 0, 2), 1u);
    EXPECT_EQ(get_field(out, 2, 24), static_cast<uint32_t>(params.lsp_index));
    for (int i = 12; i < kSlotBytes; ++i) EXPECT_EQ(out[i], 0) << "byte " << i;
}

}  // namespace
}  // namespace g723
