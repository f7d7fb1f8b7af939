// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/net/impairment.h"

#include <algorithm>
#include <cmath>

namespace g723::rtp::net {

std::optional<impairment_settings> impairment_profile(std::string_view name) {
    impairment_settings s;
    if (name == "clean") return s;
    if (name == "wifi") {
        // A busy home network: small queueing, now and then a retry burst.
        s.delay_ms = 3;
        s.jitter_ms = 5;
        s.tail_percent = 2;
        s.tail_ms = 20;
        s.reorder_percent = 0.5;
        s.duplicate_percent = 0.2;
        s.loss_percent = 1;
        s.burst_packets = 2;
        s.stall_every_seconds = 8;
        s.stall_ms = 80;
        return s;
    }
    if (name == "mobile") {
        // A cellular link: long base delay, scheduling jitter, handovers.
        s.delay_ms = 40;
        s.jitter_ms = 12;
        s.tail_percent = 3;
        s.tail_ms = 50;
        s.reorder_percent = 1;
        s.duplicate_percent = 0.5;
        s.loss_percent = 2;
        s.burst_packets = 3;
        s.stall_every_seconds = 6;
        s.stall_ms = 250;
        return s;
    }
    if (name == "congested") {
        // A congested access link: deep, varying queues and bursts of loss.
        s.delay_ms = 20;
        s.jitter_ms = 20;
        s.tail_percent = 5;
        s.tail_ms = 40;
        s.reorder_percent = 2;
        s.duplicate_percent = 0.1;
        s.loss_percent = 4;
        s.burst_packets = 4;
        s.stall_every_seconds = 10;
        s.stall_ms = 150;
        return s;
    }
    return std::nullopt;
}

impairment::impairment(const impairment_settings& settings, std::uint64_t seed)
    : settings_(settings), random_(seed) {}

std::vector<double> impairment::schedule(double seconds) {
    std::vector<double> departures;
    // The next stall, drawn from an exponential gap after the last one.
    if (settings_.stall_every_seconds > 0.0 && settings_.stall_ms > 0.0) {
        if (!started_ || seconds >= stall_end_) {
            const double from = started_ ? std::max(stall_end_, seconds) : seconds;
            const double gap = -std::log(1.0 - uniform()) * settings_.stall_every_seconds;
            stall_start_ = from + gap;
            stall_end_ = stall_start_ + settings_.stall_ms / 1000.0;
        }
    }
    started_ = true;

    // Gilbert-Elliott: the bad state loses everything; it lasts
    // `burst_packets` on average, and is entered often enough for the mean
    // share lost.
    const double share = std::clamp(settings_.loss_percent / 100.0, 0.0, 0.99);
    if (share > 0.0) {
        const double leave = 1.0 / std::max(1.0, settings_.burst_packets);
        const double enter = share * leave / (1.0 - share);
        bad_state_ = bad_state_ ? uniform() >= leave : uniform() < enter;
        if (bad_state_) return departures;
    }

    double delay = settings_.delay_ms;
    if (settings_.jitter_ms > 0.0) {
        delay += std::fabs(std::normal_distribution<double>(0.0, settings_.jitter_ms)(random_));
    }
    if (uniform() * 100.0 < settings_.tail_percent && settings_.tail_ms > 0.0) {
        delay += settings_.tail_ms * (std::pow(1.0 - uniform(), -1.0 / 1.5) - 1.0);
    }
    const bool reordered = uniform() * 100.0 < settings_.reorder_percent;
    if (reordered) delay += 30.0 + 60.0 * uniform();
    delay = std::min(delay, settings_.max_delay_ms);

    double departure = seconds + delay / 1000.0;
    // A datagram reaching the stalled path waits for its end.
    if (seconds + settings_.delay_ms / 1000.0 >= stall_start_ && seconds < stall_end_) {
        departure = std::max(departure, stall_end_ + settings_.delay_ms / 1000.0);
    }
    // A queue keeps order: one not reordered leaves after those before it.
    if (!reordered) {
        departure = std::max(departure, last_departure_);
        last_departure_ = departure;
    }
    departure = std::min(departure, seconds + settings_.max_delay_ms / 1000.0);
    departures.push_back(departure);
    if (uniform() * 100.0 < settings_.duplicate_percent) departures.push_back(departure + 0.0005);
    return departures;
}

}  // namespace g723::rtp::net
