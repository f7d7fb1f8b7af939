// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/impulse_response.h"

#include <array>

#include "g723/dsp/synthesis_filter.h"

namespace g723 {

namespace {

constexpr int N = kSubframeSamples;

// Runs the synthesis and weighting stages of K filters on a unit impulse,
// then applies each comb. The state is held sample-major (all K filters'
// values of one instant side by side), so that the K recursions run in
// vector lanes. Each lane performs exactly the operations of synthesis_step
// and pole_zero_step, in their order.
template <int K>
void impulse_responses(float* const* h, const lpc_vector* const* a, const weighting_coefficients* const* w,
                       const int32_t* lag, const float* gain) {
    // Coefficients lane by lane.
    float ca[kLpcOrder][K];
    float cb[kLpcOrder][K];
    float cc[kLpcOrder][K];
    for (int i = 0; i < kLpcOrder; ++i)
        for (int f = 0; f < K; ++f) {
            ca[i][f] = (*a[f])[i];
            cb[i][f] = (*w[f])[i];
            cc[i][f] = (*w[f])[kLpcOrder + i];
        }
    // Ten zero states in front of each stage's 60 outputs.
    float s[kLpcOrder + N][K] = {};
    float u[kLpcOrder + N][K] = {};
    for (int n = kLpcOrder; n < kLpcOrder + N; ++n) {
        float acc[K];
        const float delta = n == kLpcOrder ? 1.0f : 0.0f;
        for (int f = 0; f < K; ++f) acc[f] = delta;
        for (int i = kLpcOrder - 1; i >= 0; --i)
            for (int f = 0; f < K; ++f) acc[f] += ca[i][f] * s[n - 1 - i][f];
        for (int f = 0; f < K; ++f) s[n][f] = acc[f];
        for (int f = 0; f < K; ++f) acc[f] = 0.0f;
        for (int i = kLpcOrder - 1; i >= 1; --i)
            for (int f = 0; f < K; ++f) {
                acc[f] -= cb[i][f] * s[n - 1 - i][f];
                acc[f] += cc[i][f] * u[n - 1 - i][f];
            }
        for (int f = 0; f < K; ++f) acc[f] += s[n][f] - cb[0][f] * s[n - 1][f];
        for (int f = 0; f < K; ++f) u[n][f] = acc[f] + cc[0][f] * u[n - 1][f];
    }
    for (int f = 0; f < K; ++f) {
        for (int n = 0; n < N; ++n) h[f][n] = u[kLpcOrder + n][f];
        // The comb reads the unshaped weighted response, so it stays one FIR
        // tap even when the lag is shorter than half a subframe.
        for (int n = lag[f]; n < N; ++n) h[f][n] = u[kLpcOrder + n][f] - gain[f] * u[kLpcOrder + n - lag[f]][f];
    }
}

}  // namespace

void compute_impulse_response(std::span<float, N> h, const lpc_vector& a, const weighting_coefficients& w,
                              int32_t lag, float gain) {
    std::array<float, kLpcOrder + N> s{};
    std::array<float, kLpcOrder + N> u{};
    for (int n = 0; n < N; ++n) {
        float* sn = &s[kLpcOrder + n];
        *sn = synthesis_step(n == 0 ? 1.0f : 0.0f, a, sn);
        u[kLpcOrder + n] = pole_zero_step(sn, &u[kLpcOrder + n], w);
    }
    const float* un = &u[kLpcOrder];
    for (int n = 0; n < N; ++n) h[n] = un[n];
    for (int n = lag; n < N; ++n) h[n] = un[n] - gain * un[n - lag];
}

void compute_impulse_responses(std::array<impulse_response, kSubframes>& h,
                               const std::array<lpc_vector, kSubframes>& a,
                               const std::array<weighting_coefficients, kSubframes>& w,
                               const std::array<harmonic_shaping, kSubframes>& shaping) {
    float* out[kSubframes];
    const lpc_vector* filters[kSubframes];
    const weighting_coefficients* weights[kSubframes];
    int32_t lags[kSubframes];
    float gains[kSubframes];
    for (int k = 0; k < kSubframes; ++k) {
        out[k] = h[k].data();
        filters[k] = &a[k];
        weights[k] = &w[k];
        lags[k] = shaping[k].lag;
        gains[k] = shaping[k].gain;
    }
    impulse_responses<kSubframes>(out, filters, weights, lags, gains);
}

}  // namespace g723
