// SPDX-License-Identifier: BSD-2-Clause
#include "g723/bitstream/frame_packing.h"

#include <algorithm>
#include <cstddef>

#include "g723/g723.h"
#include "g723/tables/acb_gain_tables.h"
#include "g723/tables/pulse_tables.h"

namespace g723 {
namespace {

// Header codes, the first two bits of every coded frame.
constexpr uint32_t kHeaderRate63 = 0;
constexpr uint32_t kHeaderRate53 = 1;
constexpr uint32_t kHeaderSid = 2;
constexpr uint32_t kHeaderUntransmitted = 3;

constexpr int32_t kLagBias = 18;           // smallest coded open-loop lag
constexpr uint32_t kLargestLagCode = 123;  // lag 141

// Position codes split into a high digit and a low part whose width depends
// on the number of pulses: 16 bits for the six-pulse subframes 0 and 2, 14
// for the five-pulse subframes 1 and 3.
constexpr std::array<int, kSubframes> kPositionLowBits = {16, 14, 16, 14};
constexpr std::array<int, kSubframes> kSignBits = {6, 5, 6, 5};

constexpr uint32_t low_bits(int32_t value, int width) {
    return static_cast<uint32_t>(value) & ((1u << width) - 1u);
}

// Fields are written least significant bit first; frame bit k is bit k mod 8
// of byte k / 8.
class bit_writer {
public:
    explicit bit_writer(std::span<uint8_t, kSlotBytes> out) : out_(out) {}

    // Only the low `width` bits of value are written, so a field that is out
    // of range cannot spill into its neighbours.
    void write(uint32_t value, int width) {
        while (width > 0) {
            const int shift = position_ & 7;
            const int take = std::min(8 - shift, width);
            out_[static_cast<std::size_t>(position_ >> 3)] |=
                static_cast<uint8_t>((value & ((1u << take) - 1u)) << shift);
            value >>= take;
            width -= take;
            position_ += take;
        }
    }

private:
    std::span<uint8_t, kSlotBytes> out_;
    int position_ = 0;
};

// Touches only the bytes that hold the bits asked for, so a frame is never
// read beyond the last field that its type carries.
class bit_reader {
public:
    explicit bit_reader(const uint8_t* in) : in_(in) {}

    uint32_t read(int width) {
        uint32_t value = 0;
        for (int done = 0; done < width;) {
            const int shift = position_ & 7;
            const int take = std::min(8 - shift, width - done);
            const uint32_t bits = (static_cast<uint32_t>(in_[position_ >> 3]) >> shift) &
                                  ((1u << take) - 1u);
            value |= bits << done;
            done += take;
            position_ += take;
        }
        return value;
    }

