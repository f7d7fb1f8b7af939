// SPDX-License-Identifier: BSD-2-Clause
// The one dot product of the codec. Eight running partial sums, combined in a
// fixed order at the end: the result is the same on every target (no
// reassociation beyond this fixed order), and the compiler can keep the eight
// sums in vector registers.
#pragma once

namespace g723 {

inline float dot_product(const float* a, const float* b, int n) {
    float acc[8] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int lane = 0; lane < 8; ++lane) acc[lane] += a[i + lane] * b[i + lane];
    float tail = 0.0f;
    for (; i < n; ++i) tail += a[i] * b[i];
    return (((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]))) + tail;
}

// Energy of n samples, with the same summation order as dot_product.
inline float energy(const float* a, int n) { return dot_product(a, a, n); }

}  // namespace g723
