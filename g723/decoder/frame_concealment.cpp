// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/frame_concealment.h"

#include <algorithm>

#include "g723/decoder/lag_search.h"
#include "g723/dsp/dot_product.h"

namespace g723 {
namespace {

constexpr float kVoicingThreshold = 0.125f;
constexpr int kAnalysisSamples = kFrameSamples / 2;  // the frame's last 120 samples
constexpr float kNoiseScale = 1.0f / 32768.0f;
constexpr int kExcitationRegion = kExcitationPast + kFrameSamples;

}  // namespace

int32_t find_concealment_lag(const float* history, int32_t open_loop_lag, decoder_cng_state& cng) {
    const float* x = history + kExcitationPast + kFrameSamples - kAnalysisSamples;
    const int32_t m = lag_search_centre(open_loop_lag);
    const auto [lag, best] =
        best_correlated_lag(x, m - kLagSearchHalfWidth, m + kLagSearchHalfWidth, kAnalysisSamples, -1);
    if (lag == 0) return 0;

    const float e = energy(x, kAnalysisSamples);
    const float e_lag = energy(x - lag, kAnalysisSamples);
    cng.noise_gain = e;
    return best * best > kVoicingThreshold * e * e_lag ? lag : 0;
}

int32_t concealment_random(int32_t& seed) {
    const int32_t next = (521 * seed + 259) & 0xffff;
    seed = next >= 0x8000 ? next - 0x10000 : next;
    return seed;
}

void conceal_lost_frame(std::span<float, kFrameSamples> working, float* history, int32_t lag,
                        float gain, int32_t erasure_count, int32_t& seed) {
    float* e = history + kExcitationPast;
    if (erasure_count >= kMutedErasureCount) {
        std::fill(working.begin(), working.end(), 0.0f);
        std::fill(history, history + kExcitationRegion, 0.0f);
        return;
    }
    if (lag != 0) {
        // Continue the last pitch period; once n reaches the lag the copy
        // repeats samples written in this same loop.
        const int32_t period = std::clamp<int32_t>(lag, 1, kExcitationPast);
        for (int n = 0; n < kFrameSamples; ++n) e[n] = e[n - period];
        for (int n = 0; n < kFrameSamples; ++n) {
            e[n] *= kConcealmentAttenuation;
            working[n] = e[n];
        }
        return;
    }
    for (int n = 0; n < kFrameSamples; ++n)
        working[n] = static_cast<float>(concealment_random(seed)) * gain * kNoiseScale;
    // Noise is no pitch history: the next good frame starts from silence.
    std::fill(history, history + kExcitationRegion, 0.0f);
}

}  // namespace g723
