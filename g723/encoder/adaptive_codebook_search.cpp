// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/adaptive_codebook_search.h"

#include <algorithm>

#include "g723/dsp/acb_vector.h"
#include "g723/dsp/dot_product.h"
#include "g723/dsp/response_filter.h"

namespace g723 {

namespace {

constexpr int N = kSubframeSamples;

// The largest lag the even subframes may choose; with the lag L + 1 tried
// after them, the odd subframes stay within 141.
constexpr int32_t kMaxEvenLag = 140;

// Scores of the four rows of a block against p: each row's score is the
// same sum, in the same order, as dot_product(row, p, 20) (eight running
// partial sums over values 0..15, then values 16..19 in turn), so a block
// gives exactly the scores of its rows one by one.
std::array<float, kAcbGainBlockRows> score_block(const acb_gain_block& b, const acb_correlations& p) {
    constexpr int R = kAcbGainBlockRows;
    std::array<std::array<float, R>, 8> acc;
    for (int l = 0; l < 8; ++l)
        for (int r = 0; r < R; ++r) acc[l][r] = 0.0f + b[l][r] * p[l];
    for (int l = 0; l < 8; ++l)
        for (int r = 0; r < R; ++r) acc[l][r] += b[8 + l][r] * p[8 + l];
    std::array<float, R> tail{};
    for (int k = 16; k < kAcbGainRowLength; ++k)
        for (int r = 0; r < R; ++r) tail[r] += b[k][r] * p[k];
    std::array<float, R> score;
    for (int r = 0; r < R; ++r)
        score[r] = (((acc[0][r] + acc[1][r]) + (acc[2][r] + acc[3][r])) +
                    ((acc[4][r] + acc[5][r]) + (acc[6][r] + acc[7][r]))) +
                   tail[r];
    return score;
}

// Scores of blocks first_block .. last_block into scores, row by row.
void score_blocks(float* scores, const acb_gain_block* blocks, int first_block, int last_block,
                  const acb_correlations& p) {
    for (int b = first_block; b <= last_block; ++b) {
        const std::array<float, kAcbGainBlockRows> s = score_block(blocks[b], p);
        std::copy(s.begin(), s.end(), scores + kAcbGainBlockRows * b);
    }
}

// From a first candidate lag of 62 on nothing repeats inside the subframe,
// and the recursion builds the taps of lag M + 1 by the very operations that
// built those of lag M one tap lower: F(t, M + 1) equals F(t - 1, M) bit for
// bit. Of the next candidate's correlations only those with F0 are new.
constexpr int32_t kFirstLagWithoutRepetition = 62;

// Position of <F(t1), F(t0)>, t0 < t1, in the correlation vector.
constexpr int cross_term(int t1, int t0) { return 10 + t1 * (t1 - 1) / 2 + t0; }

// The correlations of candidate c + 1 from those of candidate c, when its
// taps f are candidate c's moved one tap up.
acb_correlations next_correlations(std::span<const float, N> x, const filtered_taps& f,
                                   const acb_correlations& previous) {
    acb_correlations p;
    p[0] = dot_product(x.data(), f[0].data(), N);
    p[5] = 0.5f * energy(f[0].data(), N);
    for (int t = 1; t < 5; ++t) {
        p[t] = previous[t - 1];
        p[5 + t] = previous[5 + t - 1];
        p[cross_term(t, 0)] = dot_product(f[t].data(), f[0].data(), N);
        for (int t0 = 1; t0 < t; ++t0) p[cross_term(t, t0)] = previous[cross_term(t - 1, t0 - 1)];
    }
    return p;
}

}  // namespace

void filter_candidate_taps(std::span<filtered_taps> taps, std::span<const float, N> h,
                           const float* history, int32_t first_lag) {
    lagged_excitation v;
    fetch_lagged_excitation(v, history, first_lag);

    int32_t m = first_lag;
    // Leading samples of tap 4 that are true past excitation.
    int k = std::min(m - 2, N);
    // Bound on the repetitions of the last period inside the subframe; the
    // first lag's value bounds every later, longer lag.
    const int repeats = k < N ? (N - k) / m + 1 : 0;

    // Tap 4 of the current candidate: vp(i) = v[7 + i - c], also read at
    // negative i down to -4 (the first samples of taps 0..3) and -2.
    int shift = 0;
    auto vp = [&](int i) { return v[7 + i - shift]; };

    // y: h convolved with the non-repeated part of tap 4; z: h convolved with
    // one period e[-m] .. e[-1] placed at position k (only z[k..59] is used).
    std::array<float, N> y;
    std::array<float, N> z{};
    filter_by_response(y, h, v.data() + 7, k);  // vp(0) .. vp(k - 1)
    if (k < N) {
        z[k] = vp(-2);
        if (k + 1 < N) z[k + 1] = vp(-1) + h[1] * vp(-2);
        for (int n = k + 2; n < N; ++n)
            z[n] = y[n - m] + h[n - m + 1] * vp(-1) + h[n - m + 2] * vp(-2);
    }

    for (std::size_t c = 0; c < taps.size(); ++c) {
        if (c > 0) {
            // One lag longer: the tap signals move one sample back.
            ++m;
            ++k;
            ++shift;
            const float v0 = vp(0);
            for (int n = N - 1; n >= 1; --n) y[n] = y[n - 1] + h[n] * v0;
            y[0] = v0;
            if (repeats > 0) {
                const float v2 = vp(-2);
                for (int n = N - 1; n >= k + 1; --n) z[n] = z[n - 2] + h[n - k] * v2;
                // At a lag of 62 or more the period starts beyond the
                // subframe and nothing of it is needed.
                if (k < N) z[k] = v2;
            }
        }
        // Each sample adds the filtered period once per repetition that has
        // begun by then, in increasing repetition.
        filtered_taps& f = taps[c];
        f[4] = y;
        for (int r = 0; r < repeats && k + r * m < N; ++r) {
            const int start = k + r * m;
            for (int n = start; n < N; ++n) f[4][n] += z[n - r * m];
        }
        // Tap t is tap t + 1 one sample later, periodic part included.
        for (int t = 3; t >= 0; --t) {
            const float first = vp(t - 4);
            f[t][0] = first;
            for (int n = 1; n < N; ++n) f[t][n] = f[t + 1][n - 1] + h[n] * first;
        }
    }
}

acb_correlations compute_acb_correlations(std::span<const float, N> x, const filtered_taps& f) {
    acb_correlations p;
    for (int t = 0; t < 5; ++t) {
        p[t] = dot_product(x.data(), f[t].data(), N);
        p[5 + t] = 0.5f * energy(f[t].data(), N);
    }
    int q = 10;
    for (int t1 = 1; t1 < 5; ++t1)
        for (int t0 = 0; t0 < t1; ++t0) p[q++] = dot_product(f[t1].data(), f[t0].data(), N);
    return p;
}

void search_adaptive_codebook(std::span<float, N> x, std::span<const float, N> h,
                              const float* history, frame_params& params, int j,
                              std::span<float, N> acb) {
    const bool even = (j & 1) == 0;
    const int half = j / 2;
    int32_t lag = params.open_loop_lag[half];
    if (even) lag = std::min(lag, kMaxEvenLag);
    const int candidates = even ? 2 : 3;

    std::array<filtered_taps, 3> taps;
    filter_candidate_taps(std::span<filtered_taps>(taps.data(), candidates), h, history, lag - 1);

    float best_score = 0.0f;
    int best_row = 0;
    int best_candidate = 1;
    acb_correlations p;
    for (int c = 0; c < candidates; ++c) {
        p = c > 0 && lag - 1 >= kFirstLagWithoutRepetition ? next_correlations(x, taps[c], p)
                                                              : compute_acb_correlations(x, taps[c]);

        const int s = acb_gain_selector(even ? lag - 1 + c : lag);
        const int clusters = s == 0 ? kAcbGainClusters85 : kAcbGainClusters170;
        const int list = kAcbGainClusters85 * s;  // the clusters of codebook s in the joint list

        // Scores are computed a block of rows at a time and then compared in
        // row order, as one row at a time would. One running maximum across
        // centroids, members and candidates: a centroid that beats it raises
        // the bar for the members.
        std::array<float, kAcbGainClusters170> centroid_scores;
        score_blocks(centroid_scores.data(), acb_gain_centroid_blocks[s], 0,
                     clusters / kAcbGainBlockRows - 1, p);
        int cluster = 0;
        for (int k = 0; k < clusters; ++k) {
            const float score = centroid_scores[k];
            if (score > best_score) {
                best_score = score;
                cluster = k;
            }
        }
        const int first = acb_gain_cluster_first_row[list + cluster];
        const int end = first + acb_gain_cluster_size[list + cluster];
        std::array<float, kAcbGainRows170 + kAcbGainBlockRows> row_scores;
        score_blocks(row_scores.data(), acb_gain_codebook_blocks[s], first / kAcbGainBlockRows,
                     (end - 1) / kAcbGainBlockRows, p);
        for (int m = first; m < end; ++m) {
            const float score = row_scores[m];
            if (score > best_score) {
                best_score = score;
                best_row = kAcbGainRows85 * s + m;
                best_candidate = c;
            }
        }
    }

    subframe_params& sub = params.subframes[j];
    sub.acb_gain_index = acb_gain_row_to_index[best_row];
    if (even) {
        params.open_loop_lag[half] = lag + best_candidate - 1;
        sub.lag_offset = 1;
    } else {
        sub.lag_offset = best_candidate;
    }

    // The adaptive excitation exactly as a decoder rebuilds it.
    decode_acb_vector(acb, history, params.open_loop_lag[half], sub.lag_offset, sub.acb_gain_index);

    // Target for the fixed codebook: remove the filtered adaptive excitation
    // (each output sums its terms in increasing i, as in the taps above).
    std::array<float, N> filtered;
    filter_by_response(filtered, h, acb.data(), N);
    for (int n = 0; n < N; ++n) x[n] -= filtered[n];
}

}  // namespace g723
