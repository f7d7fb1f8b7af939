// SPDX-License-Identifier: BSD-2-Clause
#include "stream_info.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "streaming_decoder.h"

namespace g723::python {

double stream_info::seconds() const {
    return static_cast<double>(counts.frames()) * frame_samples / sample_rate;
}

double stream_info::bit_rate() const {
    return counts.frames() == 0 ? 0.0 : static_cast<double>(bytes) * 8.0 / seconds();
}

stream_info describe_stream(std::span<const std::uint8_t> data) {
    stream_info info;
    // One frame at a time through a streaming decoder, so that each frame's
    // outcome is seen with its offset.
    streaming_decoder decoder(true);
    std::vector<std::int16_t> samples;
    while (!data.empty()) {
        const frame_kind kind = kind_of(data[0]);
        const std::size_t length = std::min(data.size(), meaningful_bytes(kind));
        const frame_counts before = decoder.counts();
        const std::size_t frames = decoder.frames_in(data.first(length));
        samples.clear();
        decoder.decode(data.first(length), std::nullopt, samples);
        if (frames == 0) break;
        if (kind == frame_kind::speech_5k3) {
            info.not_clean.emplace_back(info.bytes, "5.3 kbit/s frame, not supported, concealed");
        } else if (decoder.counts().invalid > before.invalid) {
            info.not_clean.emplace_back(info.bytes,
                                        "invalid parameters (pitch lag or gain code out of range), concealed");
        }
        info.bytes += length;
        data = data.subspan(length);
    }
    info.counts = decoder.counts();
    if (!data.empty()) {
        info.not_clean.emplace_back(info.bytes, "truncated: " + std::to_string(data.size()) + " of " +
                                                    std::to_string(meaningful_bytes(kind_of(data[0]))) +
                                                    " bytes present");
    }
    info.truncation = decoder.finish();
    return info;
}

bool looks_like_audio_file(std::span<const std::uint8_t> head) {
    if (head.size() < 12) return false;
    const std::string_view tag(reinterpret_cast<const char*>(head.data()), 4);
    const std::string_view form(reinterpret_cast<const char*>(head.data()) + 8, 4);
    if (tag == "RIFF" || tag == "RIFX" || tag == "RF64") return form == "WAVE";
    if (tag == "FORM") return form == "AIFF" || form == "AIFC";
    return tag == "fLaC" || tag == "OggS" || tag == ".snd";
}

}  // namespace g723::python
