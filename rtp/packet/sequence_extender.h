// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_PACKET_SEQUENCE_EXTENDER_H
#define G723_RTP_PACKET_SEQUENCE_EXTENDER_H

#include <cstdint>
#include <optional>

namespace g723::rtp {

// Extends one stream's 16-bit RTP sequence numbers to 64 bits with a count
// of wraps, so that packets can be ordered across the wrap at 65536.
// Packets are given in arrival order. A number shortly behind the highest
// seen is a late (reordered or duplicated) packet; one ahead by less than
// `max_dropout` continues the stream, possibly after losses. A larger jump
// is taken as a sender restart only when the next packet follows it; a
// single stray number is placed after everything seen so far and does not
// move the stream on.
class sequence_extender {
public:
    static constexpr std::uint32_t max_dropout = 3000;
    static constexpr std::uint32_t max_misorder = 100;

    // The extended number of `sequence`. The first packet gets 65536 +
    // `sequence`, so that late packets from before it stay positive.
    std::int64_t extend(std::uint16_t sequence);

    // The highest extended number accepted so far (none before the first).
    std::optional<std::int64_t> highest() const { return highest_; }

private:
    std::optional<std::int64_t> highest_;
    // The number that would confirm a large jump as a restart.
    std::optional<std::uint16_t> restart_candidate_;
};

}  // namespace g723::rtp

#endif
