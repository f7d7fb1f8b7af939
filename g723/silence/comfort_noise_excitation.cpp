// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/comfort_noise_excitation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "g723/dsp/acb_vector.h"
#include "g723/dsp/dot_product.h"
#include "g723/tables/pulse_tables.h"
#include "g723/tables/sid_gain_tables.h"

namespace g723 {

namespace {

constexpr int kHalfFrameSamples = 2 * kSubframeSamples;
constexpr int kHalfFramePulses = 11;  // six in the first subframe, five in the second

// Random pitch lags lie in 123..143; the random adaptive-codebook gains
// skip the all-zero row 0.
constexpr int32_t kCngLagBase = 123;
constexpr int32_t kCngLagRange = 21;
constexpr int32_t kCngGainRange = 50;
// Subframe lags L0, L0 - 1, L1, L1 + 2.
constexpr std::array<int32_t, kSubframes> kCngLagOffsets = {1, 0, 1, 3};

// Stands for 1/11 in the pulse-amplitude equation; deliberately not exact.
constexpr float kOneEleventh = 0.0909f;
constexpr float kPulseAmplitudeLimit = 5000.0f;

// Weights of the SID level and of the previous level in the per-frame glide.
constexpr float kLevelGlide = 0.125f;
constexpr float kLevelKeep = 0.875f;

// The pulses of one half frame: positions within its 120 samples, signs +-1.
struct half_frame_pulses {
    std::array<int32_t, kHalfFramePulses> position;
    std::array<float, kHalfFramePulses> sign;
};

// Draws the pulse grids, signs and positions of both half frames, in the
// order that fixes the random sequence: both grid/sign words first, then the
// positions of subframes 0..3.
void draw_pulses(int16_t& seed, std::array<half_frame_pulses, 2>& pulses) {
    std::array<std::array<int32_t, 2>, 2> offsets{};
    for (int half = 0; half < 2; ++half) {
        const int32_t word = cng_random(seed, 8192);
        offsets[half][0] = word & 1;
        offsets[half][1] = kSubframeSamples + ((word >> 1) & 1);
        for (int p = 0; p < kHalfFramePulses; ++p)
            pulses[half].sign[p] = ((word >> (2 + p)) & 1) ? 1.0f : -1.0f;
    }
    for (int sub = 0; sub < kSubframes; ++sub) {
        const int half = sub / 2;
        const int first_pulse = (sub % 2) ? pulse_count_table[sub - 1] : 0;
        const int32_t offset = offsets[half][sub % 2];
        // Drawing without replacement from the 30 grid positions: a drawn
        // slot is refilled with the last still-unused one.
        std::array<int32_t, kGridPositions> free_slots;
        for (int j = 0; j < kGridPositions; ++j) free_slots[j] = j;
        for (int k = 0; k < pulse_count_table[sub]; ++k) {
            const int32_t i = cng_random(seed, kGridPositions - k);
            pulses[half].position[first_pulse + k] = 2 * free_slots[i] + offset;
            free_slots[i] = free_slots[kGridPositions - 1 - k];
        }
    }
}

// The common pulse amplitude that gives the half frame the energy of
// 120 samples at the target level: the root of smaller magnitude of
// g^2 + 2 b g + c = 0, or -b when there is no real root.
float solve_pulse_amplitude(const float* e, const half_frame_pulses& pulses, float gain) {
    float correlation = 0.0f;
    for (int p = 0; p < kHalfFramePulses; ++p) correlation += pulses.sign[p] * e[pulses.position[p]];
    const float b = kOneEleventh * correlation;
    const float target_energy = static_cast<float>(kHalfFrameSamples) * (gain * gain);
    const float c = kOneEleventh * (energy(e, kHalfFrameSamples) - target_energy);
    const float d = b * b - c;
    float g = -b;
    if (d > 0.0f) {
        const float s = std::sqrt(d);
        const float g1 = s - b;
        const float g2 = -(s + b);
        g = (std::fabs(g1) <= std::fabs(g2)) ? g1 : g2;
    }
    return std::clamp(g, -kPulseAmplitudeLimit, kPulseAmplitudeLimit);
}

}  // namespace

int32_t cng_random(int16_t& seed, int32_t n) {
    // 16-bit wrap-around computed in 32 bits; the narrowing conversion is
    // modulo 2^16.
    seed = static_cast<int16_t>(static_cast<int32_t>(seed) * 521 + 259);
    return ((static_cast<int32_t>(seed) & 0x7FFF) * n) >> 15;
}

void generate_cng_excitation(float gain, const float* history, float* excitation, int16_t& seed,
                             frame_params& params) {
    for (int half = 0; half < 2; ++half)
        params.open_loop_lag[half] = kCngLagBase + cng_random(seed, kCngLagRange);
    for (int sub = 0; sub < kSubframes; ++sub)
        params.subframes[sub].acb_gain_index = 1 + cng_random(seed, kCngGainRange);
    for (int sub = 0; sub < kSubframes; ++sub) params.subframes[sub].lag_offset = kCngLagOffsets[sub];

    std::array<half_frame_pulses, 2> pulses;
    draw_pulses(seed, pulses);

    for (int half = 0; half < 2; ++half) {
        float* e = excitation + half * kHalfFrameSamples;
        // The adaptive-codebook part, built exactly as for decoded speech;
        // the second subframe's history includes the first one just built.
        // The lag L1 + 2 of subframe 3 reaches up to 147 samples back, past
        // its 145-sample history into this frame's own earlier subframes,
        // whose true samples are read there.
        for (int k = 0; k < 2; ++k) {
            const int sub = 2 * half + k;
            const subframe_params& sp = params.subframes[sub];
            decode_acb_vector(std::span<float, kSubframeSamples>(e + k * kSubframeSamples, kSubframeSamples),
                              history + sub * kSubframeSamples, params.open_loop_lag[half], sp.lag_offset,
                              sp.acb_gain_index, sub * kSubframeSamples);
        }
        const float g = solve_pulse_amplitude(e, pulses[half], gain);
        for (int p = 0; p < kHalfFramePulses; ++p) e[pulses[half].position[p]] += pulses[half].sign[p] * g;
    }
}

float glide_noise_level(int16_t sid_gain, float previous_level, bool after_speech) {
    const float sid_level = static_cast<float>(sid_gain);
    return after_speech ? sid_level : kLevelGlide * sid_level + kLevelKeep * previous_level;
}

int16_t quantize_sid_gain(float* energies, int32_t count) {
    float v;
    if (count == 0) {
        v = energies[0] * sid_gain_scale[0];
        energies[0] = v;
    } else {
        float sum = 0.0f;
        for (int32_t j = 0; j < count; ++j) sum += energies[j];
        v = sid_gain_scale[count] * sum;
    }
    // Rounded to the nearest integer; the top test is made on the float so
    // that levels beyond the integer range (or not a number) never reach the
    // conversion.
    const float rounded = v + 0.5f;
    if (!(rounded < static_cast<float>(sid_gain_thresholds[2]))) return kSidGainIndexMax;
    const int32_t n = rounded > 0.0f ? static_cast<int32_t>(rounded) : 0;

    int32_t segment = 0;
    int32_t steps = 3;
    if (n >= sid_gain_thresholds[1]) {
        segment = 2;
        steps = 4;
    } else if (n >= sid_gain_thresholds[0]) {
        segment = 1;
    }
    const auto level_squared = [segment](int32_t i) {
        const int32_t q = sid_gain_segment_base[segment] + (i << (segment + 1));
        return q * q;
    };

    int32_t i = 1 << steps;
    for (int32_t step = i / 2; step > 0; step /= 2) i += (level_squared(i) > n) ? -step : step;
    if (level_squared(i) > n) {
        if (n - level_squared(i - 1) <= level_squared(i) - n) --i;
    } else {
        if (level_squared(i + 1) - n <= n - level_squared(i)) ++i;
    }
    return static_cast<int16_t>(kSidGainSegmentSize * segment + i);
}

int16_t decode_sid_gain(int32_t index) {
    // A 6-bit field; anything else cannot come from the bit-stream.
    index = std::clamp<int32_t>(index, 0, kSidGainIndexMax);
    const int32_t segment = std::min<int32_t>(index >> 4, 2);
    const int32_t i = index - kSidGainSegmentSize * segment;
    return static_cast<int16_t>(sid_gain_segment_base[segment] + (i << (segment + 1)));
}

}  // namespace g723
