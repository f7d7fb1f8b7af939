// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/packet/sequence_extender.h"

namespace g723::rtp {

std::int64_t sequence_extender::extend(std::uint16_t sequence) {
    if (!highest_) {
        highest_ = 65536 + static_cast<std::int64_t>(sequence);
        return *highest_;
    }
    const std::int64_t highest = *highest_;
    // Distance ahead of the highest number, modulo the 16-bit wrap.
    const auto ahead = static_cast<std::uint16_t>(sequence - static_cast<std::uint16_t>(highest));
    if (ahead < max_dropout) {
        restart_candidate_.reset();
        highest_ = highest + ahead;
        return *highest_;
    }
    if (ahead > 65536 - max_misorder) {
        // Late: behind the highest by 65536 - ahead.
        return highest - (65536 - static_cast<std::int64_t>(ahead));
    }
    // A jump too large for loss or reordering: a restart if the packet
    // after it follows on, otherwise a stray kept out of the stream's way.
    if (restart_candidate_ && *restart_candidate_ == sequence) {
        highest_ = highest + ahead;
        restart_candidate_.reset();
        return *highest_;
    }
    restart_candidate_ = static_cast<std::uint16_t>(sequence + 1);
    return highest + ahead;
}

}  // namespace g723::rtp
