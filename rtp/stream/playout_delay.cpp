// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/playout_delay.h"

#include <algorithm>
#include <cmath>

namespace g723::rtp {

playout_delay::playout_delay(const playout_delay_limits& limits)
    : limits_(limits), delay_(limits.min_delay_seconds) {
    recent_.reserve(window);
    sorted_.reserve(window);
}

void playout_delay::restart() {
    delay_ = limits_.min_delay_seconds;
    recent_.clear();
    next_ = 0;
}

double playout_delay::lowest() const {
    if (recent_.empty()) return 0.0;
    return *std::min_element(recent_.begin(), recent_.end());
}

double playout_delay::aim() const {
    if (recent_.empty()) return limits_.min_delay_seconds;
    sorted_.assign(recent_.begin(), recent_.end());
    // The rank below which all but `late_share` of the window lie.
    const auto rank = static_cast<std::size_t>(
        std::floor((1.0 - late_share) * static_cast<double>(sorted_.size() - 1) + 0.5));
    std::nth_element(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(rank), sorted_.end());
    const double quantile = sorted_[rank];
    return std::min(std::max(quantile, lowest() + limits_.min_delay_seconds), limits_.max_delay_seconds);
}

double playout_delay::over_best() const { return delay_ - lowest(); }

void playout_delay::add(double relative_delay_seconds, bool in_time, bool bunched) {
    if (bunched) {
        if (!in_time) delay_ = std::min(std::max(delay_, relative_delay_seconds + late_margin_seconds),
                                        limits_.max_delay_seconds);
        return;
    }
    if (recent_.size() < window) {
        recent_.push_back(relative_delay_seconds);
    } else {
        recent_[next_] = relative_delay_seconds;
    }
    next_ = (next_ + 1) % window;
    double wanted = aim();
    // A packet that came too late: cover it from now on.
    if (!in_time) wanted = std::max(wanted, relative_delay_seconds + late_margin_seconds);
    delay_ = std::min(std::max(delay_, wanted), limits_.max_delay_seconds);
}

void playout_delay::pause(double seconds) {
    const double goal = aim();
    if (delay_ <= goal || seconds <= 0.0) return;
    const double fall = std::min({delay_ - goal, 0.5 * (delay_ - goal) + 0.002, 0.5 * seconds});
    delay_ -= fall;
}

}  // namespace g723::rtp
