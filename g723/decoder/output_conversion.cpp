#include "g723/decoder/output_conversion.h"

#include <cmath>

namespace g723 {

int16_t float_to_pcm(float x) {
    // The negated test also catches NaN.
    if (!(x >= -32767.5f)) return -32768;
    if (x > 32766.5f) return 32767;
    // Half away from zero, with the half added in double precision where
    // the sum is exact (in single precision 0.49999997 + 0.5 rounds to 1).
    const double d = x;
    return static_cast<int16_t>(static_cast<int32_t>(d >= 0.0 ? d + 0.5 : d - 0.5));
}

void output_to_pcm(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
    for (int n = 0; n < kFrameSamples; ++n) out[n] = float_to_pcm(in[n]);
}

}  // namespace g723
