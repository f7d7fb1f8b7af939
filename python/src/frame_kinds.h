// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_FRAME_KINDS_H
#define G723_PYTHON_FRAME_KINDS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "g723/g723.h"

namespace g723::python {

// The kind of a coded frame, carried by the two low bits of its first byte.
enum class frame_kind : int { speech_6k3 = 0, speech_5k3 = 1, sid = 2, untransmitted = 3 };

inline frame_kind kind_of(std::uint8_t first_byte) { return static_cast<frame_kind>(first_byte & 3); }

// Bytes a frame of each kind occupies in the compact layout.
inline std::size_t meaningful_bytes(frame_kind kind) {
    constexpr std::array<std::size_t, 4> bytes{24, 20, 4, 1};
    return bytes[static_cast<std::size_t>(kind)];
}

// As the g723 tool names them in its messages.
inline std::string_view kind_name(frame_kind kind) {
    constexpr std::array<std::string_view, 4> names{"speech", "5.3 kbit/s", "SID", "untransmitted"};
    return names[static_cast<std::size_t>(kind)];
}

inline constexpr std::size_t frame_samples = G723_FRAME_SAMPLES;
inline constexpr std::size_t slot_bytes = G723_SLOT_BYTES;
inline constexpr int sample_rate = 8000;
// The encoder codes each frame this many samples behind the end of its
// input, so decoded speech lags the input by as much.
inline constexpr std::size_t encoder_delay = 60;

// Frames of a stream by kind, and those the decoder concealed.
struct frame_counts {
    std::array<std::uint64_t, 4> by_kind{};  // indexed by frame_kind
    std::uint64_t lost = 0;                  // marked lost or never received
    std::uint64_t invalid = 0;               // refused by the decoder

    void count(frame_kind kind) { ++by_kind[static_cast<std::size_t>(kind)]; }
    std::uint64_t of(frame_kind kind) const { return by_kind[static_cast<std::size_t>(kind)]; }
    std::uint64_t frames() const { return by_kind[0] + by_kind[1] + by_kind[2] + by_kind[3]; }
};

}  // namespace g723::python

#endif