    void skip(int width) { position_ += width; }

private:
    const uint8_t* in_;
    int position_ = 0;
};

void write_speech(const frame_params& params, bit_writer& bits, int32_t comp_rate) {
    bits.write(static_cast<uint32_t>(params.lsp_index), 24);
    bits.write(low_bits(params.open_loop_lag[0] - kLagBias, 7), 7);
    bits.write(low_bits(params.subframes[1].lag_offset, 2), 2);
    bits.write(low_bits(params.open_loop_lag[1] - kLagBias, 7), 7);
    bits.write(low_bits(params.subframes[3].lag_offset, 2), 2);
    for (const subframe_params& sub : params.subframes) {
        int32_t gain_word = sub.acb_gain_index * kFixedGainLevels + sub.fixed_gain_index;
        if (comp_rate == 0) gain_word += sub.pulse_train << 11;
        bits.write(low_bits(gain_word, 12), 12);
    }
    for (const subframe_params& sub : params.subframes) bits.write(low_bits(sub.grid, 1), 1);
    if (comp_rate != 0) return;

    bits.write(0, 1);  // reserved
    // The position codes' high digits (0..9, 0..8, 0..9, 0..8) travel together
    // as one mixed-radix number below 8100, which fits 13 bits where four
    // separate digits would take 16.
    std::array<uint32_t, kSubframes> high{};
    for (int k = 0; k < kSubframes; ++k)
        high[k] = static_cast<uint32_t>(params.subframes[k].positions) >> kPositionLowBits[k];
    bits.write(810 * high[0] + 90 * high[1] + 9 * high[2] + high[3], 13);
    for (int k = 0; k < kSubframes; ++k)
        bits.write(low_bits(params.subframes[k].positions, kPositionLowBits[k]), kPositionLowBits[k]);
    for (int k = 0; k < kSubframes; ++k)
        bits.write(low_bits(params.subframes[k].signs, kSignBits[k]), kSignBits[k]);
}

// Reads a speech frame after its LSP index. Returns the frame's result; a
// refused frame stops at its first fault.
int32_t read_speech(frame_params& params, bit_reader& bits, uint32_t header, int32_t comp_rate) {
    const uint32_t lag_code0 = bits.read(7);
    if (lag_code0 > kLargestLagCode) return g723_frame_invalid;
    params.open_loop_lag[0] = static_cast<int32_t>(lag_code0) + kLagBias;
    params.subframes[1].lag_offset = static_cast<int32_t>(bits.read(2));
    const uint32_t lag_code1 = bits.read(7);
    if (lag_code1 > kLargestLagCode) return g723_frame_invalid;
    params.open_loop_lag[1] = static_cast<int32_t>(lag_code1) + kLagBias;
    params.subframes[3].lag_offset = static_cast<int32_t>(bits.read(2));
    params.subframes[0].lag_offset = 1;
    params.subframes[2].lag_offset = 1;

    for (int k = 0; k < kSubframes; ++k) {
        subframe_params& sub = params.subframes[k];
        int32_t gain_word = static_cast<int32_t>(bits.read(12));
        int32_t gain_rows = kAcbGainRows170;
        sub.pulse_train = 0;
        // With short lags bit 11 is the pulse-train flag and the gain product
        // indexes the 85-row codebook; with long lags all 12 bits are needed
        // for the 170 rows.
        if (comp_rate == 0 && acb_gain_selector(params.open_loop_lag[k / 2]) == 0) {
            sub.pulse_train = gain_word >> 11;
            gain_word &= 0x7ff;
            gain_rows = kAcbGainRows85;
        }
        sub.acb_gain_index = gain_word / kFixedGainLevels;
        if (sub.acb_gain_index >= gain_rows) return g723_frame_invalid;
        sub.fixed_gain_index = gain_word % kFixedGainLevels;
    }
    for (subframe_params& sub : params.subframes) sub.grid = static_cast<int32_t>(bits.read(1));

    // A 5.3 kbit/s frame is read only this far (its first 12 bytes).
    if (comp_rate != 0 || header == kHeaderRate53) return g723_frame_not_supported;

    bits.skip(1);  // reserved
    const int32_t high = static_cast<int32_t>(bits.read(13));
    const std::array<int32_t, kSubframes> high_parts = {high / 810, (high / 90) % 9,
                                                        (high % 90) / 9, high % 9};
    for (int k = 0; k < kSubframes; ++k)
        params.subframes[k].positions = (high_parts[k] << kPositionLowBits[k]) +
                                        static_cast<int32_t>(bits.read(kPositionLowBits[k]));
    for (int k = 0; k < kSubframes; ++k)
        params.subframes[k].signs = static_cast<int32_t>(bits.read(kSignBits[k]));
    return g723_ok;
}

}  // namespace

void pack_frame(const frame_params& params, std::span<uint8_t, kSlotBytes> out,
                int32_t frame_type, int32_t comp_rate) {
    std::fill(out.begin(), out.end(), uint8_t{0});
    bit_writer bits(out);
    if (frame_type == kFrameUntransmitted) {
        bits.write(kHeaderUntransmitted, 2);
    } else if (frame_type == kFrameSid) {
        bits.write(kHeaderSid, 2);
        bits.write(static_cast<uint32_t>(params.lsp_index), 24);
        bits.write(low_bits(params.subframes[0].fixed_gain_index, 6), 6);
    } else {
        bits.write(comp_rate == 0 ? kHeaderRate63 : kHeaderRate53, 2);
        write_speech(params, bits, comp_rate);
    }
}

unpacked_frame unpack_frame(frame_params& params, const uint8_t* in, int32_t lost,
                            int32_t comp_rate) {
    // Only the low 16 bits of the host's erasure flag count.
    params.lost = static_cast<int16_t>(static_cast<uint32_t>(lost) & 0xffffu);
    if (params.lost != 0) return {kFrameSpeech, g723_ok};

    bit_reader bits(in);
    const uint32_t header = bits.read(2);
    if (header == kHeaderUntransmitted) {
        params.lsp_index = 0;
        return {kFrameUntransmitted, g723_ok};
    }
    params.lsp_index = static_cast<int32_t>(bits.read(24));
    if (header == kHeaderSid) {
        params.subframes[0].fixed_gain_index = static_cast<int32_t>(bits.read(6));
        return {kFrameSid, g723_ok};
    }
    const int32_t result = read_speech(params, bits, header, comp_rate);
    if (result != g723_ok) params.lost = 1;
    return {kFrameSpeech, result};
}

}  // namespace g723
