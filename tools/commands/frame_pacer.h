// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_FRAME_PACER_H
#define G723_TOOLS_COMMANDS_FRAME_PACER_H

#include <time.h>

#include <cstdint>

namespace g723::tool {

// Keeps a sender on the 30 ms frame clock. Each wait sleeps until an
// absolute point on the monotonic clock, counted from the start, so that
// the time spent coding and sending never adds up to drift. `speed` above
// 1 runs the clock that much faster than real time.
class frame_pacer {
public:
    explicit frame_pacer(double speed);

    // Sleeps until `frames` frames after the start (returns at once if that
    // point has passed).
    void wait_until(std::uint64_t frames) const;

private:
    timespec start_{};
    double frame_nanoseconds_;
};

}  // namespace g723::tool

#endif
