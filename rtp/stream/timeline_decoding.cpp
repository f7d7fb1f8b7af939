// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/timeline_decoding.h"

namespace g723::rtp {

void decode_timeline_frame(g723_decoder* decoder, const timeline_frame& frame,
                           std::span<std::int16_t, frame_samples> samples,
                           stream_statistics& statistics) {
    if (frame.starts_segment) g723_decoder_reset(decoder);
    const bool lost = frame.origin == frame_origin::lost;
    std::int32_t produced = 0;
    const g723_result result =
        g723_decode_frame(decoder, frame.slot.data(), samples.data(), lost ? 1 : 0, &produced);
    if (result == g723_frame_not_supported) ++statistics.not_supported_frames;
    if (result == g723_frame_invalid) ++statistics.invalid_frames;
}

}  // namespace g723::rtp
