// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_CODEC_FRAME_STATISTICS_H
#define G723_MEDIA_CODEC_FRAME_STATISTICS_H

#include <array>
#include <cstdint>
#include <string>

#include "media/codec/frame_layout.h"

namespace g723::media {


// What a coded stream held, frame by frame.
struct frame_statistics {
    std::array<std::uint64_t, 4> by_kind{};  // indexed by frame_kind
    std::uint64_t bytes = 0;                 // in the compact layout
    std::uint64_t invalid = 0;               // refused by the decoder, concealed
    std::uint64_t marked_lost = 0;           // lost on request (--loss), concealed

    void count(frame_kind kind) {
        ++by_kind[static_cast<std::size_t>(kind)];
        bytes += meaningful_bytes(kind);
    }
    std::uint64_t frames() const {
        return by_kind[0] + by_kind[1] + by_kind[2] + by_kind[3];
    }
    std::uint64_t of(frame_kind kind) const { return by_kind[static_cast<std::size_t>(kind)]; }
    double seconds() const { return static_cast<double>(frames()) * frame_seconds; }
    // Average over the whole stream as the compact layout carries it.
    double bit_rate() const {
        return frames() == 0 ? 0.0 : static_cast<double>(bytes) * 8.0 / seconds();
    }
    // "300 speech, 20 SID, 92 untransmitted" (5.3 kbit/s only when present).
    std::string kinds_text() const;
};

}  // namespace g723::media

#endif
