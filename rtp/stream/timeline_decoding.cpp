// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/stream/timeline_decoding.h"

namespace g723::rtp {

decoded_frame decode_timeline_frame(g723_decoder* decoder, const timeline_frame& frame,
                           std::span<std::int16_t, frame_samples> samples,
                           stream_statistics& statistics) {
    if (frame.starts_segment) g723_decoder_reset(decoder);
    const bool lost = frame.origin == frame_origin::lost;
    std::int32_t produced = 0;
    const g723_result result =
        g723_decode_frame(decoder, frame.slot.data(), samples.data(), lost ? 1 : 0, &produced);
    if (result == g723_frame_not_supported) ++statistics.not_supported_frames;
    if (result == g723_frame_invalid) ++statistics.invalid_frames;
    if (lost) return decoded_frame::lost;
    if (result != g723_ok) return decoded_frame::concealed;
    switch (kind_of(frame.slot[0])) {
        case frame_kind::sid:
            return decoded_frame::sid;
        case frame_kind::untransmitted:
            return decoded_frame::untransmitted;
        default:
            return decoded_frame::speech;
    }
}

}  // namespace g723::rtp
