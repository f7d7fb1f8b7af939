// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_AUDIO_SPEECH_INPUT_H
#define G723_TOOLS_AUDIO_SPEECH_INPUT_H

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/audio_source.h"
#include "media/codec/frame_layout.h"
#include "media/audio/resampler.h"

namespace g723::tool {

using namespace g723::media;

// The encoder's input: any audio input mixed down, converted to 8 kHz and
// rounded and clipped to 16 bits, cut into 240-sample frames. The last
// frames are padded with zeros far enough that the encoder's look-ahead
// reaches past the last input sample, so the whole input gets coded.
class speech_input {
public:
    speech_input(const std::string& name, bool raw);

    // Fills the next frame; false when every frame has been delivered.
    bool next_frame(std::span<std::int16_t, frame_samples> frame);
    // Input samples at the start of the last frame; the rest is padding.
    std::size_t last_frame_samples() const { return last_frame_samples_; }

    const audio_source& source() const { return source_; }
    // 8 kHz samples taken from the input so far (without padding).
    std::uint64_t samples() const { return produced_; }
    // Share of the input consumed, when its length is known.
    std::optional<double> progress() const;

private:
    // Pulls input until `count` samples are queued or the input has ended.
    void refill(std::size_t count);

    audio_source source_;
    std::unique_ptr<resampler> resampler_;
    std::vector<double> block_;
    std::vector<double> converted_;
    std::deque<std::int16_t> queue_;
    bool source_ended_ = false;
    std::uint64_t produced_ = 0;
    std::uint64_t frames_delivered_ = 0;
    std::size_t last_frame_samples_ = 0;
};

}  // namespace g723::tool

#endif
