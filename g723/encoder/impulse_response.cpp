#include "g723/encoder/impulse_response.h"

#include "g723/decoder/synthesis_filter.h"

namespace g723 {

namespace {

constexpr int N = kSubframeSamples;

// Runs the synthesis and weighting stages of K filters on a unit impulse,
// sample by sample across the K filters, then applies each comb.
template <int K>
void impulse_responses(float* const* h, const lpc_vector* const* a, const weighting_coefficients* const* w,
                       const int32_t* lag, const float* gain) {
    // Ten zero states in front of each stage's 60 outputs.
    float s[K][kLpcOrder + N] = {};
    float u[K][kLpcOrder + N] = {};
    for (int n = 0; n < N; ++n) {
        const float delta = n == 0 ? 1.0f : 0.0f;
        for (int f = 0; f < K; ++f) {
            float* sn = &s[f][kLpcOrder + n];
            *sn = synthesis_step(delta, *a[f], sn);
            u[f][kLpcOrder + n] = pole_zero_step(sn, &u[f][kLpcOrder + n], *w[f]);
        }
    }
    for (int f = 0; f < K; ++f) {
        const float* un = &u[f][kLpcOrder];
        for (int n = 0; n < N; ++n) h[f][n] = un[n];
        // The comb reads the unshaped weighted response, so it stays one FIR
        // tap even when the lag is shorter than half a subframe.
        for (int n = lag[f]; n < N; ++n) h[f][n] = un[n] - gain[f] * un[n - lag[f]];
    }
}

}  // namespace

void compute_impulse_response(std::span<float, N> h, const lpc_vector& a, const weighting_coefficients& w,
                              int32_t lag, float gain) {
    float* out[1] = {h.data()};
    const lpc_vector* filters[1] = {&a};
    const weighting_coefficients* weights[1] = {&w};
    impulse_responses<1>(out, filters, weights, &lag, &gain);
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
