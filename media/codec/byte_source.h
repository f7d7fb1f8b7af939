// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_CODEC_BYTE_SOURCE_H
#define G723_MEDIA_CODEC_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace g723::media {

// Where a reader of coded bytes takes them from: a file, standard input,
// memory. A source that cannot read reports it by throwing.
class byte_source {
public:
    virtual ~byte_source() = default;

    // Reads up to `buffer.size()` bytes; fewer only at the end of the input.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    // How messages name the input.
    virtual const std::string& name() const = 0;
};

}  // namespace g723::media

#endif
