// SPDX-License-Identifier: BSD-2-Clause
#include "media/codec/bitstream_reader.h"

#include <algorithm>
#include <span>
#include <string_view>

namespace g723::media {

namespace {

constexpr std::size_t read_block = 1 << 16;

[[noreturn]] void refuse(const byte_source& input, std::string_view reason) {
    throw bitstream_error(input.name() + ": " + std::string(reason));
}

}  // namespace

bitstream_reader::bitstream_reader(byte_source& input, stream_layout layout)
    : input_(input), layout_(layout) {
    fill(12);
    if (buffer_.empty()) refuse(input_, "is empty");
    if (looks_like_audio_file(buffer_)) refuse(input_, "is an audio file, not a G.723.1 bit-stream");
}

void bitstream_reader::fill(std::size_t count) {
    if (buffer_.size() - position_ >= count || input_ended_) return;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = 0;
    while (buffer_.size() < count && !input_ended_) {
        const std::size_t used = buffer_.size();
        buffer_.resize(used + read_block);
        const std::size_t got = input_.read(std::span(buffer_).subspan(used));
        buffer_.resize(used + got);
        if (got < read_block) input_ended_ = true;
    }
}

read_status bitstream_reader::next(coded_frame& frame) {
    fill(G723_SLOT_BYTES);
    const std::size_t available = buffer_.size() - position_;
    if (available == 0) return read_status::end;

    const std::uint8_t first = buffer_[position_];
    frame.offset = offset_;
    frame.kind = kind_of(first);
    frame.length = coded_frame_length(first, layout_);
    if (available < frame.length) {
        truncated_bytes_ = available;
        position_ = buffer_.size();
        return read_status::truncated;
    }
    // In the compact layout the slot's tail is zero, as the decoder expects;
    // a slot file brings its own tail.
    frame.slot.fill(0);
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(position_), frame.length,
                frame.slot.begin());
    position_ += frame.length;
    offset_ += frame.length;
    return read_status::frame;
}

std::string truncation_reason(const coded_frame& frame, const bitstream_reader& reader,
                              stream_layout layout, std::uint64_t whole_frames) {
    return truncation_reason(layout, frame.kind, frame.offset, frame.length, reader.truncated_bytes(),
                                    whole_frames);
}

}  // namespace g723::media
