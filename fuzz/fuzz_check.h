// SPDX-License-Identifier: BSD-2-Clause
// Invariant checks of the fuzz targets: a broken invariant prints where and
// what, then aborts, so that libFuzzer reports the input as a crash and keeps
// it.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>

#define G723_FUZZ_CHECK(condition)                                                              \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)

namespace g723::fuzz {

inline bool all_finite(std::span<const float> values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace g723::fuzz
