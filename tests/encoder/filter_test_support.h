// SPDX-License-Identifier: BSD-2-Clause
// Shared test inputs for the encoder's subframe filters: a stable
// synthesis filter and its weighting coefficients, and plain double-precision
// reference filters written from their difference equations.
#pragma once

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "g723/dsp/pole_zero_filter.h"
#include "g723/tables/codec_constants.h"

namespace g723::test {

// A resonant but stable 10th-order synthesis filter (two formant-like pole
// pairs and six real poles), expanded from its poles.
inline lpc_vector stable_lpc() {
    // A(z) = prod (1 - p_k z^-1); roots: 0.9 e^{+-j0.3}, 0.8 e^{+-j1.2}, and
    // 0.5, -0.4, 0.3, -0.2, 0.1, 0.6.
    std::vector<double> poly{1.0};
    auto multiply = [&](const std::vector<double>& f) {
        std::vector<double> out(poly.size() + f.size() - 1, 0.0);
        for (std::size_t i = 0; i < poly.size(); ++i)
            for (std::size_t j = 0; j < f.size(); ++j) out[i + j] += poly[i] * f[j];
        poly = out;
    };
    auto pair = [&](double r, double theta) { multiply({1.0, -2.0 * r * std::cos(theta), r * r}); };
    pair(0.9, 0.3);
    pair(0.8, 1.2);
    for (double p : {0.5, -0.4, 0.3, -0.2, 0.1, 0.6}) multiply({1.0, -p});
    lpc_vector a{};
    for (int i = 0; i < kLpcOrder; ++i) a[i] = static_cast<float>(-poly[i + 1]);
    return a;
}

inline weighting_coefficients weights_of(const lpc_vector& a) {
    static constexpr std::array<float, 10> zero{0.9f, 0.81f, 0.729f, 0.6561f, 0.59049f,
                                                0.531441f, 0.478297f, 0.430467f, 0.38742f, 0.348678f};
    static constexpr std::array<float, 10> pole{0.5f, 0.25f, 0.125f, 0.0625f, 0.03125f,
                                                0.015625f, 0.007812f, 0.003906f, 0.001953f, 0.000977f};
    weighting_coefficients w{};
    for (int i = 0; i < kLpcOrder; ++i) {
        w[i] = a[i] * zero[i];
        w[kLpcOrder + i] = a[i] * pole[i];
    }
    return w;
}

// Synthesis then weighting, in double precision, over a whole signal with
// zero initial state; returns the weighted output u.
inline std::vector<double> reference_weighted_synthesis(const std::vector<double>& excitation,
                                                        const lpc_vector& a,
                                                        const weighting_coefficients& w) {
    const std::size_t n = excitation.size();
    std::vector<double> s(n, 0.0), u(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        double acc = excitation[i];
        for (int k = 1; k <= kLpcOrder; ++k)
            if (i >= static_cast<std::size_t>(k)) acc += a[k - 1] * s[i - k];
        s[i] = acc;
        double v = s[i];
        for (int k = 1; k <= kLpcOrder; ++k)
            if (i >= static_cast<std::size_t>(k)) v += -w[k - 1] * s[i - k] + w[kLpcOrder + k - 1] * u[i - k];
        u[i] = v;
    }
    return u;
}

inline std::vector<float> random_signal(std::size_t n, float scale, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> out(n);
    for (float& x : out) x = dist(rng);
    return out;
}

}  // namespace g723::test
