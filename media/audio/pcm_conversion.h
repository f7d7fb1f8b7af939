// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_AUDIO_PCM_CONVERSION_H
#define G723_MEDIA_AUDIO_PCM_CONVERSION_H

#include <cmath>
#include <cstdint>

namespace g723::media {

// A sample on the 16-bit scale rounded half away from zero and clipped to
// the 16-bit range; a NaN from a damaged float file becomes silence.
inline std::int16_t to_pcm16(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::round(value);
    if (rounded > 32767.0) return 32767;
    if (rounded < -32768.0) return -32768;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace g723::media

#endif
