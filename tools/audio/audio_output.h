// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_AUDIO_AUDIO_OUTPUT_H
#define G723_TOOLS_AUDIO_AUDIO_OUTPUT_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/atomic_output_file.h"

struct sf_private_tag;

namespace g723::tool {

struct memory_stream;

// The decoder's 8 kHz mono 16-bit output. The format follows the name:
// .raw and .pcm are headerless little-endian samples, .flac, .aif/.aiff and
// .au the formats of those names, the names of other audio formats (.mp3,
// .ogg, ...) refused as usage errors, anything else WAV; standard output is WAV
// unless `raw` asks for headerless samples. Nothing is in place until
// commit(). With several `channels`, samples are written interleaved.
class audio_output {
public:
    audio_output(const std::string& name, bool raw, int channels = 1);
    ~audio_output();
    audio_output(const audio_output&) = delete;
    audio_output& operator=(const audio_output&) = delete;

    void write(std::span<const std::int16_t> samples);
    void commit();

    std::uint64_t samples_written() const { return samples_written_; }
    const std::string& name() const { return file_.name(); }

private:

    atomic_output_file file_;
    bool raw_ = false;
    // A WAV (or other) file for standard output, a device or a pipe is built
    // in memory: its header holds the length, which a stream cannot be
    // rewound to fill in.
    std::unique_ptr<memory_stream> memory_;
    sf_private_tag* sound_ = nullptr;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t samples_written_ = 0;
};

}  // namespace g723::tool

#endif
