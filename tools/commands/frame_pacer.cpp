// SPDX-License-Identifier: BSD-2-Clause
#include "commands/frame_pacer.h"

#include <cerrno>
#include <cmath>

#include "media/codec/frame_layout.h"

namespace g723::tool {

using namespace g723::media;

frame_pacer::frame_pacer(double speed) : frame_nanoseconds_(frame_seconds * 1e9 / speed) {
    ::clock_gettime(CLOCK_MONOTONIC, &start_);
}

void frame_pacer::wait_until(std::uint64_t frames) const {
    const auto offset = static_cast<std::int64_t>(std::llround(static_cast<double>(frames) * frame_nanoseconds_));
    const std::int64_t total = static_cast<std::int64_t>(start_.tv_nsec) + offset;
    timespec due{};
    due.tv_sec = start_.tv_sec + static_cast<time_t>(total / 1'000'000'000);
    due.tv_nsec = static_cast<long>(total % 1'000'000'000);
    // A signal handler's interruption resumes the same absolute sleep.
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
}

}  // namespace g723::tool
