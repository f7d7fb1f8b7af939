// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_STREAM_INFO_H
#define G723_PYTHON_STREAM_INFO_H

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "frame_kinds.h"

namespace g723::python {

// What `g723 info` tells of a compact bit-stream.
struct stream_info {
    frame_counts counts;
    std::uint64_t bytes = 0;  // of whole frames
    // Byte offset and reason of every frame that does not decode cleanly.
    std::vector<std::pair<std::uint64_t, std::string>> not_clean;
    // The tool's message when the stream ends inside a frame, else empty.
    std::string truncation;

    double seconds() const;
    double bit_rate() const;  // meaningful bytes only, as the compact layout carries them
};

// Reads the stream frame by frame and runs every frame through a decoder
// to find those it refuses.
stream_info describe_stream(std::span<const std::uint8_t> data);

// True when the bytes start like an audio file (WAV, AIFF, FLAC, Ogg, AU)
// rather than a bit-stream: the plain mix-up that would decode into noise.
bool looks_like_audio_file(std::span<const std::uint8_t> head);

}  // namespace g723::python

#endif
