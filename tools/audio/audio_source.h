// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_AUDIO_AUDIO_SOURCE_H
#define G723_TOOLS_AUDIO_AUDIO_SOURCE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/input_file.h"

struct sf_private_tag;
struct SF_INFO;

namespace g723::tool {

struct memory_stream;

// An audio input mixed down to one channel on the 16-bit scale, at its own
// sample rate: any file libsndfile reads, or headerless 16-bit little-endian
// 8 kHz mono ("raw").
class audio_source {
public:
    audio_source(const std::string& name, bool raw);
    ~audio_source();
    audio_source(const audio_source&) = delete;
    audio_source& operator=(const audio_source&) = delete;

    // Fills `mono` from the start; returns the samples delivered, fewer than
    // asked only at the end of the input.
    std::size_t read(std::span<double> mono);

    int sample_rate() const { return sample_rate_; }
    int channels() const { return channels_; }
    // Length in samples per channel, when the input tells it beforehand.
    std::optional<std::uint64_t> length() const { return length_; }
    std::uint64_t samples_read() const { return samples_read_; }
    const std::string& name() const { return input_.name(); }

private:
    // A note on standard error when the header promises more than is there.
    void warn_if_cut_short(const SF_INFO& info) const;
    std::size_t read_raw(std::span<double> mono);
    std::size_t read_sndfile(std::span<double> mono);

    input_file input_;
    bool raw_;
    // Standard input held in memory so that libsndfile may seek in it.
    std::unique_ptr<memory_stream> memory_;
    sf_private_tag* file_ = nullptr;
    int sample_rate_ = 8000;
    int channels_ = 1;
    std::optional<std::uint64_t> length_;
    std::uint64_t samples_read_ = 0;
    std::vector<double> interleaved_;
    std::vector<std::uint8_t> raw_bytes_;
};

}  // namespace g723::tool

#endif
