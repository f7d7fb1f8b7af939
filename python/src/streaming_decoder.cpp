// SPDX-License-Identifier: BSD-2-Clause
#include "streaming_decoder.h"

#include <algorithm>
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
    pending_count_ = 0;
    stream_offset_ = 0;
    stream_frames_ = 0;
}

std::size_t streaming_decoder::frames_in(std::span<const std::uint8_t> data) const {
    const std::lock_guard lock(mutex_);
    return frames_in_locked(data);
}

std::size_t streaming_decoder::frames_in_locked(std::span<const std::uint8_t> data) const {
    std::size_t frames = 0;
    std::size_t position = 0;
    if (pending_count_ > 0) {
        const std::size_t missing = meaningful_bytes(kind_of(pending_[0])) - pending_count_;
        if (data.size() < missing) return 0;
        ++frames;
        position = missing;
    }
    while (position < data.size()) {
        const std::size_t length = meaningful_bytes(kind_of(data[position]));
        if (data.size() - position < length) break;
        ++frames;
        position += length;
    }
    return frames;
}

void streaming_decoder::decode_slot(const std::uint8_t* slot, frame_kind kind, bool lost,
                                    std::int16_t* out) {
    counts_.count(kind);
    ++stream_frames_;
    stream_offset_ += meaningful_bytes(kind);
    const bool unsupported = kind == frame_kind::speech_5k3;
    std::int32_t produced = 0;
    const g723_result result = g723_decode_frame(handle_, slot, out, lost || unsupported ? 1 : 0, &produced);
    if (lost) {
        ++counts_.lost;
    } else if (!unsupported && result != g723_ok) {
        ++counts_.invalid;
    }
}

void streaming_decoder::decode(std::span<const std::uint8_t> data,
                               std::optional<std::span<const std::uint8_t>> lost,
                               std::vector<std::int16_t>& out) {
    const std::lock_guard lock(mutex_);
    const std::size_t frames = frames_in_locked(data);
    if (lost && lost->size() != frames) {
        throw std::invalid_argument("lost has " + std::to_string(lost->size()) + " flags but data completes " +
                                    std::to_string(frames) + " frames");
    }
    const std::size_t start = out.size();
    out.resize(start + frames * frame_samples);
    std::int16_t* const samples = out.data() + start;
    std::size_t frame = 0;
    const auto flag = [&](std::size_t index) { return lost && (*lost)[index] != 0; };
    if (pending_count_ > 0) {
        const frame_kind kind = kind_of(pending_[0]);
        const std::size_t taken = std::min(data.size(), meaningful_bytes(kind) - pending_count_);
        std::copy_n(data.begin(), taken, pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_));
        pending_count_ += taken;
        data = data.subspan(taken);
        if (pending_count_ < meaningful_bytes(kind)) return;
        // The slot's tail past the meaningful bytes is zero, as the decoder expects.
        decode_slot(pending_.data(), kind, flag(frame), samples);
        ++frame;
        pending_.fill(0);
        pending_count_ = 0;
    }
    std::array<std::uint8_t, slot_bytes> slot{};
    while (!data.empty()) {
        const frame_kind kind = kind_of(data[0]);
        const std::size_t length = meaningful_bytes(kind);
        if (data.size() < length) break;
        slot.fill(0);
        std::copy_n(data.begin(), length, slot.begin());
        decode_slot(slot.data(), kind, flag(frame), samples + frame * frame_samples);
        ++frame;
        data = data.subspan(length);
    }
    std::copy(data.begin(), data.end(), pending_.begin());
    pending_count_ = data.size();
}

void streaming_decoder::conceal(std::size_t count, std::vector<std::int16_t>& out) {
    const std::lock_guard lock(mutex_);
    if (pending_count_ > 0) {
        throw std::invalid_argument("cannot conceal frames while " + std::to_string(pending_count_) +
                                    " bytes of a partial frame wait for the rest of it");
    }
    const std::size_t start = out.size();
    out.resize(start + count * frame_samples);
    const std::array<std::uint8_t, slot_bytes> silence{};
    for (std::size_t frame = 0; frame < count; ++frame) {
        std::int32_t produced = 0;
        g723_decode_frame(handle_, silence.data(), out.data() + start + frame * frame_samples, 1, &produced);
        ++counts_.lost;
    }
}

std::string streaming_decoder::finish() {
    const std::lock_guard lock(mutex_);
    std::string message;
    if (pending_count_ > 0) {
        const frame_kind kind = kind_of(pending_[0]);
        message = "ends inside a frame: the " + std::string(kind_name(kind)) + " frame at byte " +
                  std::to_string(stream_offset_) + " needs " + std::to_string(meaningful_bytes(kind)) +
                  " bytes, only " + std::to_string(pending_count_) + " remain; the " +
                  std::to_string(stream_frames_) + " whole frames before it were decoded";
    }
    pending_.fill(0);
    start_stream();
    return message;
}

frame_counts streaming_decoder::counts() const {
    const std::lock_guard lock(mutex_);
    return counts_;
}

std::size_t streaming_decoder::pending_bytes() const {
    const std::lock_guard lock(mutex_);
    return pending_count_;
}

}  // namespace g723::python
