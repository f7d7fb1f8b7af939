// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/formant_postfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "g723/decoder/gain_scaling.h"
#include "g723/tables/postfilter_tables.h"

namespace g723 {
namespace {

TEST(FormantPostfilter, SilenceStaysSilentAndTiltDecays) {
    std::array<float, 70> in{}, out{};
    std::array<float, 60> s{};
    float tilt = 0.4f;
    const lpc_vector a = {0.9f, -0.3f, 0.1f, 0, 0, 0, 0, 0, 0, 0};
    const float ratio = formant_postfilter(s, a, in.data() + 9, out.data() + 9, tilt);
    EXPECT_EQ(ratio, 1.0f);
    EXPECT_FLOAT_EQ(tilt, 0.3f);
    for (float v : s) EXPECT_EQ(v, 0.0f);
}

TEST(FormantPostfilter, AlternatingSignalSetsTiltAndCompensates) {
    // With a flat filter the pole-zero section passes the signal; only the
    // tilt compensation acts. r0 = 60, r1 = -59, so k = -59/60.
    std::array<float, 70> in{}, out{};
    std::array<float, 60> s;
    for (int n = 0; n < 60; ++n) s[n] = n % 2 == 0 ? 1.0f : -1.0f;
    const std::array<float, 60> original = s;
    float tilt = 0.0f;
    const lpc_vector flat{};
    const float ratio = formant_postfilter(s, flat, in.data() + 9, out.data() + 9, tilt);
    EXPECT_FLOAT_EQ(tilt, -59.0f / 240.0f);
    const float c = 0.25f * tilt;
    double e = 0.0;
    for (int n = 0; n < 60; ++n) {
        const float prev = n == 0 ? 0.0f : original[n - 1];
        EXPECT_FLOAT_EQ(s[n], original[n] - c * prev) << n;
        e += double(s[n]) * s[n];
    }
    EXPECT_NEAR(ratio, std::sqrt(60.0 / e), 1e-6);
    // Inputs and pole-zero outputs were appended to the arrays.
    EXPECT_EQ(in[10], 1.0f);
    EXPECT_EQ(in[69], -1.0f);
    EXPECT_EQ(out[69], -1.0f);
}

TEST(FormantPostfilter, MemoriesCarryAcrossSubframes) {
    // Two consecutive subframes through the growing arrays equal a direct
    // double-precision evaluation of the filter over all 120 samples.
    std::mt19937 rng(4);
    std::normal_distribution<float> noise(0.0f, 3000.0f);
    const lpc_vector a = {1.2f, -0.6f, 0.3f, -0.2f, 0.15f, -0.1f, 0.05f, 0.02f, -0.01f, 0.01f};
    std::vector<float> speech(120);
    for (float& v : speech) v = noise(rng);
    std::array<float, 130> in{}, out{};
    // Some stored past, as the driver lays it in front of the frame.
    for (int i = 0; i < 10; ++i) {
        in[i] = noise(rng);
        out[i] = noise(rng);
    }
    const std::array<float, 130> in0 = in, out0 = out;

    float tilt = 0.1f;
    std::vector<float> result(120);
    for (int k = 0; k < 2; ++k) {
        std::span<float, 60> sub(speech.data() + 60 * k, 60);
        std::vector<float> original(sub.begin(), sub.end());
        formant_postfilter(sub, a, in.data() + 9 + 60 * k, out.data() + 9 + 60 * k, tilt);
        std::copy(sub.begin(), sub.end(), result.begin() + 60 * k);
        std::copy(original.begin(), original.end(), speech.begin() + 60 * k);
    }

    std::vector<double> s(in0.begin(), in0.begin() + 10), u(out0.begin(), out0.begin() + 10);
    s.insert(s.end(), speech.begin(), speech.end());
    double t = 0.1;
    for (int k = 0; k < 2; ++k) {
        double r0 = 0, r1 = 0;
        for (int n = 0; n < 60; ++n) r0 += s[10 + 60 * k + n] * s[10 + 60 * k + n];
        for (int n = 0; n < 59; ++n) r1 += s[10 + 60 * k + n] * s[10 + 60 * k + n + 1];
        t = 0.75 * t + 0.25 * (r1 / r0);
        for (int n = 0; n < 60; ++n) {
            const int i = 10 + 60 * k + n;
            double v = s[i];
            for (int j = 1; j <= 10; ++j)
                v += -formant_pf_zero_weights[j - 1] * a[j - 1] * s[i - j] +
                     formant_pf_pole_weights[j - 1] * a[j - 1] * u[i - j];
            u.push_back(v);
            const double expected = v - 0.25 * t * u[i - 1];
            EXPECT_NEAR(result[60 * k + n], expected, 1e-3 * (1.0 + std::abs(expected))) << k << ',' << n;
        }
    }
    EXPECT_NEAR(tilt, t, 1e-5);
}

// The gain scaling run inside the next subframe's postfilter must give the
// very floats of the two calls one after the other.
TEST(FormantPostfilter, GainScalingAlongsideEqualsSeparateCalls) {
    std::mt19937 rng(12);
    std::normal_distribution<float> noise(0.0f, 900.0f);
    const lpc_vector a = {1.1f, -0.5f, 0.25f, -0.2f, 0.1f, -0.08f, 0.05f, 0.03f, -0.02f, 0.01f};
    std::array<float, 70> in{}, out{};
    for (int i = 0; i < 10; ++i) {
        in[i] = noise(rng);
        out[i] = noise(rng);
    }
    std::array<float, 60> speech, earlier;
    for (float& v : speech) v = noise(rng);
    for (float& v : earlier) v = noise(rng);
    const float earlier_ratio = 0.8f;
    const std::array<float, 60> unscaled = earlier;

    std::array<float, 70> in2 = in, out2 = out;
    std::array<float, 60> speech2 = speech, earlier2 = earlier;
    float tilt = 0.2f, tilt2 = 0.2f, gain = 1.3f, gain2 = 1.3f;
    scale_postfilter_gain(earlier, earlier_ratio, gain);
    const float ratio = formant_postfilter(speech, a, in.data() + 9, out.data() + 9, tilt);
    const float ratio2 = formant_postfilter(speech2, a, in2.data() + 9, out2.data() + 9, tilt2,
                                            earlier2, earlier_ratio, gain2);

    EXPECT_EQ(ratio, ratio2);
    EXPECT_EQ(tilt, tilt2);
    EXPECT_EQ(gain, gain2);
    EXPECT_EQ(speech, speech2);
    EXPECT_EQ(earlier, earlier2);
    EXPECT_EQ(out, out2);
    EXPECT_NE(earlier2, unscaled);  // the earlier subframe was scaled at all
}

}  // namespace
}  // namespace g723
