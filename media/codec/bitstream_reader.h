// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_CODEC_BITSTREAM_READER_H
#define G723_MEDIA_CODEC_BITSTREAM_READER_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/codec/byte_source.h"
#include "media/codec/frame_layout.h"
#include "media/codec/frame_splitting.h"

namespace g723::media {

// One frame of a bit-stream file, placed in a zero-padded 24-byte slot.
struct coded_frame {
    std::uint64_t offset = 0;  // byte offset of the frame in the file
    frame_kind kind = frame_kind::untransmitted;
    std::size_t length = 0;    // bytes the frame occupies in the file
    frame_slot slot{};
};

enum class read_status { frame, end, truncated };

// The reader's refusal of its input: "<name>: is empty".
class bitstream_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits a bit-stream file into frames. In the compact layout the header
// code of each frame's first byte gives its length; in the slot layout
// every frame takes 24 bytes.
class bitstream_reader {
public:
    // Refuses (bitstream_error) an empty input and one that is plainly an
    // audio file rather than a bit-stream.
    bitstream_reader(byte_source& input, stream_layout layout);

    // On `truncated`, `frame.offset` is where the incomplete frame starts,
    // `frame.length` the bytes it needed and truncated_bytes() those present.
    read_status next(coded_frame& frame);
    std::size_t truncated_bytes() const { return truncated_bytes_; }
    std::uint64_t offset() const { return offset_; }

private:
    // Makes at least `count` bytes available unless the input ends first.
    void fill(std::size_t count);

    byte_source& input_;
    stream_layout layout_;
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    bool input_ended_ = false;
    std::uint64_t offset_ = 0;
    std::size_t truncated_bytes_ = 0;
};

// "ends inside a frame: the speech frame at byte 4812 needs 24 bytes, only 7
// remain; the 200 whole frames before it were decoded".
std::string truncation_reason(const coded_frame& frame, const bitstream_reader& reader,
                              stream_layout layout, std::uint64_t whole_frames);

}  // namespace g723::media

#endif
