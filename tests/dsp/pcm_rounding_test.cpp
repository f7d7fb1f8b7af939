// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/pcm_rounding.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "kernel_tables.h"

namespace g723 {
namespace {

TEST(PcmRounding, RoundsHalfAwayFromZeroExactly) {
    EXPECT_EQ(float_to_pcm(2.5f), 3);
    EXPECT_EQ(float_to_pcm(-2.5f), -3);
    EXPECT_EQ(float_to_pcm(0.4f), 0);
    EXPECT_EQ(float_to_pcm(-0.4f), 0);
    EXPECT_EQ(float_to_pcm(0.49f), 0);
    EXPECT_EQ(float_to_pcm(-0.5f), -1);
    // The float just below one half: adding 0.5 in single precision would
    // round it up to 1.
    EXPECT_EQ(float_to_pcm(0.49999997f), 0);
    EXPECT_EQ(float_to_pcm(-0.49999997f), 0);
    EXPECT_EQ(float_to_pcm(1234.5f), 1235);
    EXPECT_EQ(float_to_pcm(-1234.49f), -1234);
}

TEST(PcmRounding, SaturatesAtTheSixteenBitRange) {
    EXPECT_EQ(float_to_pcm(32766.5f), 32767);
    EXPECT_EQ(float_to_pcm(32766.4f), 32766);
    EXPECT_EQ(float_to_pcm(32766.6f), 32767);
    EXPECT_EQ(float_to_pcm(40000.0f), 32767);
    EXPECT_EQ(float_to_pcm(-32767.5f), -32768);
    EXPECT_EQ(float_to_pcm(-32767.4f), -32767);
    EXPECT_EQ(float_to_pcm(-32768.2f), -32768);
    EXPECT_EQ(float_to_pcm(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(float_to_pcm(-std::numeric_limits<float>::infinity()), -32768);
    EXPECT_EQ(float_to_pcm(std::numeric_limits<float>::quiet_NaN()), -32768);
}

// The frame conversion of every kernel path takes its own way to the same
// rounding: every sample as float_to_pcm gives it, at the halves, the range
// limits, the specials and across the whole range.
TEST(PcmRounding, FrameConversionAgreesWithTheSampleRounding) {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {0.0f, -0.0f, 0.5f, -0.5f, 0.49999997f, -0.49999997f, 2.5f, -2.5f,
                                 32766.5f, 32767.5f, 32768.0f, 32769.0f, -32767.5f, -32768.5f, -32769.0f,
                                 1e9f, -1e9f, 8388609.0f, -8388609.0f, inf, -inf,
                                 std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min()};
    std::mt19937 rng(5);
    for (float scale : {1.0f, 100.0f, 40000.0f}) {
        std::uniform_real_distribution<float> uniform(-scale, scale);
        for (int i = 0; i < 2000; ++i) {
            const float x = uniform(rng);
            values.insert(values.end(), {x, std::nextafter(std::trunc(x) + 0.5f, 0.0f), std::trunc(x) + 0.5f,
                                         std::trunc(x) - 0.5f});
        }
    }
    for (std::size_t first = 0; first < values.size(); first += kFrameSamples) {
        std::array<float, kFrameSamples> in{};
        for (int n = 0; n < kFrameSamples && first + n < values.size(); ++n) in[n] = values[first + n];
        for (const kernel_table& kernels : supported_kernel_tables()) {
            std::array<int16_t, kFrameSamples> out;
            kernels.round_to_pcm(in, out);
            for (int n = 0; n < kFrameSamples; ++n)
                ASSERT_EQ(out[n], float_to_pcm(in[n])) << in[n] << " on " << kernel_path_name(kernels.path);
        }
    }
}

}  // namespace
}  // namespace g723
