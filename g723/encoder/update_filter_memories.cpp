#include "g723/encoder/update_filter_memories.h"

#include "g723/dsp/synthesis_filter.h"

namespace g723 {

void update_filter_memories(std::span<const float, kSubframeSamples> excitation,
                            const lpc_vector& a, const weighting_coefficients& w, float* s_mem,
                            float* u_mem) {
    // The decoder's own synthesis step, sample by sample as its synthesis
    // filter runs it, so that the encoder's synthesized speech is
    // bit-identical to what a decoder reconstructs. The weighting runs in the
    // same loop so that the two recursions overlap.
    float* s = s_mem + 1;
    float* u = u_mem + 1;
    for (int n = 0; n < kSubframeSamples; ++n) {
        s[n] = synthesis_step(excitation[n], a, s + n);
        u[n] = pole_zero_step(s + n, u + n, w);
    }
}

}  // namespace g723
