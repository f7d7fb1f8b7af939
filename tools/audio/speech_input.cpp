// SPDX-License-Identifier: BSD-2-Clause
#include "audio/speech_input.h"

#include <algorithm>

#include "media/audio/pcm_conversion.h"

namespace g723::tool {

speech_input::speech_input(const std::string& name, bool raw) : source_(name, raw) {
    if (source_.sample_rate() != sample_rate) {
        resampler_ = std::make_unique<resampler>(source_.sample_rate());
    }
    block_.resize(8192);
}

void speech_input::refill(std::size_t count) {
    while (queue_.size() < count && !source_ended_) {
        const std::size_t got = source_.read(block_);
        const auto input = std::span<const double>(block_).first(got);
        converted_.clear();
        if (resampler_) {
            if (got > 0) resampler_->process(input, converted_);
            if (got < block_.size()) resampler_->process({}, converted_);
        } else {
            converted_.assign(input.begin(), input.end());
        }
        if (got < block_.size()) source_ended_ = true;
        for (const double value : converted_) queue_.push_back(to_pcm16(value));
        produced_ += converted_.size();
    }
}

bool speech_input::next_frame(std::span<std::int16_t, frame_samples> frame) {
    refill(frame_samples);
    // Frames needed so that the coded part, which ends encoder_delay samples
    // before the end of what the encoder has been given, covers every sample.
    if (source_ended_) {
        const std::uint64_t needed = (produced_ + encoder_delay + frame_samples - 1) / frame_samples;
        if (frames_delivered_ >= needed) return false;
    }
    const std::size_t taken = std::min<std::size_t>(queue_.size(), frame_samples);
    std::copy_n(queue_.begin(), taken, frame.begin());
    std::fill(frame.begin() + static_cast<std::ptrdiff_t>(taken), frame.end(), 0);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(taken));
    ++frames_delivered_;
    last_frame_samples_ = taken;
    return true;
}

std::optional<double> speech_input::progress() const {
    const auto length = source_.length();
    if (!length || *length == 0) return std::nullopt;
    return std::min(1.0, static_cast<double>(source_.samples_read()) / static_cast<double>(*length));
}

}  // namespace g723::tool
