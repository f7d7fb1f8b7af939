// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/fixed_codebook_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "g723/decoder/fixed_vector.h"
#include "g723/encoder/impulse_response.h"
#include "g723/tables/pulse_tables.h"
#include "tests/encoder/filter_test_support.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;

std::array<float, N> typical_response() {
    const lpc_vector a = test::stable_lpc();
    std::array<float, N> h;
    compute_impulse_response(h, a, test::weights_of(a), 45, 0.2f);
    return h;
}

double weighted_error(const std::array<float, N>& target, const std::array<float, N>& h,
                      const std::array<float, N>& excitation) {
    double err = 0.0;
    for (int n = 0; n < N; ++n) {
        double y = 0.0;
        for (int i = 0; i <= n; ++i) y += double(h[n - i]) * excitation[i];
        err += (target[n] - y) * (target[n] - y);
    }
    return err;
}

TEST(FixedCodebookSearchTest, AllZeroTargetGivesLowestLevelAndLastPositionFirst) {
    const std::array<float, N> h = typical_response();
    for (int j = 0; j < kSubframes; ++j) {
        std::array<float, N> x{};
        frame_params params{};
        pulse_search_result result{};
        result.error = std::numeric_limits<float>::max();
        search_pulses(result, x, h, pulse_count_table[j]);
        EXPECT_EQ(result.positions[0], 58);
        EXPECT_GT(result.amplitudes[0], 0.0f);
        EXPECT_EQ(result.gain_index, 0);

        search_fixed_codebook(x, h, params, j);
        EXPECT_EQ(params.subframes[j].fixed_gain_index, 0);
        EXPECT_EQ(params.subframes[j].grid, 0);
        EXPECT_EQ(params.subframes[j].pulse_train, 0);
    }
}

// With a unit impulse response every grid position is independent and the
// pulses follow |x| alone. On a target of equal magnitudes the first pulse
// takes the last position of the tie and every later pulse the first free
// one; on a target of distinct magnitudes they go in decreasing magnitude.
TEST(FixedCodebookSearchTest, PulsesFollowTheTieRulesAndTheMagnitudeOrder) {
    std::array<float, N> h{};
    h[0] = 1.0f;
    for (int np : {6, 5}) {
        std::array<float, N> x{};
        for (int t = 0; t < N; t += 2) x[t] = (t % 4 == 0) ? 230.0f : -230.0f;
        pulse_search_result result{};
        result.error = std::numeric_limits<float>::max();
        search_pulses(result, x, h, np);
        const std::array<int32_t, kMaxPulses> tied = {58, 0, 2, 4, 6, 8};
        for (int i = 0; i < np; ++i) {
            EXPECT_EQ(result.positions[i], tied[i]) << "np " << np << " pulse " << i;
            EXPECT_EQ(result.amplitudes[i], std::copysign(230.0f, x[tied[i]])) << "np " << np << " pulse " << i;
        }
        EXPECT_EQ(fixed_gain_table[result.gain_index], 230.0f);

        for (int k = 0; k < kGridPositions; ++k) x[2 * k] = 10.0f * float((7 * k) % kGridPositions) + 1.0f;
        result.error = std::numeric_limits<float>::max();
        search_pulses(result, x, h, np);
        for (int i = 1; i < np; ++i)
            EXPECT_GT(x[result.positions[i - 1]], x[result.positions[i]]) << "np " << np << " pulse " << i;
    }
}

// On random targets: exactly np pulses of one table level on even samples,
// the reported error is ||x - A S||^2 - ||x||^2, the chosen pass is the
// better of the two levels around the estimate, and coding reduces the error.
TEST(FixedCodebookSearchTest, PulsesOnTheEvenGridReduceTheWeightedError) {
    const std::array<float, N> h = typical_response();
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> level(10.0f, 20000.0f);
    for (int trial = 0; trial < 40; ++trial) {
        const int j = trial % kSubframes;
        const int np = pulse_count_table[j];
        const std::vector<float> noise = test::random_signal(N, level(rng), 100 + trial);
        std::array<float, N> target;
        std::copy(noise.begin(), noise.end(), target.begin());

        pulse_search_result result{};
        result.error = std::numeric_limits<float>::max();
        search_pulses(result, target, h, np);

        std::array<float, N> x = target;
        frame_params params{};
        search_fixed_codebook(x, h, params, j);
        const subframe_params& sub = params.subframes[j];
        ASSERT_EQ(sub.fixed_gain_index, result.gain_index);
        const float amplitude = fixed_gain_table[sub.fixed_gain_index];
        int pulses = 0;
        for (int n = 0; n < N; ++n) {
            if (x[n] == 0.0f) continue;
            ++pulses;
            EXPECT_EQ(n % 2, 0) << n;
            EXPECT_EQ(std::fabs(x[n]), amplitude);
        }
        EXPECT_EQ(pulses, np);

        double target_energy = 0.0;
        for (float v : target) target_energy += double(v) * v;
        const double err = weighted_error(target, h, x);
        EXPECT_NEAR(result.error, err - target_energy, 1e-3 * target_energy) << trial;
        EXPECT_LT(err, target_energy) << trial;
        EXPECT_LT(sub.positions, max_position_table[j]);
        EXPECT_LT(sub.signs, 1 << np);
    }
}

