// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/fixed_vector.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "g723/tables/pulse_tables.h"

namespace g723 {
namespace {

subframe_params pulses(int32_t positions, int32_t signs, int32_t grid = 0, int32_t gain = 10,
                       int32_t train = 0) {
    return subframe_params{1, 0, gain, grid, train, signs, positions};
}

std::vector<int> pulse_positions(const std::array<float, 60>& v) {
    std::vector<int> p;
    for (int n = 0; n < 60; ++n)
        if (v[n] != 0.0f) p.push_back(n);
    return p;
}

TEST(DecodeFixedVector, FirstAndLastCodesOnBothGrids) {
    std::array<float, 60> v;
    decode_fixed_vector(v, pulses(0, 0), 60, 0);
    EXPECT_EQ(pulse_positions(v), (std::vector<int>{0, 2, 4, 6, 8, 10}));
    decode_fixed_vector(v, pulses(593774, 0), 60, 0);
    EXPECT_EQ(pulse_positions(v), (std::vector<int>{48, 50, 52, 54, 56, 58}));
    decode_fixed_vector(v, pulses(593774, 0, 1), 60, 2);
    EXPECT_EQ(pulse_positions(v), (std::vector<int>{49, 51, 53, 55, 57, 59}));
    decode_fixed_vector(v, pulses(0, 0, 1), 60, 1);
    EXPECT_EQ(pulse_positions(v), (std::vector<int>{1, 3, 5, 7, 9}));
}

TEST(DecodeFixedVector, PositionCodeIsTheLexicographicRank) {
    // Every five-pulse combination, enumerated in lexicographic order, must
    // decode from its rank: the code is a bijection onto the combinations.
    std::array<int, 5> c = {0, 1, 2, 3, 4};
    std::array<float, 60> v;
    for (int32_t rank = 0; rank < 142506; ++rank) {
        decode_fixed_vector(v, pulses(rank, 0), 60, 3);
        const std::vector<int> got = pulse_positions(v);
        ASSERT_EQ(got.size(), 5u) << rank;
        for (int k = 0; k < 5; ++k) ASSERT_EQ(got[k], 2 * c[k]) << rank;
        // Next combination of 5 out of 30.
        int i = 4;
        while (i >= 0 && c[i] == 25 + i) --i;
        if (i < 0) break;
        ++c[i];
        for (int j = i + 1; j < 5; ++j) c[j] = c[j - 1] + 1;
    }
}

TEST(DecodeFixedVector, OutOfRangeCodeGivesNoPulsesEvenWithPulseTrain) {
    std::array<float, 60> v;
    v.fill(7.0f);
    decode_fixed_vector(v, pulses(593775, 0, 0, 10, 1), 18, 0);
    for (float x : v) EXPECT_EQ(x, 0.0f);
    v.fill(7.0f);
    decode_fixed_vector(v, pulses(142506, 0, 0, 10, 1), 18, 1);
    for (float x : v) EXPECT_EQ(x, 0.0f);
    // The six-pulse bound is not the five-pulse one.
    decode_fixed_vector(v, pulses(142506, 0), 60, 0);
    EXPECT_EQ(pulse_positions(v).size(), 6u);
}

TEST(DecodeFixedVector, SignsAndAmplitude) {
    std::array<float, 60> v;
    const float a = fixed_gain_table[13];
    decode_fixed_vector(v, pulses(0, 0, 0, 13), 60, 0);
    for (int n = 0; n <= 10; n += 2) EXPECT_EQ(v[n], a) << n;
    decode_fixed_vector(v, pulses(0, 32, 0, 13), 60, 0);
    EXPECT_EQ(v[0], -a);
    for (int n = 2; n <= 10; n += 2) EXPECT_EQ(v[n], a) << n;
    decode_fixed_vector(v, pulses(0, 1, 0, 13), 60, 0);
    for (int n = 0; n <= 8; n += 2) EXPECT_EQ(v[n], a) << n;
    EXPECT_EQ(v[10], -a);
    // Five pulses: bit 4 is the first pulse's sign.
    decode_fixed_vector(v, pulses(0, 16, 0, 13), 60, 1);
    EXPECT_EQ(v[0], -a);
    EXPECT_EQ(v[2], a);
}

TEST(DecodeFixedVector, PulseTrainUsesTheOpenLoopLag) {
    std::array<float, 60> plain, train, expected;
    decode_fixed_vector(plain, pulses(1234, 21), 25, 1);
    decode_fixed_vector(train, pulses(1234, 21, 0, 10, 1), 25, 1);
    repeat_pulse_train(plain, expected, 25);
    EXPECT_EQ(train, expected);
    EXPECT_NE(train, plain);
}

TEST(RepeatPulseTrain, RepeatsAtTheLagAndAddsOverlaps) {
    std::array<float, 60> v{};
    v[4] = 3.0f;
    repeat_pulse_train(v, v, 18);  // in place
    for (int n = 0; n < 60; ++n) EXPECT_EQ(v[n], (n == 4 || n == 22 || n == 40 || n == 58) ? 3.0f : 0.0f) << n;

    std::array<float, 60> in{}, out;
    in[0] = 1.0f;
    in[18] = 2.0f;
    repeat_pulse_train(in, out, 18);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[18], 3.0f);
    EXPECT_EQ(out[36], 3.0f);
    EXPECT_EQ(out[54], 3.0f);
    EXPECT_EQ(out[1], 0.0f);

    // A lag of a subframe or more leaves the vector as it is.
    for (int n = 0; n < 60; ++n) in[n] = static_cast<float>(n % 7) - 3.0f;
    for (int32_t lag : {60, 141}) {
        repeat_pulse_train(in, out, lag);
        EXPECT_EQ(out, in);
    }
}

}  // namespace
}  // namespace g723
