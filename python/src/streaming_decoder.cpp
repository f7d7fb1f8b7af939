// SPDX-License-Identifier: BSD-2-Clause
#include "streaming_decoder.h"

#include <new>
#include <stdexcept>

namespace g723::python {

streaming_decoder::streaming_decoder(bool postfilter) : postfilter_(postfilter) {
    if (g723_decoder_open(&handle_) != g723_ok || handle_ == nullptr) throw std::bad_alloc();
    start_stream();
}

streaming_decoder::~streaming_decoder() { g723_decoder_close(&handle_); }

void streaming_decoder::start_stream() {
    g723_decoder_reset(handle_);
    g723_decoder_set_filter_mode(handle_, postfilter_ ? 1 : 0);
    splitter_.reset();
}

std::size_t streaming_decoder::frames_in(std::span<const std::uint8_t> data) const {
    const std::lock_guard lock(mutex_);
    return splitter_.frames_in(data);
}

void streaming_decoder::decode_slot(const frame_slot& slot, frame_kind kind, bool lost, std::int16_t* out) {
    counts_.count(kind);
    const bool unsupported = kind == frame_kind::speech_5k3;
    std::int32_t produced = 0;
    const g723_result result = g723_decode_frame(handle_, slot.data(), out, lost || unsupported ? 1 : 0, &produced);
    if (lost) {
        ++counts_.marked_lost;
    } else if (!unsupported && result != g723_ok) {
        ++counts_.invalid;
    }
}

void streaming_decoder::decode(std::span<const std::uint8_t> data,
                               std::optional<std::span<const std::uint8_t>> lost,
                               std::vector<std::int16_t>& out) {
    const std::lock_guard lock(mutex_);
    const std::size_t frames = splitter_.frames_in(data);
    if (lost && lost->size() != frames) {
        throw std::invalid_argument("lost has " + std::to_string(lost->size()) + " flags but data completes " +
                                    std::to_string(frames) + " frames");
    }
    const std::size_t start = out.size();
    out.resize(start + frames * frame_samples);
    std::int16_t* const samples = out.data() + start;
    splitter_.split(data, [&](const frame_slot& slot, frame_kind kind, std::size_t frame) {
        decode_slot(slot, kind, lost && (*lost)[frame] != 0, samples + frame * frame_samples);
    });
}

void streaming_decoder::conceal(std::size_t count, std::vector<std::int16_t>& out) {
    const std::lock_guard lock(mutex_);
    if (splitter_.pending_bytes() > 0) {
        throw std::invalid_argument("cannot conceal frames while " + std::to_string(splitter_.pending_bytes()) +
                                    " bytes of a partial frame wait for the rest of it");
    }
    const std::size_t start = out.size();
    out.resize(start + count * frame_samples);
    const frame_slot silence{};
    for (std::size_t frame = 0; frame < count; ++frame) {
        std::int32_t produced = 0;
        g723_decode_frame(handle_, silence.data(), out.data() + start + frame * frame_samples, 1, &produced);
        ++counts_.marked_lost;
    }
}

std::string streaming_decoder::finish() {
    const std::lock_guard lock(mutex_);
    std::string message = splitter_.truncation();
    start_stream();
    return message;
}

frame_statistics streaming_decoder::counts() const {
    const std::lock_guard lock(mutex_);
    return counts_;
}

std::size_t streaming_decoder::pending_bytes() const {
    const std::lock_guard lock(mutex_);
    return splitter_.pending_bytes();
}

}  // namespace g723::python
