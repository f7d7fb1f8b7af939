// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/comfort_noise_excitation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "g723/dsp/acb_vector.h"
#include "g723/tables/sid_gain_tables.h"

namespace g723 {
namespace {

// The generator as a plain modulo-2^16 recurrence, mapped to signed 16 bits.
int16_t next_seed(int16_t seed) {
    const uint32_t s = static_cast<uint16_t>(seed);
    const uint32_t next = (s * 521u + 259u) & 0xFFFFu;
    return static_cast<int16_t>(next >= 0x8000u ? static_cast<int32_t>(next) - 0x10000 : next);
}

TEST(CngRandom, FollowsTheSixteenBitRecurrenceForEverySeed) {
    int16_t start = 12345;
    EXPECT_EQ(cng_random(start, 21), 6);
    EXPECT_EQ(start, 9476);
    for (int32_t s = -32768; s <= 32767; ++s) {
        int16_t seed = static_cast<int16_t>(s);
        const int32_t value = cng_random(seed, 8192);
        const int16_t expected = next_seed(static_cast<int16_t>(s));
        ASSERT_EQ(seed, expected) << "from seed " << s;
        ASSERT_EQ(value, (expected & 0x7FFF) >> 2) << "from seed " << s;
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 8192);
    }
}

// A frame slot with 145 samples of history in front of it.
struct excitation_frame {
    std::vector<float> buffer = std::vector<float>(kExcitationPast + kFrameSamples, 0.0f);
    const float* history() const { return buffer.data(); }
    float* slot() { return buffer.data() + kExcitationPast; }
};

TEST(GenerateCngExcitation, DrawsTheRandomParametersInOrder) {
    excitation_frame f;
    frame_params params{};
    params.lsp_index = 0x123456;
    params.subframes[0].fixed_gain_index = 41;
    int16_t seed = 12345;
    generate_cng_excitation(100.0f, f.history(), f.slot(), seed, params);

    EXPECT_EQ(params.open_loop_lag[0], 129);
    EXPECT_EQ(params.open_loop_lag[1], 137);
    EXPECT_EQ(params.subframes[0].acb_gain_index, 34);
    EXPECT_EQ(params.subframes[1].acb_gain_index, 31);
    EXPECT_EQ(params.subframes[2].acb_gain_index, 18);
    EXPECT_EQ(params.subframes[3].acb_gain_index, 35);
    const std::array<int32_t, 4> offsets = {1, 0, 1, 3};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(params.subframes[k].lag_offset, offsets[k]);
    // Fields that are not random stay as the caller left them.
    EXPECT_EQ(params.lsp_index, 0x123456);
    EXPECT_EQ(params.subframes[0].fixed_gain_index, 41);

    // 2 lags, 4 gains, 2 grid/sign words and 6 + 5 + 6 + 5 positions.
    int16_t expected = 12345;
    for (int i = 0; i < 30; ++i) expected = next_seed(expected);
    EXPECT_EQ(seed, expected);
}

TEST(GenerateCngExcitation, PulsesAloneOnASilentHistoryCarryTheTargetEnergy) {
    for (int16_t start : {int16_t{12345}, int16_t{-7}, int16_t{31000}}) {
        excitation_frame f;
        frame_params params{};
        int16_t seed = start;
        const float gain = 200.0f;
        generate_cng_excitation(gain, f.history(), f.slot(), seed, params);
        const float* e = f.slot();

        // Lags of 122 and more keep the adaptive part of half frame 0 in the
        // silent past: it holds the 11 pulses alone.
        float amplitude = 0.0f;
        for (int sub = 0; sub < 2; ++sub) {
            int nonzero = 0;
            int parity = -1;
            for (int n = 0; n < 60; ++n) {
                const float v = e[60 * sub + n];
                if (v == 0.0f) continue;
                ++nonzero;
                if (amplitude == 0.0f) amplitude = std::fabs(v);
                EXPECT_EQ(std::fabs(v), amplitude);
                if (parity < 0) parity = n % 2;
                EXPECT_EQ(n % 2, parity) << "pulses of one subframe share a grid";
            }
            // Distinct positions: six or five pulses, none on top of another.
            EXPECT_EQ(nonzero, sub == 0 ? 6 : 5) << "subframe " << sub << " seed " << start;
        }
        // Half frame 1 repeats half frame 0 through its adaptive part; the
        // pulses still bring both to the target energy.
        for (int half = 0; half < 2; ++half) {
            double half_energy = 0.0;
            for (int n = 0; n < 120; ++n) half_energy += double(e[120 * half + n]) * e[120 * half + n];
            EXPECT_NEAR(half_energy / (120.0 * gain * gain), 1.0, 2e-4) << "half frame " << half;
        }
    }
}

// The pulses follow the draw order exactly, which a decoder of any origin
// must reproduce: after the lags and gains, one 13-bit word per half frame
// (grids, then the signs of its 11 pulses from bit 2 on), then the positions
// of subframes 0..3, each drawn without replacement from its 30 grid slots.
TEST(GenerateCngExcitation, PulsePositionsAndSignsFollowTheDrawOrder) {
    int16_t s = 12345;
    const auto draw = [&s](int32_t n) {
        s = next_seed(s);
        return ((s & 0x7FFF) * n) >> 15;
    };
    for (int i = 0; i < 6; ++i) draw(i < 2 ? 21 : 50);
    const int32_t word0 = draw(8192);
    draw(8192);
    std::array<float, 120> expected{};
    int pulse = 0;
    for (int sub = 0; sub < 2; ++sub) {
        const int offset = sub == 0 ? (word0 & 1) : 60 + ((word0 >> 1) & 1);
        std::array<int, 30> t;
        for (int j = 0; j < 30; ++j) t[j] = j;
        for (int k = 0; k < (sub == 0 ? 6 : 5); ++k, ++pulse) {
            const int i = draw(30 - k);
            expected[2 * t[i] + offset] = ((word0 >> (2 + pulse)) & 1) ? 1.0f : -1.0f;
            t[i] = t[29 - k];
        }
    }

    excitation_frame f;
    frame_params params{};
    int16_t seed = 12345;
    generate_cng_excitation(100.0f, f.history(), f.slot(), seed, params);
    // A silent history: half frame 0 holds its pulses alone, all with the
    // same positive amplitude times their signs.
    const float amplitude = *std::max_element(f.slot(), f.slot() + 120);
    ASSERT_GT(amplitude, 0.0f);
    for (int n = 0; n < 120; ++n) EXPECT_EQ(f.slot()[n], expected[n] * amplitude) << n;
}

TEST(GenerateCngExcitation, PulseAmplitudeIsClampedAt5000) {
    excitation_frame f;
    frame_params params{};
    int16_t seed = 12345;
    generate_cng_excitation(3000.0f, f.history(), f.slot(), seed, params);  // unclamped about 9900
    int pulses = 0;
    for (int n = 0; n < 120; ++n) {
        if (f.slot()[n] == 0.0f) continue;
        ++pulses;
        EXPECT_EQ(std::fabs(f.slot()[n]), 5000.0f);
    }
    EXPECT_EQ(pulses, 11);
}

// Splits the excitation of one half frame into its adaptive part (rebuilt
// with decode_acb_vector from the drawn parameters) and its pulses.
struct half_frame_split {
    std::array<float, 120> adaptive;
    std::vector<int> positions;
    std::vector<float> pulse_values;
};

half_frame_split split_half_frame(const std::vector<float>& buffer, const frame_params& params, int half) {
    // decode_acb_vector reads only the history, which the generator has
    // already completed, so rebuild on a copy where each subframe's slot
    // holds the adaptive part alone until it is read as history.
    std::vector<float> work = buffer;
    half_frame_split out{};
    for (int k = 0; k < 2; ++k) {
        const int sub = 2 * half + k;
        std::array<float, 60> v;
        decode_acb_vector(std::span<float, 60>(v), work.data() + 60 * sub, params.open_loop_lag[half],
                          params.subframes[sub].lag_offset, params.subframes[sub].acb_gain_index, 60 * sub);
        std::copy(v.begin(), v.end(), out.adaptive.begin() + 60 * k);
    }
    const float* e = buffer.data() + kExcitationPast + 120 * half;
    for (int n = 0; n < 120; ++n) {
        if (e[n] != out.adaptive[n]) {
            out.positions.push_back(n);
            out.pulse_values.push_back(e[n] - out.adaptive[n]);
        }
    }
    return out;
}

// The pulses of a half frame are sign_p * g. With P = sum of pulse value
// times adaptive sample = g * sum sign_p * e[position], the amplitude
// equation g^2 + 2 b g + c = 0 reads g^2 + 2 * 0.0909 * P + c = 0, and its
// other root g' = -2b - g satisfies |g g'| = |c|: g is the root of smaller
// magnitude exactly when g^2 <= |c|.
struct amplitude_check {
    double g_squared = 0.0;
    double p = 0.0;
    double c = 0.0;
};

amplitude_check check_half_frame(const half_frame_split& split, float gain) {
    amplitude_check out;
    double adaptive_energy = 0.0;
    for (size_t k = 0; k < split.positions.size(); ++k) {
        out.p += double(split.pulse_values[k]) * split.adaptive[split.positions[k]];
        out.g_squared += double(split.pulse_values[k]) * split.pulse_values[k];
    }
    out.g_squared /= double(split.positions.size());
    for (float v : split.adaptive) adaptive_energy += double(v) * v;
    out.c = 0.0909 * (adaptive_energy - 120.0 * double(gain) * gain);
    return out;
}

TEST(GenerateCngExcitation, PulseAmplitudeIsTheSmallerRootOnARealHistory) {
    excitation_frame f;
    // A periodic past, loud enough for the adaptive part to matter.
    for (int n = 0; n < kExcitationPast; ++n) f.buffer[n] = 800.0f * std::sin(0.37f * n) * (0.5f + n / 290.0f);
    frame_params params{};
    int16_t seed = 12345;
    const float gain = 300.0f;
    generate_cng_excitation(gain, f.history(), f.slot(), seed, params);

    // Half frame 0: its adaptive part depends on the history alone.
    const half_frame_split split = split_half_frame(f.buffer, params, 0);
    ASSERT_EQ(split.positions.size(), 11u);
    for (float v : split.pulse_values) EXPECT_NEAR(std::fabs(v), std::fabs(split.pulse_values[0]), 1e-2);
    const amplitude_check a = check_half_frame(split, gain);
    EXPECT_NEAR(a.g_squared + 2.0 * 0.0909 * a.p + a.c, 0.0, 1e-4 * std::fabs(a.c));
    EXPECT_LE(a.g_squared, std::fabs(a.c) * (1.0 + 1e-5));
    // The half frame then carries the target energy.
    double total = 0.0;
    for (int n = 0; n < 120; ++n) total += double(f.slot()[n]) * f.slot()[n];
    EXPECT_NEAR(total / (120.0 * gain * gain), 1.0, 1e-3);
}

// Whichever way the pulses correlate with the adaptive part (b of either
// sign), the amplitude is the root of smaller magnitude. A target above the
// adaptive energy (c < 0) gives two real roots of opposite signs, |g g'| =
// |c|, and the other root is larger in magnitude by 2 |b|. The 64 half
// frames of 32 seeds have pulses of both signs of b.
TEST(GenerateCngExcitation, PulseAmplitudeIsTheSmallerRootForPulsesOfEitherCorrelation) {
    excitation_frame history;
    for (int n = 0; n < kExcitationPast; ++n)
        history.buffer[n] = 800.0f * std::sin(0.37f * n) * (0.5f + n / 290.0f);
    const float gain = 1000.0f;
    int distinct = 0;
    for (int trial = 0; trial < 32; ++trial) {
        excitation_frame f = history;
        frame_params params{};
        int16_t seed = static_cast<int16_t>(977 * trial - 15000);
        generate_cng_excitation(gain, f.history(), f.slot(), seed, params);
        for (int half = 0; half < 2; ++half) {
            const half_frame_split split = split_half_frame(f.buffer, params, half);
            ASSERT_EQ(split.positions.size(), 11u) << "trial " << trial << " half " << half;
            const amplitude_check a = check_half_frame(split, gain);
            ASSERT_LT(a.c, 0.0) << "trial " << trial << " half " << half;
            EXPECT_NEAR(a.g_squared + 2.0 * 0.0909 * a.p + a.c, 0.0, 1e-4 * std::fabs(a.c))
                << "trial " << trial << " half " << half;
            EXPECT_LE(a.g_squared, std::fabs(a.c) * (1.0 + 1e-5)) << "trial " << trial << " half " << half;
            // The other root's square, c^2 / g^2, larger by far more than
            // the tolerance above.
            if (a.c * a.c / a.g_squared > 1.0005 * a.g_squared) ++distinct;
            double total = 0.0;
            for (int n = 0; n < 120; ++n) total += double(f.slot()[120 * half + n]) * f.slot()[120 * half + n];
            EXPECT_NEAR(total / (120.0 * gain * gain), 1.0, 1e-3) << "trial " << trial << " half " << half;
        }
    }
    EXPECT_GE(distinct, 60) << "the roots must differ for the test to tell them apart";
}

TEST(GenerateCngExcitation, WithoutARealRootTheAmplitudeIsMinusB) {
    excitation_frame f;
    for (int n = 0; n < kExcitationPast; ++n) f.buffer[n] = 3000.0f * std::sin(0.21f * n + 0.3f);
    frame_params params{};
    int16_t seed = 12345;
    // Target level 0: c = 0.0909 * (adaptive energy), larger than b^2 here.
    generate_cng_excitation(0.0f, f.history(), f.slot(), seed, params);

    const half_frame_split split = split_half_frame(f.buffer, params, 0);
    ASSERT_EQ(split.positions.size(), 11u) << "no pulse may land on a zero of this history";
    const amplitude_check a = check_half_frame(split, 0.0f);
    // b = 0.0909 * P / g; b^2 < c means there is no real root.
    EXPECT_LT(0.0909 * 0.0909 * a.p * a.p / a.g_squared, a.c);
    // g = -b means g^2 = -0.0909 * P.
    EXPECT_NEAR(a.g_squared, -0.0909 * a.p, 1e-3 * a.g_squared);
}

// Subframe 3 of a silence frame may use lag 145: its first taps reach 147
// samples back, two before the subframe's 145-sample history, into this
// frame's own earlier excitation. Those true samples must be read.
TEST(GenerateCngExcitation, Lag145ReadsTheExcitation147SamplesBack) {
    // A seed whose second lag draw gives the largest lag, 143.
    int16_t start = 0;
    for (int32_t s = -32768; s <= 32767; ++s) {
        int16_t seed = static_cast<int16_t>(s);
        cng_random(seed, 21);
        if (cng_random(seed, 21) == 20) {
            start = static_cast<int16_t>(s);
            break;
        }
    }
    excitation_frame f;
    for (int n = 0; n < kExcitationPast; ++n) f.buffer[n] = 900.0f * std::sin(0.29f * n + 1.0f);
    frame_params params{};
    int16_t seed = start;
    generate_cng_excitation(150.0f, f.history(), f.slot(), seed, params);
    ASSERT_EQ(params.open_loop_lag[1], 143);
    ASSERT_EQ(params.subframes[3].lag_offset, 3);  // lag 145

    // With the true samples 33 and 34 of the frame as its oldest taps, the
    // adaptive part explains all of half frame 1 except its 11 pulses.
    const half_frame_split split = split_half_frame(f.buffer, params, 1);
    ASSERT_NE(f.slot()[33], 0.0f);
    EXPECT_EQ(split.positions.size(), 11u);
    for (float v : split.pulse_values) EXPECT_NEAR(std::fabs(v), std::fabs(split.pulse_values[0]), 1e-2);
}

TEST(SidGain, DecodedLevels) {
    const std::array<std::pair<int32_t, int16_t>, 8> cases = {
        {{0, 0}, {15, 30}, {16, 32}, {31, 92}, {32, 96}, {47, 216}, {48, 224}, {63, 344}}};
    for (auto [index, level] : cases) EXPECT_EQ(decode_sid_gain(index), level) << index;
    for (int32_t i = 1; i < 64; ++i) EXPECT_LT(decode_sid_gain(i - 1), decode_sid_gain(i));
}

float energy_for_level(int32_t n, int32_t count) {
    return static_cast<float>(n) / (sid_gain_scale[count] * static_cast<float>(count));
}

int16_t quantize_level(int32_t n) {
    std::array<float, 3> e = {energy_for_level(n, 1), 0.0f, 0.0f};
    return quantize_sid_gain(e.data(), 1);
}

TEST(SidGain, QuantizerPicksTheLevelWhoseSquareIsNearest) {
    for (int32_t n = 0; n < 121120; ++n) {
        const int16_t index = quantize_level(n);
        ASSERT_GE(index, 0);
        ASSERT_LE(index, 63);
        const int32_t level = decode_sid_gain(index);
        int32_t best = INT32_MAX;
        for (int32_t i = 0; i < 64; ++i) {
            const int32_t q = decode_sid_gain(i);
            best = std::min(best, std::abs(q * q - n));
        }
        ASSERT_EQ(std::abs(level * level - n), best) << "n = " << n << " index " << index;
    }
}

// Beyond the nearest-level property: the top of the range and the ties.
TEST(SidGain, QuantizerTopAndTies) {
    EXPECT_EQ(quantize_level(121120), 63);
    EXPECT_EQ(quantize_level(5000000), 63);
    std::array<float, 3> huge = {3.0e38f, 3.0e38f, 3.0e38f};
    EXPECT_EQ(quantize_sid_gain(huge.data(), 3), 63);  // the sum overflows to infinity
    // Halfway between two squared levels the neighbour of the level where
    // the search ends wins: 962 between 30^2 and 32^2 ends on 30 and takes
    // 32 (index 16); 2 between 0^2 and 2^2 ends on 2 and takes 0.
    EXPECT_EQ(quantize_level(962), 16);
    EXPECT_EQ(quantize_level(2), 0);
}

TEST(SidGain, ScaledSumOfTheLastEnergies) {
    // 0.0006351470947265625 * 3 * E = 9998 for three equal energies.
    const float e = 9998.0f / (sid_gain_scale[3] * 3.0f);
    std::array<float, 3> three = {e, e, e};
    EXPECT_EQ(quantize_sid_gain(three.data(), 3), 32);
    EXPECT_EQ(three[0], e);  // counts above 0 leave the energies alone
    // The same total spread unevenly over two energies, with their scale.
    const float t = 9998.0f / sid_gain_scale[2];
    std::array<float, 3> two = {0.25f * t, 0.75f * t, 1.0e30f};
    EXPECT_EQ(quantize_sid_gain(two.data(), 2), 32);
}

TEST(SidGain, StoredExcitationEnergyIsScaledInPlace) {
    // 120 samples of amplitude 100: 0.008331298828125 * 1,200,000 = 9997.6,
    // coded as 9998, nearest to 96^2 = 9216 (782 away) against 104^2 (818).
    std::array<float, 3> e = {1200000.0f, 0.0f, 0.0f};
    EXPECT_EQ(quantize_sid_gain(e.data(), 0), 32);
    EXPECT_EQ(e[0], 9997.55859375f);
    EXPECT_EQ(decode_sid_gain(32), 96);
}

}  // namespace
}  // namespace g723
