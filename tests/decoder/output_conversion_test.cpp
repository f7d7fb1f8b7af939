#include "g723/decoder/output_conversion.h"

#include <gtest/gtest.h>

#include <limits>

namespace g723 {
namespace {

TEST(OutputConversion, RoundsHalfAwayFromZeroExactly) {
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

TEST(OutputConversion, SaturatesAtTheSixteenBitRange) {
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

}  // namespace
}  // namespace g723
