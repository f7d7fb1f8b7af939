// SPDX-License-Identifier: BSD-2-Clause
// An audio file held in memory behind libsndfile's virtual I/O: standard
// input read whole so that libsndfile may seek in it, and output for a
// stream, whose header must be filled in after the samples.
#ifndef G723_TOOL_MEMORY_STREAM_H
#define G723_TOOL_MEMORY_STREAM_H

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace g723::tool {

struct memory_stream {
    std::vector<std::uint8_t> bytes;
    sf_count_t position = 0;

    // The callbacks, for sf_open_virtual with this stream as user data.
    static SF_VIRTUAL_IO virtual_io() { return {&length, &seek, &read, &write, &tell}; }

private:
    static memory_stream& of(void* self) { return *static_cast<memory_stream*>(self); }

    static sf_count_t length(void* self) { return static_cast<sf_count_t>(of(self).bytes.size()); }
    // Seeking past the end is allowed: a later write fills the gap.
    static sf_count_t seek(sf_count_t offset, int whence, void* self) {
        auto& stream = of(self);
        sf_count_t target = offset;
        if (whence == SEEK_CUR) target += stream.position;
        if (whence == SEEK_END) target += static_cast<sf_count_t>(stream.bytes.size());
        if (target < 0) return -1;
        stream.position = target;
        return target;
    }
    static sf_count_t read(void* destination, sf_count_t count, void* self) {
        auto& stream = of(self);
        const auto size = static_cast<sf_count_t>(stream.bytes.size());
        const sf_count_t taken = std::clamp<sf_count_t>(size - stream.position, 0, count);
        if (taken > 0)
            std::memcpy(destination, stream.bytes.data() + stream.position, static_cast<std::size_t>(taken));
        stream.position += taken;
        return taken;
    }
    static sf_count_t write(const void* source, sf_count_t count, void* self) {
        auto& stream = of(self);
        if (count <= 0) return 0;
        const auto end = static_cast<std::size_t>(stream.position + count);
        if (stream.bytes.size() < end) stream.bytes.resize(end);
        std::memcpy(stream.bytes.data() + stream.position, source, static_cast<std::size_t>(count));
        stream.position += count;
        return count;
    }
    static sf_count_t tell(void* self) { return of(self).position; }
};

}  // namespace g723::tool

#endif
