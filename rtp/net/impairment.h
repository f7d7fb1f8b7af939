// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_NET_IMPAIRMENT_H
#define G723_RTP_NET_IMPAIRMENT_H

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace g723::rtp::net {

// How a path mistreats datagrams, one direction. Times in milliseconds,
// shares in percent.
struct impairment_settings {
    double delay_ms = 0.0;          // the path's least delay
    double jitter_ms = 0.0;         // queueing delay: half-normal with this spread
    double tail_percent = 0.0;      // datagrams that take a heavy-tailed excursion on top
    double tail_ms = 0.0;           // its scale (Pareto, shape 1.5)
    double reorder_percent = 0.0;   // datagrams held back past later ones (30 to 90 ms)
    double duplicate_percent = 0.0; // datagrams sent twice
    // Loss in bursts (Gilbert-Elliott): the mean share lost and the mean
    // length of a burst in datagrams; 1 is loss without memory.
    double loss_percent = 0.0;
    double burst_packets = 1.0;
    // Stalls: every so many seconds on average the path holds everything
    // for `stall_ms`, then lets it go at once.
    double stall_every_seconds = 0.0;
    double stall_ms = 0.0;
    // No datagram is held longer than this, whatever the draws.
    double max_delay_ms = 2000.0;
};

// The named profiles: "clean", "wifi", "mobile", "congested".
std::optional<impairment_settings> impairment_profile(std::string_view name);
inline constexpr std::string_view impairment_profile_names = "clean, wifi, mobile, congested";

// The fate of each datagram through an impaired path, drawn from a seeded
// generator: the same seed and the same arrivals give the same fates.
class impairment {
public:
    impairment(const impairment_settings& settings, std::uint64_t seed);

    // A datagram that arrived at `seconds` (non-decreasing): the times its
    // copies leave, none when it is lost.
    std::vector<double> schedule(double seconds);

private:
    double uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }

    impairment_settings settings_;
    std::mt19937_64 random_;
    bool bad_state_ = false;
    double last_departure_ = 0.0;  // the path keeps order but for reordered datagrams
    double stall_start_ = -1.0, stall_end_ = -1.0;
    bool started_ = false;
};

}  // namespace g723::rtp::net

#endif
