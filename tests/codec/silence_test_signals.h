// SPDX-License-Identifier: BSD-2-Clause
// Low background noise for the silence-compression tests, to mix into the
// bundled speech sample (tests/support/codec_test_support.h reads it).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/support/codec_test_support.h"

namespace g723::test {

// Deterministic noise of the given rms added to signal: a sum of four
// uniform values from a 32-bit linear congruential generator, nearly
// Gaussian.
inline std::vector<int16_t> add_noise(std::vector<int16_t> signal, double rms, uint32_t seed = 1) {
    for (int16_t& s : signal) {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            seed = seed * 1664525u + 1013904223u;
            sum += (seed >> 8) / double(1u << 24) - 0.5;
        }
        // Four uniforms on (-0.5, 0.5) have variance 4/12.
        const double v = s + rms * sum / std::sqrt(4.0 / 12.0);
        s = static_cast<int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v))));
    }
    return signal;
}

}  // namespace g723::test
