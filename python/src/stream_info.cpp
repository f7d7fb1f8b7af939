// SPDX-License-Identifier: BSD-2-Clause
#include "stream_info.h"

#include <algorithm>
#include <array>

#include "streaming_decoder.h"

namespace g723::python {

stream_info describe_stream(std::span<const std::uint8_t> data) {
    stream_info info;
    // One frame at a time through a streaming decoder, so that each frame's
    // outcome is seen with its offset.
    streaming_decoder decoder(true);
    std::vector<std::int16_t> samples;
    std::uint64_t offset = 0;
    while (!data.empty()) {
        const frame_kind kind = kind_of(data[0]);
        const std::size_t length = std::min(data.size(), meaningful_bytes(kind));
        const frame_statistics before = decoder.counts();
        const std::size_t frames = decoder.frames_in(data.first(length));
        samples.clear();
        decoder.decode(data.first(length), std::nullopt, samples);
        if (frames == 0) break;
        if (kind == frame_kind::speech_5k3) {
            info.not_clean.emplace_back(offset, "5.3 kbit/s frame, not supported, concealed");
        } else if (decoder.counts().invalid > before.invalid) {
            info.not_clean.emplace_back(offset,
                                        "invalid parameters (pitch lag or gain code out of range), concealed");
        }
        offset += length;
        data = data.subspan(length);
    }
    info.counts = decoder.counts();
    if (!data.empty()) {
        info.not_clean.emplace_back(offset, "truncated: " + std::to_string(data.size()) + " of " +
                                                    std::to_string(meaningful_bytes(kind_of(data[0]))) +
                                                    " bytes present");
    }
    info.truncation = decoder.finish();
    return info;
}

}  // namespace g723::python
