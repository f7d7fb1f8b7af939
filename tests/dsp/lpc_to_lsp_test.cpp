// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/lpc_to_lsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "g723/dsp/levinson_durbin.h"

namespace g723 {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Independent reference: with A'(z) the bandwidth-expanded filter, the sum
// and difference polynomials vanish on the unit circle where the real and
// the imaginary part of exp(j 5.5 w) A'(exp(j w)) vanish. Their zeros in
// (0, pi), sorted, in LSP units.
std::vector<double> reference_lsp(const lpc_vector& a) {
    std::array<double, kLpcOrder> expanded;
    for (int i = 1; i <= kLpcOrder; ++i) expanded[i - 1] = a[i - 1] * std::pow(0.994, i);
    auto parts = [&expanded](double w) {
        std::complex<double> sum = 1.0;
        for (int i = 1; i <= kLpcOrder; ++i) sum -= expanded[i - 1] * std::polar(1.0, -w * i);
        return sum * std::polar(1.0, 5.5 * w);
    };
    std::vector<double> roots;
    constexpr int kSteps = 2048;
    for (int part = 0; part < 2; ++part) {
        auto f = [&](double w) { return part == 0 ? parts(w).real() : parts(w).imag(); };
        for (int i = 0; i < kSteps; ++i) {
            double lo = kPi * (i + 0.5) / kSteps;
            double hi = kPi * (i + 1.5) / kSteps;
            if (hi >= kPi) break;
            if (f(lo) * f(hi) >= 0.0) continue;
            for (int it = 0; it < 40; ++it) {
                const double mid = 0.5 * (lo + hi);
                (f(lo) * f(mid) <= 0.0 ? hi : lo) = mid;
            }
            roots.push_back(128.0 / kPi * (lo + hi));
        }
    }
    std::sort(roots.begin(), roots.end());
    return roots;
}

TEST(LpcToLsp, FlatSpectrumGivesEquallySpacedFrequencies) {
    const lpc_vector flat{};
    lsp_vector previous;
    previous.fill(-1.0f);
    const lsp_vector lsp = lpc_to_lsp(flat, previous);
    const float expected[kLpcOrder] = {23.27f, 46.56f, 69.82f, 93.10f, 116.36f,
                                       139.64f, 162.90f, 186.18f, 209.44f, 232.73f};
    for (int k = 0; k < kLpcOrder; ++k) {
        EXPECT_NEAR(lsp[k], expected[k], 0.01f) << k;
        EXPECT_NEAR(lsp[k], 256.0f * (k + 1) / 11.0f, 0.05f) << k;
    }
}

TEST(LpcToLsp, AgreesWithTheUnitCircleZerosOfAnalysedFilters) {
    std::mt19937 rng(17);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        // Noise through two random resonators, analysed like a subframe.
        std::vector<double> x(240, 0.0);
        double c1 = 2.0 * (0.7 + 0.25 * uniform(rng)) * std::cos(kPi * uniform(rng));
        double c2 = 2.0 * (0.7 + 0.25 * uniform(rng)) * std::cos(kPi * uniform(rng));
        for (size_t n = 4; n < x.size(); ++n)
            x[n] = noise(rng) + c1 * x[n - 1] - 0.8 * x[n - 2] + c2 * x[n - 3] * 0.3 - 0.1 * x[n - 4];
        std::array<float, kLpcOrder + 1> r;
        for (int k = 0; k <= kLpcOrder; ++k) {
            double sum = 0.0;
            for (size_t n = k; n < x.size(); ++n) sum += x[n] * x[n - k];
            r[k] = static_cast<float>(sum);
        }
        lpc_vector a;
        levinson_durbin(a, r.data() + 1, r[0]);
        lsp_vector previous;
        previous.fill(-1.0f);
        const lsp_vector lsp = lpc_to_lsp(a, previous);
        const std::vector<double> expected = reference_lsp(a);
        ASSERT_EQ(expected.size(), 10u) << trial;
        ASSERT_NE(lsp[0], -1.0f) << trial;
        // Linear interpolation over a 2-unit grid interval errs by up to about
        // a tenth of a unit where the polynomial bends.
        for (int k = 0; k < kLpcOrder; ++k) EXPECT_NEAR(lsp[k], expected[k], 0.2) << "trial " << trial << " lsp " << k;
        for (int k = 1; k < kLpcOrder; ++k) EXPECT_LT(lsp[k - 1], lsp[k]) << trial;
    }
}

