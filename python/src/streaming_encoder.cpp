// SPDX-License-Identifier: BSD-2-Clause
#include "streaming_encoder.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace g723::python {

streaming_encoder::streaming_encoder(const encoder_settings& settings) : settings_(settings) {
    if (g723_encoder_open(&handle_) != g723_ok || handle_ == nullptr) throw std::bad_alloc();
    start_stream();
}

streaming_encoder::~streaming_encoder() { g723_encoder_close(&handle_); }

void streaming_encoder::start_stream() {
    // A reset brings back the library's defaults, so the settings follow it.
    g723_encoder_reset(handle_);
    g723_encoder_set_filter_mode(handle_, settings_.highpass ? 1 : 0);
    g723_encoder_set_vad_mode(handle_, settings_.vad ? 1 : 0, settings_.multiple_sid ? 0 : 1);
    pending_count_ = 0;
    stream_samples_ = 0;
}

void streaming_encoder::code_frame(const std::int16_t* frame, std::vector<std::uint8_t>& out) {
    frame_slot slot{};
    std::int32_t length = 0;
    g723_encode_frame(handle_, frame, slot.data(), &length);
    const frame_kind kind = kind_of(slot[0]);
    counts_.count(kind);
    out.insert(out.end(), slot.begin(), slot.begin() + static_cast<std::ptrdiff_t>(meaningful_bytes(kind)));
}

void streaming_encoder::encode(std::span<const std::int16_t> samples, std::vector<std::uint8_t>& out) {
    const std::lock_guard lock(mutex_);
    out.reserve(out.size() + (pending_count_ + samples.size()) / frame_samples * G723_SLOT_BYTES);
    stream_samples_ += samples.size();
    if (pending_count_ > 0) {
        const std::size_t taken = std::min(samples.size(), frame_samples - pending_count_);
        std::copy_n(samples.begin(), taken, pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_));
        pending_count_ += taken;
        samples = samples.subspan(taken);
        if (pending_count_ < frame_samples) return;
        code_frame(pending_.data(), out);
        pending_count_ = 0;
    }
    while (samples.size() >= frame_samples) {
        code_frame(samples.data(), out);
        samples = samples.subspan(frame_samples);
    }
    std::copy(samples.begin(), samples.end(), pending_.begin());
    pending_count_ = samples.size();
}

void streaming_encoder::flush(std::vector<std::uint8_t>& out) {
    const std::lock_guard lock(mutex_);
    // The coded part ends encoder_delay samples before the end of what the
    // encoder has been given; this many frames reach past the last sample.
    // A stream without samples gives no frames.
    const std::uint64_t needed =
        stream_samples_ == 0 ? 0 : (stream_samples_ + encoder_delay + frame_samples - 1) / frame_samples;
    std::uint64_t coded = stream_samples_ / frame_samples;
    std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_), pending_.end(), 0);
    for (; coded < needed; ++coded) {
        code_frame(pending_.data(), out);
        pending_.fill(0);
    }
    start_stream();
}

frame_statistics streaming_encoder::counts() const {
    const std::lock_guard lock(mutex_);
    return counts_;
}

std::size_t streaming_encoder::pending_samples() const {
    const std::lock_guard lock(mutex_);
    return pending_count_;
}

}  // namespace g723::python
