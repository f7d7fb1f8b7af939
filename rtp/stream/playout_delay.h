// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_PLAYOUT_DELAY_H
#define G723_RTP_STREAM_PLAYOUT_DELAY_H

#include <cstddef>
#include <vector>

namespace g723::rtp {

struct playout_delay_limits {
    double min_delay_seconds = 0.03;
    double max_delay_seconds = 0.3;
};

// The playout delay of a live stream, learnt from its packets' relative
// delays: how much later than the stream's first packet each one came,
// measured against the media time it carries.
//
// The delay aims at a high quantile of the relative delays of the last
// `window` packets, so that only `late_share` of them come after their
// playout time. It rises at once, to that quantile as soon as the quantile
// rises and to cover any packet that came too late; it falls only inside a
// pause (frames the sender left untransmitted), by at most half the pause
// and half the way to the quantile each time, so that speech is
// never cut to catch up. It never goes above the greatest delay, nor
// below the least delay over the best relative delay of the window.
class playout_delay {
public:
    static constexpr std::size_t window = 512;      // some 15 s of 30 ms packets
    static constexpr double late_share = 0.02;      // packets allowed to come too late
    static constexpr double late_margin_seconds = 0.002;

    explicit playout_delay(const playout_delay_limits& limits);

    // One packet's relative delay. `in_time` says whether it came before
    // its playout time under the delay in force. A packet that came in a
    // bunch with the one before (a path releasing what it held) shares
    // that event's relative delay: only the bunch's first is counted in
    // the window, so that one stall weighs as one late event.
    void add(double relative_delay_seconds, bool in_time, bool bunched = false);
    // A pause of `seconds` lies before the packet about to be scheduled:
    // the delay may fall towards its aim.
    void pause(double seconds);
    // Starts afresh (a new sender).
    void restart();

    // The delay in force, over the stream's first packet.
    double seconds() const { return delay_; }
    double greatest() const { return limits_.max_delay_seconds; }
    // The quantile aimed at, within the limits.
    double aim() const;
    // The delay in force over the best relative delay of the window: what
    // the buffer adds to the fastest path.
    double over_best() const;

private:
    double lowest() const;

    playout_delay_limits limits_;
    double delay_;
    std::vector<double> recent_;  // a ring of the last `window` relative delays
    std::size_t next_ = 0;
    mutable std::vector<double> sorted_;  // scratch for the quantile
};

}  // namespace g723::rtp

#endif
