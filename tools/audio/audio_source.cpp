// SPDX-License-Identifier: BSD-2-Clause
#include "audio/audio_source.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "io/memory_stream.h"
#include "io/tool_error.h"

namespace g723::tool {

namespace {

constexpr double full_scale = 32768.0;

}  // namespace

audio_source::audio_source(const std::string& name, bool raw) : input_(name), raw_(raw) {
    if (raw_) {
        if (input_.size()) length_ = *input_.size() / 2;
        return;
    }
    SF_INFO info{};
    if (input_.is_standard_input()) {
        memory_ = std::make_unique<memory_stream>();
        memory_->bytes = input_.read_all();
        if (memory_->bytes.empty()) fail_data(input_.name(), "is empty");
        SF_VIRTUAL_IO io = memory_stream::virtual_io();
        file_ = sf_open_virtual(&io, SFM_READ, &info, memory_.get());
    } else {
        file_ = sf_open_fd(input_.descriptor(), SFM_READ, &info, SF_FALSE);
    }
    if (file_ == nullptr) {
        fail_data(input_.name(),
                  std::string("is not an audio file that can be read (") + sf_strerror(nullptr) +
                      ")");
    }
    if (info.channels < 1 || info.samplerate < 1) {
        fail_data(input_.name(), "has no channels or no sample rate");
    }
    if (info.frames == 0) fail_data(input_.name(), "contains no audio samples");
    sample_rate_ = info.samplerate;
    channels_ = info.channels;
    warn_if_cut_short(info);
    // Streamed formats may not know their length; libsndfile then reports
    // the largest count it can represent.
    if (info.frames > 0 && info.frames < SF_COUNT_MAX) {
        length_ = static_cast<std::uint64_t>(info.frames);
    }
}

void audio_source::warn_if_cut_short(const SF_INFO& info) const {
    // libsndfile reads what is there when a header promises more audio than
    // the file holds (a recording cut off, a header written up front); it
    // says so only in its log, as "data : PROMISED (should be PRESENT)".
    std::array<char, 4096> log{};
    sf_command(file_, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    const std::string_view text(log.data());
    for (const std::string_view chunk : {std::string_view("\ndata : "), std::string_view("\nSSND : ")}) {
        const auto line = text.find(chunk);
        if (line == std::string_view::npos) continue;
        const std::string rest(text.substr(line + chunk.size(), 64));
        unsigned long long promised = 0;
        unsigned long long present = 0;
        if (std::sscanf(rest.c_str(), "%llu (should be %llu)", &promised, &present) != 2 ||
            present == 0 || promised <= present) {
            continue;
        }
        const double held = static_cast<double>(info.frames) / info.samplerate;
        std::fprintf(stderr,
                     "g723: %s: warning: the header promises %.2f s of audio but the file holds "
                     "only %.2f s; coding what is there\n",
                     input_.name().c_str(), held * static_cast<double>(promised) / static_cast<double>(present),
                     held);
        return;
    }
}

audio_source::~audio_source() {
    if (file_ != nullptr) sf_close(file_);
}

std::size_t audio_source::read(std::span<double> mono) {
    const std::size_t count = raw_ ? read_raw(mono) : read_sndfile(mono);
    samples_read_ += count;
    return count;
}

std::size_t audio_source::read_raw(std::span<double> mono) {
    raw_bytes_.resize(mono.size() * 2);
    const std::size_t bytes = input_.read(raw_bytes_);
    if (bytes % 2 != 0) {
        fail_data(input_.name(), "ends in the middle of a 16-bit sample (odd byte count " +
                                     std::to_string(input_.bytes_read()) + ")");
    }
    const std::size_t count = bytes / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const auto value = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(raw_bytes_[2 * i] | (raw_bytes_[2 * i + 1] << 8)));
        mono[i] = value;
    }
    if (samples_read_ + count == 0 && input_.is_standard_input()) {
        fail_data(input_.name(), "is empty");
    }
    return count;
}

std::size_t audio_source::read_sndfile(std::span<double> mono) {
    const auto channels = static_cast<std::size_t>(channels_);
    interleaved_.resize(mono.size() * channels);
    const sf_count_t got =
        sf_readf_double(file_, interleaved_.data(), static_cast<sf_count_t>(mono.size()));
    if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
        fail_data(input_.name(), std::string("read error: ") + sf_strerror(file_));
    }
    const auto count = static_cast<std::size_t>(got);
    for (std::size_t i = 0; i < count; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < channels; ++c) sum += interleaved_[i * channels + c];
        // libsndfile delivers every sample format normalised to [-1, 1).
        mono[i] = sum / static_cast<double>(channels) * full_scale;
    }
    return count;
}

}  // namespace g723::tool
