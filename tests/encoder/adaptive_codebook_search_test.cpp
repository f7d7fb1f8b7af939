// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/adaptive_codebook_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "g723/dsp/acb_vector.h"
#include "g723/encoder/impulse_response.h"
#include "tests/encoder/filter_test_support.h"

namespace g723 {
namespace {

constexpr int N = kSubframeSamples;

std::array<float, N> typical_response(int32_t lag = 45, float gain = 0.2f) {
    const lpc_vector a = test::stable_lpc();
    std::array<float, N> h;
    compute_impulse_response(h, a, test::weights_of(a), lag, gain);
    return h;
}

// 145 past samples (plus room for the subframe) of random excitation, or of
// a random pattern repeated with the given period.
std::vector<float> past_excitation(unsigned seed, int period = 0) {
    std::vector<float> e = test::random_signal(kExcitationPast + N, 3000.0f, seed);
    if (period > 0)
        for (int i = kExcitationPast - period - 1; i >= 0; --i) e[i] = e[i + period];
    return e;
}

std::array<float, N> filtered(const std::array<float, N>& h, const std::array<float, N>& e) {
    std::array<float, N> y{};
    for (int n = 0; n < N; ++n)
        for (int i = 0; i <= n; ++i) y[n] += h[n - i] * e[i];
    return y;
}

double energy_of(const std::array<float, N>& x) {
    double e = 0.0;
    for (float v : x) e += double(v) * v;
    return e;
}

// The recursively built taps of every candidate must equal a direct
// convolution of h with that candidate's own periodically extended tap
// signal, which the decoder's lagged-excitation buffer defines. The lags
// cover repetition inside the subframe (up to 61), none (62 on), the
// boundary where the period starts at sample 60, and the longest lags.
TEST(AdaptiveCodebookSearchTest, FilteredTapsEqualDirectConvolutionOfEachCandidate) {
    const std::array<float, N> h = typical_response(23, 0.3f);
    const std::vector<float> e = past_excitation(3);
    for (int first : {17, 18, 19, 25, 29, 30, 31, 40, 57, 58, 59, 60, 61, 62, 63, 90, 120, 139}) {
        std::array<filtered_taps, 3> taps;
        filter_candidate_taps(taps, h, e.data(), first);
        for (int c = 0; c < 3; ++c) {
            lagged_excitation v;
            fetch_lagged_excitation(v, e.data(), first + c);
            for (int t = 0; t < 5; ++t) {
                double scale = 1.0;
                std::vector<double> ref(N, 0.0);
                for (int n = 0; n < N; ++n) {
                    for (int i = 0; i <= n; ++i) ref[n] += double(h[n - i]) * v[i + 3 + t];
                    scale = std::max(scale, std::fabs(ref[n]));
                }
                for (int n = 0; n < N; ++n)
                    ASSERT_NEAR(taps[c][t][n], ref[n], 2e-5 * scale)
                        << "lag " << first + c << " tap " << t << " n " << n;
            }
            // Without repetition (first lag 62 on) the search reuses the
            // correlations of a candidate's taps for the next one's taps one
            // tap up: they must be the same floats.
            if (c > 0 && first >= 62) {
                for (int t = 1; t < 5; ++t)
                    ASSERT_EQ(taps[c][t], taps[c - 1][t - 1]) << "lag " << first + c << " tap " << t;
            }
        }
    }
}

// A gain row's score against the correlation vector is half the reduction
// of the weighted error, for rows of both codebooks.
TEST(AdaptiveCodebookSearchTest, RowScoreIsHalfTheErrorReduction) {
    const std::array<float, N> h = typical_response();
    const std::vector<float> e = past_excitation(4);
    const std::vector<float> noise = test::random_signal(N, 5000.0f, 5);
    std::array<float, N> x;
    std::copy(noise.begin(), noise.end(), x.begin());
    std::array<filtered_taps, 1> taps;
    filter_candidate_taps(taps, h, e.data(), 50);
    const acb_correlations p = compute_acb_correlations(x, taps[0]);

    for (int s = 0; s < 2; ++s) {
        const int rows = s == 0 ? kAcbGainRows85 : kAcbGainRows170;
        for (int m = 0; m < rows; m += 7) {
            const acb_gain_row& row = acb_gain_codebooks[s][m];
            double score = 0.0, residual = 0.0, target = 0.0;
            for (int i = 0; i < kAcbGainRowLength; ++i) score += double(row[i]) * p[i];
            for (int n = 0; n < N; ++n) {
                double y = 0.0;
                for (int t = 0; t < 5; ++t) y += double(row[t]) * taps[0][t][n];
                residual += (x[n] - y) * (x[n] - y);
                target += double(x[n]) * x[n];
            }
            // The stored squared and cross terms are within 2^-13 of the
            // true products.
            EXPECT_NEAR(score, 0.5 * (target - residual), 2e-3 * target) << "codebook " << s << " row " << m;
        }
    }
}

TEST(AdaptiveCodebookSearchTest, AllZeroTargetKeepsTheLagAndGivesNoExcitation) {
    const std::array<float, N> h = typical_response();
    const std::vector<float> e = past_excitation(6);
    frame_params params{};
    params.open_loop_lag = {75, 30};
    for (int j = 0; j < kSubframes; ++j) {
        std::array<float, N> x{};
        std::array<float, N> acb;
        acb.fill(1.0f);
        search_adaptive_codebook(x, h, e.data(), params, j, acb);
        EXPECT_EQ(params.subframes[j].acb_gain_index, 0) << j;
        EXPECT_EQ(params.subframes[j].lag_offset, 1) << j;
        for (int n = 0; n < N; ++n) {
            EXPECT_EQ(acb[n], 0.0f);
            EXPECT_EQ(x[n], 0.0f);
        }
    }
    EXPECT_EQ(params.open_loop_lag[0], 75);
    EXPECT_EQ(params.open_loop_lag[1], 30);
}

struct lag_case {
    int32_t open_loop_lag;  // the half frame's lag element as the search finds it
    int subframe;
    int period;             // period of the past excitation and of the target
    int32_t lowest_lag;     // the candidate lags the search may choose
    int32_t highest_lag;
};

// Named in test listings by what it searches, not by its bytes.
std::string lag_case_name(const lag_case& c) {
    return "Lag" + std::to_string(c.open_loop_lag) + "Subframe" + std::to_string(c.subframe) + "Period" +
           std::to_string(c.period);
}
void PrintTo(const lag_case& c, std::ostream* out) { *out << lag_case_name(c); }

class LagRangeTest : public ::testing::TestWithParam<lag_case> {};

// Targets made from a periodic past excitation: the chosen lag lies in the
// subframe's candidate range, the gain index addresses the codebook that the
// coded lag selects, the adaptive excitation removes much of the target,
// and the target update subtracts exactly its filtered form.
TEST_P(LagRangeTest, ChoosesACandidateLagAndAValidGainRow) {
    const lag_case c = GetParam();
    const std::array<float, N> h = typical_response(c.period, 0.25f);
    const std::vector<float> e = past_excitation(10 + c.period, c.period);
    std::array<float, N> adaptive;
    decode_acb_vector(adaptive, e.data(), c.period, 1, acb_gain_selector(c.period) == 0 ? 60 : 120);
    const std::array<float, N> original = filtered(h, adaptive);
    std::array<float, N> x = original;
    const double before = energy_of(x);

    frame_params params{};
    params.open_loop_lag = {c.open_loop_lag, c.open_loop_lag};
    std::array<float, N> acb;
    search_adaptive_codebook(x, h, e.data(), params, c.subframe, acb);
    const int half = c.subframe / 2;
    const subframe_params& sub = params.subframes[c.subframe];
    const int32_t lag = params.open_loop_lag[half] + sub.lag_offset - 1;
    EXPECT_GE(lag, c.lowest_lag);
    EXPECT_LE(lag, c.highest_lag);
    if (c.subframe % 2 == 0) EXPECT_EQ(sub.lag_offset, 1);
    else EXPECT_EQ(params.open_loop_lag[half], c.open_loop_lag);
    const int32_t rows = acb_gain_selector(params.open_loop_lag[half]) == 0 ? kAcbGainRows85 : kAcbGainRows170;
    EXPECT_GT(sub.acb_gain_index, 0);
    EXPECT_LT(sub.acb_gain_index, rows);
    EXPECT_LT(energy_of(x), 0.5 * before);
    const std::array<float, N> y = filtered(h, acb);
    for (int n = 0; n < N; ++n) EXPECT_NEAR(x[n], original[n] - y[n], 1e-4 * std::sqrt(before)) << n;
}

INSTANTIATE_TEST_SUITE_P(
    Lags, LagRangeTest,
    ::testing::Values(lag_case{19, 0, 18, 18, 19},     // even subframes: L-1 and L only
                      lag_case{144, 2, 139, 139, 140}, // open-loop 144 is searched as 140
                      lag_case{18, 1, 17, 17, 19},     // odd subframes: L-1 .. L+1
                      lag_case{140, 3, 141, 139, 141}, // the longest lag of all
                      lag_case{58, 0, 57, 57, 58},     // 57 and 58 use different codebooks
                      lag_case{61, 0, 60, 60, 61}),    // one period starting inside the subframe
    [](const ::testing::TestParamInfo<lag_case>& info) { return lag_case_name(info.param); });

// The search against a plain statement of it: taps by direct convolution,
// correlations in double precision, then the two-stage gain search with
// one running maximum shared by centroids, members and candidates. On
// random targets and excitations the fast search must code the same lag
// and gain row.
TEST(AdaptiveCodebookSearchTest, AgreesWithADirectStatementOfTheSearch) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> lag_dist(18, 144);
    int agreements = 0;
    for (int trial = 0; trial < 200; ++trial) {
        const int j = trial % kSubframes;
        const int32_t open_loop = j % 2 == 0 ? lag_dist(rng) : std::min(lag_dist(rng), 140);
        const std::array<float, N> h = typical_response(20 + trial % 100, 0.2f);
        const std::vector<float> e = past_excitation(1000 + trial, trial % 3 == 0 ? open_loop : 0);
        const std::vector<float> noise = test::random_signal(N, 4000.0f, 2000 + trial);
        std::array<float, N> target;
        std::copy(noise.begin(), noise.end(), target.begin());
        if (trial % 2 == 0) {
            // Half of the targets carry a real adaptive contribution.
            std::array<float, N> adaptive;
            decode_acb_vector(adaptive, e.data(), std::min(open_loop, 141), 1, 30);
            const std::array<float, N> y = filtered(h, adaptive);
            for (int n = 0; n < N; ++n) target[n] = 0.3f * target[n] + y[n];
        }

        // Direct statement.
        const int32_t base = j % 2 == 0 ? std::min(open_loop, 140) : open_loop;
        const int candidates = j % 2 == 0 ? 2 : 3;
        double best = 0.0;
        int best_row = 0, best_candidate = 1;
        for (int c = 0; c < candidates; ++c) {
            const int32_t lag = base - 1 + c;
            lagged_excitation v;
            fetch_lagged_excitation(v, e.data(), lag);
            double f[5][N] = {};
            for (int t = 0; t < 5; ++t)
                for (int n = 0; n < N; ++n)
                    for (int i = 0; i <= n; ++i) f[t][n] += double(h[n - i]) * v[i + 3 + t];
            double p[20];
            auto dot = [&](const double* a, const double* b) {
                double acc = 0.0;
                for (int n = 0; n < N; ++n) acc += a[n] * b[n];
                return acc;
            };
            double xd[N];
            for (int n = 0; n < N; ++n) xd[n] = target[n];
            for (int t = 0; t < 5; ++t) {
                p[t] = dot(xd, f[t]);
                p[5 + t] = 0.5 * dot(f[t], f[t]);
            }
            const int pairs[10][2] = {{1, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1}, {3, 2}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};
            for (int q = 0; q < 10; ++q) p[10 + q] = dot(f[pairs[q][0]], f[pairs[q][1]]);
            const int s = acb_gain_selector(j % 2 == 0 ? lag : base);
            auto score = [&](const acb_gain_row& row) {
                double acc = 0.0;
                for (int i = 0; i < 20; ++i) acc += double(row[i]) * p[i];
                return acc;
            };
            const int clusters = s == 0 ? 8 : 16;
            int cluster = 0;
            for (int k = 0; k < clusters; ++k) {
                const double sc = score(acb_gain_cluster_centroids[s][k]);
                if (sc > best) {
                    best = sc;
                    cluster = k;
                }
            }
            const int first = acb_gain_cluster_first_row[8 * s + cluster];
            for (int m = first; m < first + acb_gain_cluster_size[8 * s + cluster]; ++m) {
                const double sc = score(acb_gain_codebooks[s][m]);
                if (sc > best) {
                    best = sc;
                    best_row = 85 * s + m;
                    best_candidate = c;
                }
            }
        }

        frame_params params{};
        params.open_loop_lag = {open_loop, open_loop};
        std::array<float, N> x = target, acb;
        search_adaptive_codebook(x, h, e.data(), params, j, acb);
        const subframe_params& sub = params.subframes[j];
        const int32_t lag = params.open_loop_lag[j / 2] + sub.lag_offset - 1;
        if (lag == base - 1 + best_candidate && sub.acb_gain_index == acb_gain_row_to_index[best_row])
            ++agreements;
        else
            ADD_FAILURE() << "trial " << trial << ": lag " << lag << " index " << sub.acb_gain_index
                          << ", direct: lag " << base - 1 + best_candidate << " index "
                          << acb_gain_row_to_index[best_row];
    }
    EXPECT_EQ(agreements, 200);
}

}  // namespace
}  // namespace g723
