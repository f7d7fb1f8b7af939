// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/update_filter_memories.h"

#include "g723/dsp/weighted_synthesis.h"

namespace g723 {

void update_filter_memories(std::span<const float, kSubframeSamples> excitation,
                            const lpc_vector& a, const weighting_coefficients& w, float* s_mem,
                            float* u_mem) {
    // The decoder's own synthesis, sample for sample, so that the encoder's
    // synthesized speech is bit-identical to what a decoder reconstructs.
    weighted_synthesis(excitation, a, w, s_mem, u_mem);
}

}  // namespace g723