TEST(LpcToLsp, RootsLostOnTheGridKeepThePreviousVector) {
    // A resonance on the unit circle at 2 rad: after bandwidth expansion its
    // LSP pair still falls into one grid interval.
    lpc_vector a{};
    a[0] = static_cast<float>(2.0 * 0.9999 * std::cos(2.0));
    a[1] = static_cast<float>(-0.9999 * 0.9999);
    lsp_vector previous;
    for (int k = 0; k < kLpcOrder; ++k) previous[k] = 20.0f * (k + 1) + 0.5f;
    EXPECT_EQ(lpc_to_lsp(a, previous), previous);
}

TEST(FindLspRoots, CountsOnlyStrictSignChanges) {
    // With Q equal to the flat-spectrum P, the search alternates between two
    // copies of P and finds only P's five zeros (256 (2k + 1) / 11).
    const lsp_polynomial flat = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -0.5f};
    lsp_vector out{};
    EXPECT_EQ(find_lsp_roots(flat, flat, out), 5);
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(out[k], 256.0f * (2 * k + 1) / 11.0f, 0.05f) << k;

    // A constant has no sign change at all.
    const lsp_polynomial constant = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 3.0f};
    EXPECT_EQ(find_lsp_roots(constant, constant, out), 0);
}

// The polynomial 16 prod (cos w - cos w_i), the form the search evaluates
// (cos 5w + f1 cos 4w + ... + f4 cos w + f5), from its zeros in LSP units
// (pi / 256 each): built by multiplying Chebyshev series, T1 Tm = (Tm+1 +
// Tm-1) / 2, and evaluated from the product itself.
struct lsp_zeros {
    std::array<double, 5> units;

    lsp_polynomial coefficients() const {
        std::array<double, 6> t{1.0};  // t[m]: the weight of cos m w
        for (double u : units) {
            const double c = std::cos(u * kPi / 256.0);
            std::array<double, 6> next{};
            for (int m = 0; m < 5; ++m) {
                next[m + 1] += m == 0 ? t[m] : 0.5 * t[m];
                if (m > 0) next[m - 1] += 0.5 * t[m];
                next[m] -= c * t[m];
            }
            t = next;
        }
        lsp_polynomial f;
        for (int k = 0; k <= 5; ++k) f[k] = static_cast<float>(16.0 * t[5 - k]);
        return f;
    }
    double at(double w) const {
        double v = 16.0;
        for (double u : units) v *= std::cos(w) - std::cos(u * kPi / 256.0);
        return v;
    }
};

TEST(FindLspRoots, AZeroBeforeTheFirstGridPointIsPlacedFromTheValueAtAngleZero) {
    // P's first zero at 1.5 units lies between angle 0 and the first grid
    // point (2 units): the search must start from P's true value at angle 0
    // (the sum of its coefficients) and interpolate linearly from there.
    // Near 0 the polynomial is a parabola in w, so the interpolated zero
    // lies below the true one, where the two values put it. The other
    // zeros lie off the grid's points (odd units).
    const lsp_zeros p{{1.5, 51.0, 101.0, 151.0, 201.0}};
    const lsp_zeros q{{27.0, 77.0, 127.0, 177.0, 227.0}};
    lsp_vector out{};
    ASSERT_EQ(find_lsp_roots(p.coefficients(), q.coefficients(), out), kLpcOrder);
    const double at_zero = std::fabs(p.at(0.0));
    const double at_first_point = std::fabs(p.at(kPi / 128.0));
    const double expected = 2.0 * at_zero / (at_zero + at_first_point);
    EXPECT_NEAR(expected, 1.125, 0.01);
    EXPECT_NEAR(out[0], expected, 0.01);
    const double others[kLpcOrder] = {0.0, 27.0, 51.0, 77.0, 101.0, 127.0, 151.0, 177.0, 201.0, 227.0};
    for (int k = 1; k < kLpcOrder; ++k) EXPECT_NEAR(out[k], others[k], 0.1) << k;
}

}  // namespace
}  // namespace g723
