// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/packet/g723_payload.h"

#include <algorithm>

namespace g723::rtp {

payload_frames split_payload(std::span<const std::uint8_t> payload) {
    payload_frames result;
    std::size_t position = 0;
    while (position < payload.size()) {
        const frame_kind kind = kind_of(payload[position]);
        const std::size_t length = meaningful_bytes(kind);
        if (kind == frame_kind::untransmitted || payload.size() - position < length) {
            result.malformed = true;
            break;
        }
        frame_slot& slot = result.frames.emplace_back();
        slot.fill(0);
        std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(position), length, slot.begin());
        position += length;
    }
    return result;
}

}  // namespace g723::rtp
