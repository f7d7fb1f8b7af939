// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_SAMPLE_SCALE_H
#define G723_PYTHON_SAMPLE_SCALE_H

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "media/audio/pcm_conversion.h"

namespace g723::python {

using media::to_pcm16;

// The 16-bit scale the codec works on, from the host's sample types: int16
// as it is, int32 as full-scale 32-bit PCM (2^31 is 2^15 on this scale),
// floats as full scale -1..1 (1.0 is 32768, as audio file readers deliver).
template <typename T>
constexpr double scale_to_pcm16() {
    if constexpr (std::is_same_v<T, std::int16_t>) return 1.0;
    if constexpr (std::is_same_v<T, std::int32_t>) return 1.0 / 65536.0;
    return 32768.0;
}

// Samples of type T on the 16-bit scale; a NaN or infinite sample is refused,
// since resampling would smear it over its neighbours.
template <typename T>
std::vector<double> to_pcm16_scale(std::span<const T> samples) {
    std::vector<double> scaled(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double value = static_cast<double>(samples[i]);
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(value)) {
                throw std::invalid_argument("audio holds a non-finite sample (" + std::to_string(value) +
                                            ") at index " + std::to_string(i));
            }
        }
        scaled[i] = value * scale_to_pcm16<T>();
    }
    return scaled;
}

// Values on the 16-bit scale back as type T: rounded and clipped for the
// integer types, unrounded for floats.
template <typename T>
void from_pcm16_scale(std::span<const double> values, std::span<T> out) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if constexpr (std::is_same_v<T, std::int16_t>) {
            out[i] = to_pcm16(values[i]);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            const double wide = std::round(values[i] / scale_to_pcm16<T>());
            constexpr double top = std::numeric_limits<std::int32_t>::max();
            constexpr double bottom = std::numeric_limits<std::int32_t>::min();
            out[i] = static_cast<std::int32_t>(wide > top ? top : wide < bottom ? bottom : wide);
        } else {
            out[i] = static_cast<T>(values[i] / scale_to_pcm16<T>());
        }
    }
}

}  // namespace g723::python

#endif
