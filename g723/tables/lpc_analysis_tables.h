// SPDX-License-Identifier: BSD-2-Clause
// Constant tables of the LPC analysis and the perceptual weighting filter.
#pragma once

#include <array>
#include <cstdint>

#include "g723/tables/codec_constants.h"

namespace g723 {

inline constexpr int kLpcWindowLength = 180;  // 60 samples either side of the analysed subframe

// Symmetric Hamming window in Q15: round(32768 * (0.54 - 0.46 cos(2 pi n / 179))).
// Kept as integers so that the float window below is exact and the table can
// be checked against its formula.
inline constexpr std::array<int16_t, kLpcWindowLength> lpc_window_q15 = {
    2621, 2631, 2659, 2705, 2770, 2853, 2955, 3074, 3212, 3367, 3541, 3731,
    3939, 4164, 4405, 4663, 4937, 5226, 5531, 5851, 6186, 6534, 6897, 7273,
    7661, 8062, 8475, 8899, 9334, 9780, 10235, 10699, 11172, 11653, 12141, 12636,
    13138, 13645, 14157, 14673, 15193, 15716, 16242, 16769, 17298, 17827, 18356, 18884,
    19411, 19935, 20457, 20975, 21489, 21999, 22503, 23002, 23494, 23978, 24455, 24924,
    25384, 25834, 26274, 26704, 27122, 27529, 27924, 28306, 28675, 29031, 29373, 29700,
    30012, 30310, 30592, 30857, 31107, 31340, 31557, 31756, 31938, 32102, 32249, 32377,
    32488, 32580, 32654, 32710, 32747, 32766, 32766, 32747, 32710, 32654, 32580, 32488,
    32377, 32249, 32102, 31938, 31756, 31557, 31340, 31107, 30857, 30592, 30310, 30012,
    29700, 29373, 29031, 28675, 28306, 27924, 27529, 27122, 26704, 26274, 25834, 25384,
    24924, 24455, 23978, 23494, 23002, 22503, 21999, 21489, 20975, 20457, 19935, 19411,
    18884, 18356, 17827, 17298, 16769, 16242, 15716, 15193, 14673, 14157, 13645, 13138,
    12636, 12141, 11653, 11172, 10699, 10235, 9780, 9334, 8899, 8475, 8062, 7661,
    7273, 6897, 6534, 6186, 5851, 5531, 5226, 4937, 4663, 4405, 4164, 3939,
    3731, 3541, 3367, 3212, 3074, 2955, 2853, 2770, 2705, 2659, 2631, 2621,
};

inline constexpr std::array<float, kLpcWindowLength> lpc_window = [] {
    std::array<float, kLpcWindowLength> w{};
    for (int n = 0; n < kLpcWindowLength; ++n) w[n] = static_cast<float>(lpc_window_q15[n]) / 32768.0f;
    return w;
}();

// Multiplies R(0) before the recursion: a -30 dB white-noise floor that keeps
// the autocorrelation matrix well conditioned.
inline constexpr float kWhiteNoiseCorrection = 1.0009765625f;  // 1 + 1/1024

// Gaussian lag window on R(1)..R(10): widens the formant bandwidths so that
// the analysis does not lock onto a single pitch harmonic.
inline constexpr std::array<float, kLpcOrder> lag_window = {
    0.999420f, 0.997772f, 0.994995f, 0.991119f, 0.986176f,
    0.980164f, 0.973114f, 0.965027f, 0.955933f, 0.945892f,
};

// Bandwidth factors of the weighting filter A(z/0.9) / A(z/0.5): 0.9^i for the
// zeros, 0.5^i (rounded to six decimals) for the poles, i = 1..10.
inline constexpr std::array<float, kLpcOrder> weighting_zero_factors = {
    0.9f, 0.81f, 0.729f, 0.6561f, 0.59049f, 0.531441f, 0.478297f, 0.430467f, 0.38742f, 0.348678f,
};
inline constexpr std::array<float, kLpcOrder> weighting_pole_factors = {
    0.5f, 0.25f, 0.125f, 0.0625f, 0.03125f, 0.015625f, 0.007812f, 0.003906f, 0.001953f, 0.000977f,
};

}  // namespace g723
