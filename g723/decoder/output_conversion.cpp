#include "g723/decoder/output_conversion.h"

#include <cmath>

namespace g723 {

int16_t float_to_pcm(float x) {
    // Half away from zero, with the half added in double precision where
    // the sum is exact (in single precision 0.49999997 + 0.5 rounds to 1).
    // x > 32766.5 exactly when the sum exceeds 32767, x < -32767.5 exactly
    // when it falls below -32768; NaN fails the lower test. Written as
    // selects, without branches on the signal's sign.
    const double d = x;
    double r = d + std::copysign(0.5, d);
    r = r > 32767.0 ? 32767.0 : r;
    r = r >= -32768.0 ? r : -32768.0;
    return static_cast<int16_t>(static_cast<int32_t>(r));
}

void output_to_pcm(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out) {
    for (int n = 0; n < kFrameSamples; ++n) out[n] = float_to_pcm(in[n]);
}

}  // namespace g723
