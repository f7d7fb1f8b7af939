// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/perceptual_weighting.h"

#include "g723/tables/lpc_analysis_tables.h"

namespace g723 {

void compute_weighting_coefficients(std::array<weighting_coefficients, kSubframes>& weights_out,
                                    const std::array<lpc_vector, kSubframes>& lpc) {
    for (int j = 0; j < kSubframes; ++j) {
        for (int i = 0; i < kLpcOrder; ++i) {
            weights_out[j][i] = lpc[j][i] * weighting_zero_factors[i];
            weights_out[j][kLpcOrder + i] = lpc[j][i] * weighting_pole_factors[i];
        }
    }
}

void apply_weighting_filter(const float* x, std::span<float, kFrameSamples> y,
                            const std::array<weighting_coefficients, kSubframes>& weights,
                            std::array<float, kLpcOrder>& memory) {
    // The output history in time order in front of the frame, so that the
    // recursion runs across subframe boundaries on one array.
    std::array<float, kFilterArraySize> u;
    for (int i = 0; i < kLpcOrder; ++i) u[kLpcOrder - 1 - i] = memory[i];
    float* out = u.data() + kLpcOrder;
    for (int j = 0; j < kSubframes; ++j)
        pole_zero_filter(x + kSubframeSamples * j, out + kSubframeSamples * j, weights[j]);
    for (int m = 0; m < kFrameSamples; ++m) y[m] = out[m];
    for (int i = 0; i < kLpcOrder; ++i) memory[i] = out[kFrameSamples - 1 - i];
}

}  // namespace g723