// A target that is exactly the filtered response of a pulse set at one
// table level is coded by that level and those pulses.
TEST(FixedCodebookSearchTest, RecoversAnExactPulseSet) {
    const std::array<float, N> h = typical_response();
    std::array<float, N> excitation{};
    const float amplitude = fixed_gain_table[12];
    const int positions[6] = {4, 10, 22, 30, 44, 56};
    const float signs[6] = {1, -1, 1, 1, -1, 1};
    for (int i = 0; i < 6; ++i) excitation[positions[i]] = signs[i] * amplitude;
    std::array<float, N> x{};
    for (int n = 0; n < N; ++n)
        for (int i = 0; i <= n; ++i) x[n] += h[n - i] * excitation[i];

    frame_params params{};
    search_fixed_codebook(x, h, params, 0);
    EXPECT_EQ(params.subframes[0].fixed_gain_index, 12);
    for (int n = 0; n < N; ++n) EXPECT_EQ(x[n], excitation[n]) << n;
}

TEST(FixedCodebookSearchTest, PositionAndSignCodes) {
    pulse_search_result result{};
    result.gain_index = 5;
    subframe_params sub{};
    auto code = [&](std::initializer_list<int> positions, int negative_index, int np) {
        std::array<float, N> e{};
        int i = 0;
        for (int p : positions) e[p] = (i++ == negative_index) ? -2.0f : 2.0f;
        encode_pulse_positions(e, sub, result, np);
    };
    code({0, 2, 4, 6, 8, 10}, -1, 6);
    EXPECT_EQ(sub.positions, 0);
    EXPECT_EQ(sub.signs, 0);
    EXPECT_EQ(sub.fixed_gain_index, 5);
    code({48, 50, 52, 54, 56, 58}, 0, 6);
    EXPECT_EQ(sub.positions, 593774);
    EXPECT_EQ(sub.signs, 32);
    code({0, 20, 30, 40, 50, 58}, 5, 6);
    EXPECT_EQ(sub.signs, 1);
    code({0, 2, 4, 6, 8}, -1, 5);
    EXPECT_EQ(sub.positions, 0);
    code({50, 52, 54, 56, 58}, 4, 5);
    EXPECT_EQ(sub.positions, 142505);
    EXPECT_EQ(sub.signs, 1);
}

// The decoder's pulse decoding inverts the encoder's position and sign
// coding for random pulse sets of both sizes.
TEST(FixedCodebookSearchTest, DecoderRebuildsEveryCodedPulseSet) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 500; ++trial) {
        const int j = trial % kSubframes;
        const int np = pulse_count_table[j];
        std::array<int, kGridPositions> grid;
        for (int k = 0; k < kGridPositions; ++k) grid[k] = k;
        std::shuffle(grid.begin(), grid.end(), rng);
        pulse_search_result result{};
        result.gain_index = static_cast<int32_t>(rng() % kFixedGainLevels);
        const float amplitude = fixed_gain_table[result.gain_index];
        std::array<float, N> excitation{};
        for (int i = 0; i < np; ++i) excitation[2 * grid[i]] = (rng() & 1) ? -amplitude : amplitude;

        subframe_params sub{};
        encode_pulse_positions(excitation, sub, result, np);
        std::array<float, N> decoded;
        decode_fixed_vector(decoded, sub, 60, j);
        ASSERT_EQ(decoded, excitation) << "trial " << trial;
    }
}

}  // namespace
}  // namespace g723
