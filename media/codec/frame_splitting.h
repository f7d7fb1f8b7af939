// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_CODEC_FRAME_SPLITTING_H
#define G723_MEDIA_CODEC_FRAME_SPLITTING_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "media/codec/frame_layout.h"

namespace g723::media {

// Bytes the frame that starts with `first_byte` occupies: in the compact
// layout what its header code says, in the slot layout always 24.
inline std::size_t coded_frame_length(std::uint8_t first_byte, stream_layout layout) {
    return layout == stream_layout::slots ? G723_SLOT_BYTES : meaningful_bytes(kind_of(first_byte));
}

// True when bytes start like an audio file (WAV, AIFF, FLAC, Ogg, AU)
// rather than a bit-stream. A bit-stream can start with any byte, so this
// only guards the decoder against the plain mix-up, which would otherwise
// "decode" into noise.
bool looks_like_audio_file(std::span<const std::uint8_t> head);

// Why coded bytes end inside a frame: "ends inside a frame: the speech
// frame at byte 4812 needs 24 bytes, only 7 remain; the 200 whole frames
// before it were decoded".
std::string truncation_reason(stream_layout layout, frame_kind kind, std::uint64_t offset,
                              std::size_t needed, std::size_t present, std::uint64_t whole_frames);

// Splits coded bytes that come in pieces of any length into frames, each
// in a zero-padded slot as the decoder takes it; the bytes of an unfinished
// frame wait for the next piece.
class frame_splitter {
public:
    explicit frame_splitter(stream_layout layout = stream_layout::compact) : layout_(layout) {}

    // Frames that `data` completes, with the bytes already waiting.
    std::size_t frames_in(std::span<const std::uint8_t> data) const;

    // Hands each frame that `data` completes to `frame(slot, kind, index)`,
    // `index` counting the frames of this call from 0, and keeps the bytes
    // of an unfinished frame.
    template <typename Frame>
    void split(std::span<const std::uint8_t> data, Frame&& frame) {
        std::size_t index = 0;
        if (pending_count_ > 0) {
            const std::size_t needed = coded_frame_length(pending_[0], layout_);
            const std::size_t taken = std::min(data.size(), needed - pending_count_);
            std::copy_n(data.begin(), taken, pending_.begin() + static_cast<std::ptrdiff_t>(pending_count_));
            pending_count_ += taken;
            data = data.subspan(taken);
            if (pending_count_ < needed) return;
            // The slot's tail past the frame's bytes is zero.
            take(needed);
            frame(static_cast<const frame_slot&>(pending_), kind_of(pending_[0]), index++);
            pending_.fill(0);
            pending_count_ = 0;
        }
        frame_slot slot{};
        while (!data.empty()) {
            const std::size_t length = coded_frame_length(data[0], layout_);
            if (data.size() < length) break;
            slot.fill(0);
            std::copy_n(data.begin(), length, slot.begin());
            take(length);
            frame(static_cast<const frame_slot&>(slot), kind_of(slot[0]), index++);
            data = data.subspan(length);
        }
        std::copy(data.begin(), data.end(), pending_.begin());
        pending_count_ = data.size();
    }

    // Bytes of an unfinished frame waiting for the rest of it.
    std::size_t pending_bytes() const { return pending_count_; }
    // Why the bytes so far end inside a frame; empty when they end between
    // frames.
    std::string truncation() const;
    // Forgets the bytes waiting and the frames counted: a new stream.
    void reset();

private:
    void take(std::size_t length) {
        offset_ += length;
        ++frames_;
    }

    stream_layout layout_;
    frame_slot pending_{};
    std::size_t pending_count_ = 0;
    std::uint64_t offset_ = 0;  // bytes of the whole frames so far
    std::uint64_t frames_ = 0;  // whole frames so far
};

}  // namespace g723::media

#endif
