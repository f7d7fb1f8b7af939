#include "g723/decoder/output_conversion.h"

#include <cmath>

namespace g723 {

int16_t float_to_pcm(float x) {
    // The negated test also catches NaN.
    if (!(x >= -32767.5f)) return -32768;
    if (x > 32766.5f) return 32767;
    // std::round is exact on the float; adding 0.5 in single precision would
    // round 0.49999997 up to 1.
    return static_cast<int16_t>(std::round(x));
}

void output_to_pcm(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
    for (int n = 0; n < kFrameSamples; ++n) out[n] = float_to_pcm(in[n]);
}

}  // namespace g723
