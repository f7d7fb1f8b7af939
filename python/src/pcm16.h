// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_PCM16_H
#define G723_PYTHON_PCM16_H

#include <cmath>
#include <cstdint>

namespace g723::python {

// A sample on the 16-bit scale rounded half away from zero and clipped to
// the 16-bit range, as the g723 tool converts its input.
inline std::int16_t to_pcm16(double value) {
    const double rounded = std::round(value);
    if (rounded > 32767.0) return 32767;
    if (rounded < -32768.0) return -32768;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace g723::python

#endif
