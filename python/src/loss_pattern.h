// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_LOSS_PATTERN_H
#define G723_PYTHON_LOSS_PATTERN_H

#include <cstdint>
#include <random>

namespace g723::python {

// Chooses the frames to mark lost: the same draw as `g723 roundtrip --loss
// PERCENT --seed N`, so the same seed marks the same frames on every
// platform (the generator and the draw are fully specified).
class loss_pattern {
public:
    loss_pattern(double probability, std::uint64_t seed) : probability_(probability), random_(seed) {}
    bool next_lost() {
        if (probability_ <= 0.0) return false;
        // 53 random bits as a uniform value in [0, 1).
        const double uniform = static_cast<double>(random_() >> 11) * 0x1.0p-53;
        return uniform < probability_;
    }

private:
    double probability_;
    std::mt19937_64 random_;
};

}  // namespace g723::python

#endif
