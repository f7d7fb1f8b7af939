// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_STREAM_TIMELINE_DECODING_H
#define G723_RTP_STREAM_TIMELINE_DECODING_H

#include <cstddef>
#include <cstdint>
#include <span>

#include "media/codec/frame_layout.h"
#include "g723/g723.h"
#include "rtp/stream/stream_statistics.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

// Frame layout and codec handles come from the media library.
using namespace g723::media;

// What the samples of one decoded frame of a timeline are.
enum class decoded_frame : std::uint8_t {
    speech,         // a speech frame as received
    sid,            // an SID frame: comfort noise with new parameters
    untransmitted,  // comfort noise going on: silence the sender did not send
    lost,           // a frame of a packet that never arrived, concealed
    concealed,      // received, but concealed by the decoder (5.3 kbit/s, invalid codes)
};
inline constexpr std::size_t decoded_frame_count = 5;

// Decodes one frame of a stream's timeline into 240 samples: a received
// frame as it came, a lost frame concealed, an untransmitted frame as
// comfort noise, and says which of these the samples are. The decoder is
// reset at the start of each segment, so a new sender does not inherit the
// old one's state. Frames the decoder conceals (5.3 kbit/s, invalid codes)
// are counted in `statistics`.
decoded_frame decode_timeline_frame(g723_decoder* decoder, const timeline_frame& frame,
                           std::span<std::int16_t, frame_samples> samples,
                           stream_statistics& statistics);

}  // namespace g723::rtp

#endif
