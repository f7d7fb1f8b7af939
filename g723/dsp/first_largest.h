// SPDX-License-Identifier: BSD-2-Clause
// The position of the largest of 32 values, the first of equal ones: the
// pulse search's choice among the grid's magnitudes. The largest is found in
// four interleaved lanes (exact in any order); its position by comparing
// every value with it at once and taking the lowest set bit of the matches,
// instead of a scan whose exit branch the processor cannot predict.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace g723 {

inline constexpr int kFirstLargestValues = 32;

// The first position of the largest value among values[0 .. last], or last
// when none of them before it equals the largest of all 32 (values beyond
// last must not exceed those up to it). NaNs are never the largest.
inline int first_largest(const std::array<float, kFirstLargestValues>& values, int last) {
    std::array<float, 4> lanes = {-1.0f, -1.0f, -1.0f, -1.0f};
    for (int t = 0; t < kFirstLargestValues; t += 4)
        for (int l = 0; l < 4; ++l) lanes[l] = std::max(lanes[l], values[t + l]);
    const float best = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    uint32_t matches = 0;
#if defined(__SSE2__)
    const __m128 b = _mm_set1_ps(best);
    for (int t = 0; t < kFirstLargestValues; t += 4)
        matches |= static_cast<uint32_t>(_mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(values.data() + t), b))) << t;
#else
    for (int t = 0; t < kFirstLargestValues; ++t) matches |= static_cast<uint32_t>(values[t] == best) << t;
#endif
    matches &= (uint32_t{1} << last) - 1;
    return matches != 0 ? std::countr_zero(matches) : last;
}

}  // namespace g723
