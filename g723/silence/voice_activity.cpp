// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/voice_activity.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "g723/dsp/dot_product.h"
#include "g723/tables/vad_tables.h"

namespace g723 {

namespace {

// Residual energy over the last 180 samples, divided by 360.
constexpr int kVadFirstSample = 60;
constexpr int kVadResidualSamples = kFrameSamples - kVadFirstSample;
constexpr float kVadEnergyScale = 0.0027777778f;

// Periodicity: multiples of the shortest lag are tried below this bound,
// and a lag counts when one of them lies within this distance.
constexpr int32_t kMultipleBound = 149;
constexpr int32_t kLagTolerance = 3;
constexpr int32_t kLongestLag = 145;
constexpr int32_t kNoPeriodicityTest = 8;

constexpr int32_t kAdaptCountMax = 6;
constexpr int32_t kActiveCountMax = 3;
constexpr int32_t kHangoverFrames = 6;

constexpr float kNoiseRise = 1.03125f;         // 1 + 1/32 per frame without pitch evidence
constexpr float kNoiseDecay = 0.99951171875f;  // 1 - 1/2048 per frame otherwise

// How many of the four recent open-loop lags lie near a multiple of the
// shortest; 4 means the last two frames were steadily periodic.
int32_t count_periodic_lags(const std::array<int32_t, 4>& lags) {
    int32_t m = kLongestLag;
    for (int32_t lag : lags) m = std::min(m, lag);
    // After reset the history holds lag 1, which proves nothing. Lags below 1
    // never come from the pitch estimator; they are treated alike so that
    // the walk over multiples always ends.
    if (m <= 1) return kNoPeriodicityTest;
    int32_t count = 0;
    for (int32_t lag : lags) {
        for (int32_t j = m; j < kMultipleBound; j += m) {
            if (std::abs(j - lag) <= kLagTolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Energy of the frame after the slowly adapted whitening filter.
float whitened_energy(const float* x, const lpc_vector& a) {
    std::array<float, kVadResidualSamples> residual;
    for (int n = kVadFirstSample; n < kFrameSamples; ++n) {
        float prediction = 0.0f;
        for (int i = 0; i < kLpcOrder; ++i) prediction += a[i] * x[n - 1 - i];
        residual[n - kVadFirstSample] = x[n] - prediction;
    }
    return energy(residual.data(), kVadResidualSamples) * kVadEnergyScale;
}

}  // namespace

float vad_threshold_factor(float noise_level) {
    if (noise_level == kVadNoiseFloor) return kVadFactorAtFloor;
    if (noise_level >= kVadHighNoise) return kVadFactorHighNoise;
    // Row i covers the octave 128 * 2^i < N <= 256 * 2^i.
    int row = kVadThresholdRows - 1;
    float lower = kVadHighNoise * 0.5f;
    while (row > 0 && !(noise_level > lower)) {
        --row;
        lower *= 0.5f;
    }
    return vad_threshold_slopes[row] * noise_level + vad_threshold_offsets[row];
}

int32_t detect_voice_activity(const float* frame, int32_t vad_mode, int16_t tone_history, vad_state& vad) {
    if (vad_mode == 0) return 1;

    // Steady pitch or a tone: the noise estimate must not rise.
    const bool tone = (static_cast<uint16_t>(tone_history) & 0x8000u) != 0;
    if (count_periodic_lags(vad.lag_history) == 4 || tone)
        vad.adapt_count += 2;
    else
        vad.adapt_count -= 1;
    vad.adapt_count = std::clamp(vad.adapt_count, 0, kAdaptCountMax);

    const float e = whitened_energy(frame, vad.inverse_filter);

    // The noise estimate follows the previous frame's energy downwards at
    // once, and creeps upwards only while there is no pitch evidence.
    if (vad.frame_energy < vad.noise_level)
        vad.noise_level = 0.75f * vad.frame_energy + 0.25f * vad.noise_level;
    vad.noise_level *= (vad.adapt_count == 0) ? kNoiseRise : kNoiseDecay;
    vad.frame_energy = e;
    vad.noise_level = std::clamp(vad.noise_level, kVadNoiseFloor, kVadNoiseCeiling);

    const bool raw_speech = e >= vad.noise_level * vad_threshold_factor(vad.noise_level);

    // Hangover: two raw-speech frames in a row hold speech for six frames
    // after the activity count has run down.
    if (raw_speech) {
        ++vad.active_count;
        ++vad.hangover;
    } else if (vad.active_count > 0) {
        --vad.active_count;
    }
    if (vad.active_count >= 2) {
        vad.hangover = kHangoverFrames;
        vad.active_count = std::min(vad.active_count, kActiveCountMax);
    }
    int32_t decision = raw_speech ? 1 : 0;
    if (vad.hangover != 0) {
        decision = 1;
        if (vad.active_count == 0) --vad.hangover;
    }

    // The driver stores this frame's open-loop lags in entries 2-3.
    vad.lag_history[0] = vad.lag_history[2];
    vad.lag_history[1] = vad.lag_history[3];
    return decision;
}

}  // namespace g723
