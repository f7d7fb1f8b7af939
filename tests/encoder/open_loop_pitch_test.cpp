// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/open_loop_pitch.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <utility>

#include "g723/encoder/open_loop_pitch_stages.h"

namespace g723 {
namespace {

constexpr int kPast = 145;
constexpr int kHalfFrame = 120;
constexpr double kPi = 3.14159265358979323846;

// Weighted speech around one half frame: 145 past samples, then 120.
struct half_frame_buffer {
    std::array<float, kPast + kHalfFrame> samples{};
    float& operator[](int n) { return samples[kPast + n]; }  // n = -145 .. 119
    const float* half_frame() const { return samples.data() + kPast; }
};

half_frame_buffer periodic_noise(int period, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 3000.0f);
    std::array<float, 160> cycle;
    for (int n = 0; n < period; ++n) cycle[n] = noise(rng);
    half_frame_buffer x;
    for (int n = -kPast; n < kHalfFrame; ++n) x[n] = cycle[(n + 10 * period) % period];
    return x;
}

TEST(OpenLoopPitch, SilenceGivesTheDefaultLag) {
    half_frame_buffer x;
    EXPECT_EQ(coarse_pitch_candidate(x.half_frame()), 36);
    EXPECT_EQ(estimate_open_loop_pitch(x.half_frame()), 36);
}

TEST(OpenLoopPitch, FindsThePeriodOfAPeriodicSignal) {
    // Even periods, so that the decimated signal repeats exactly too.
    for (int period : {24, 40, 58, 88, 130}) {
        const half_frame_buffer x = periodic_noise(period, static_cast<unsigned>(period));
        EXPECT_EQ(estimate_open_loop_pitch(x.half_frame()), period) << period;
    }
}

TEST(OpenLoopPitch, ShortestAndLongestCoarseLagsAreClampedIntoRange) {
    // A sinusoid of period 18.3: decimated lag 9 is the best, and 2 * 9 = 18 is
    // raised to 20.
    half_frame_buffer x;
    for (int n = -kPast; n < kHalfFrame; ++n) x[n] = static_cast<float>(5000.0 * std::sin(2.0 * kPi * n / 18.3));
    EXPECT_EQ(coarse_pitch_candidate(x.half_frame()), 20);
    const int32_t lag = estimate_open_loop_pitch(x.half_frame());
    EXPECT_GE(lag, 19);
    EXPECT_LE(lag, 21);

    // Noise repeating every 144 samples: decimated lag 72, lowered to 143,
    // and the refinement climbs back to 144.
    const half_frame_buffer y = periodic_noise(144, 9);
    EXPECT_EQ(coarse_pitch_candidate(y.half_frame()), 143);
    EXPECT_EQ(estimate_open_loop_pitch(y.half_frame()), 144);
}

TEST(OpenLoopPitch, DistantLagMustBeAThirdBetter) {
    // A period-40 sinusoid plus a weaker one of period 120. Lag 120 correlates
    // with both and beats lag 40 by about 1.15: not enough at 40 decimated
    // samples' distance. With equal amplitudes it wins clearly.
    auto mixture = [](double weak) {
        half_frame_buffer x;
        for (int n = -kPast; n < kHalfFrame; ++n)
            x[n] = static_cast<float>(4000.0 * std::sin(2.0 * kPi * n / 40.0) + weak * 4000.0 * std::sin(2.0 * kPi * n / 120.0 + 0.7));
        return x;
    };
    const half_frame_buffer near = mixture(0.22);
    EXPECT_EQ(coarse_pitch_candidate(near.half_frame()), 40);
    EXPECT_EQ(estimate_open_loop_pitch(near.half_frame()), 40);
    const half_frame_buffer far = mixture(1.0);
    EXPECT_EQ(coarse_pitch_candidate(far.half_frame()), 120);
    EXPECT_EQ(estimate_open_loop_pitch(far.half_frame()), 120);
}

TEST(OpenLoopPitch, SeventeenDecimatedSamplesAwayIsStillNear) {
    // Decimated sample m is x[2m - 144] / 2 when only even offsets are set.
    // The half frame's first decimated sample is 1, the past holds 1 at
    // decimated lag 30 and 1.5 at a longer lag: Cr = 1 and 1.5, E = 2 and
    // 4.25, so the longer lag is better (0.529 against 0.5) but not by 4/3.
    for (const auto& [longer, expected] : {std::pair{47, 94}, std::pair{48, 60}}) {
        half_frame_buffer x;
        auto set_decimated = [&x](int m, float value) { x[2 * m - 144] = 2.0f * value; };
        set_decimated(72, 1.0f);
        set_decimated(72 - 30, 1.0f);
        set_decimated(72 - longer, 1.5f);
        EXPECT_EQ(coarse_pitch_candidate(x.half_frame()), expected) << "longer lag " << longer;
    }
}

TEST(OpenLoopPitch, EnergyRoundedToZeroMakesAnUnbeatableLag) {
    // Decimated sample m is x[2m - 144] / 2 when only even offsets are set.
    // A huge D[123] dominates E(8); when it leaves at lag 9 the running energy
    // is exactly 0 while the correlation is positive: lag 9 wins outright.
    half_frame_buffer x;
    auto set_decimated = [&x](int m, float value) { x[2 * m - 144] = 2.0f * value; };
    for (int m = 64; m <= 131; ++m) set_decimated(m, 1.0f);
    set_decimated(63, 0.0f);
    set_decimated(123, 1e8f);
    EXPECT_EQ(coarse_pitch_candidate(x.half_frame()), 20);
}

TEST(OpenLoopPitchRefinement, TieBetweenLMinusOneAndLGoesToTheShorterLag) {
    // Integer samples, so every sum is exact: Cr(39) = Cr(40) = 2,
    // E(39) = E(40) = 9, Cr(41) = 0.
    half_frame_buffer x;
    x[0] = 1.0f;
    x[-39] = 2.0f;
    x[-40] = 2.0f;
    x[80] = 2.0f;
    EXPECT_EQ(refine_pitch_candidate(x.half_frame(), 40), 39);
}

TEST(OpenLoopPitchRefinement, TieWithLPlusOneGoesToTheLongerLag) {
    // Cr(40) = Cr(41) = 2, E(40) = E(41) = 9, Cr(39) = 0.
    half_frame_buffer x;
    x[0] = 1.0f;
    x[-40] = 2.0f;
    x[-41] = 2.0f;
    x[79] = 2.0f;
    EXPECT_EQ(refine_pitch_candidate(x.half_frame(), 40), 41);
}

TEST(OpenLoopPitchRefinement, ZeroEnergyFallsBackToTheCandidate) {
    // E(41) = 0 while lag 40 correlates perfectly: the search stops at L
    // (without the stop, the undefined criterion at L+1 would take over).
    half_frame_buffer a;
    a[119] = 1.0f;
    a[79] = 1.0f;
    a[-42] = 1.0f;
    EXPECT_EQ(refine_pitch_candidate(a.half_frame(), 40), 40);

    // L+1 wins but E(42) is 0: the result is L.
    half_frame_buffer b;
    b[78] = 1.0f;
    b[119] = 3.0f;
    EXPECT_EQ(refine_pitch_candidate(b.half_frame(), 40), 40);
    // The same with history behind lag 42 keeps L+1.
    b[-42] = 1.0f;
    EXPECT_EQ(refine_pitch_candidate(b.half_frame(), 40), 41);
}

}  // namespace
}  // namespace g723
