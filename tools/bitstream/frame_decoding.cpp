// SPDX-License-Identifier: BSD-2-Clause
#include "bitstream/frame_decoding.h"

namespace g723::tool {

frame_outcome decode_coded_frame(g723_decoder* decoder, const coded_frame& frame, bool lost,
                                 std::span<std::int16_t, frame_samples> samples,
                                 frame_statistics& statistics) {
    statistics.count(frame.kind);
    const bool unsupported = frame.kind == frame_kind::speech_5k3;
    std::int32_t produced = 0;
    const g723_result result =
        g723_decode_frame(decoder, frame.slot.data(), samples.data(),
                          lost || unsupported ? 1 : 0, &produced);
    if (unsupported) return frame_outcome::not_supported;
    if (lost) {
        ++statistics.marked_lost;
        return frame_outcome::marked_lost;
    }
    if (result != g723_ok) {
        ++statistics.invalid;
        return frame_outcome::invalid;
    }
    return frame_outcome::clean;
}

}  // namespace g723::tool
