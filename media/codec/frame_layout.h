// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_CODEC_FRAME_LAYOUT_H
#define G723_MEDIA_CODEC_FRAME_LAYOUT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "g723/g723.h"
#include "media/codec/frame_bytes.h"

namespace g723::media {

// The kind of a coded frame, carried by the two low bits of its first byte.
enum class frame_kind : int { speech_6k3 = 0, speech_5k3 = 1, sid = 2, untransmitted = 3 };

inline frame_kind kind_of(std::uint8_t first_byte) {
    return static_cast<frame_kind>(first_byte & 3);
}

// Meaningful bytes of each kind: what a compact bit-stream file stores.
inline std::size_t meaningful_bytes(frame_kind kind) {
    return g723_media_frame_bytes(static_cast<unsigned char>(kind));
}

inline std::string_view kind_name(frame_kind kind) {
    constexpr std::array<std::string_view, 4> names{"speech", "5.3 kbit/s", "SID",
                                                    "untransmitted"};
    return names[static_cast<std::size_t>(kind)];
}

using frame_slot = std::array<std::uint8_t, G723_SLOT_BYTES>;

// Bit-stream file layouts: compact (each frame only its meaningful bytes,
// the usual raw file layout) or full 24-byte slots as the library delivers.
enum class stream_layout { compact, slots };

inline constexpr int frame_samples = G723_FRAME_SAMPLES;
inline constexpr int sample_rate = 8000;
// The encoder codes each frame 60 samples behind the end of the input it has
// been given, so decoded speech lags the input by that much.
inline constexpr int encoder_delay = 60;
inline constexpr double frame_seconds = static_cast<double>(frame_samples) / sample_rate;

}  // namespace g723::media

#endif
