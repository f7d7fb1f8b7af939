// SPDX-License-Identifier: BSD-2-Clause
#include "audio/audio_output.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

#include "media/codec/frame_layout.h"
#include "io/memory_stream.h"
#include "io/tool_error.h"

namespace g723::tool {

using namespace g723::media;

namespace {

std::string lower_extension(const std::string& name) {
    const auto slash = name.find_last_of('/');
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// 0 for headerless samples, otherwise the libsndfile container.
int container_for(const std::string& name) {
    constexpr std::array<std::pair<std::string_view, int>, 8> containers{{
        {"raw", 0},
        {"pcm", 0},
        {"wav", SF_FORMAT_WAV},
        {"flac", SF_FORMAT_FLAC},
        {"aif", SF_FORMAT_AIFF},
        {"aiff", SF_FORMAT_AIFF},
        {"au", SF_FORMAT_AU},
        {"snd", SF_FORMAT_AU},
    }};
    const std::string extension = lower_extension(name);
    for (const auto& [known, container] : containers) {
        if (extension == known) return container;
    }
    // A name that promises another audio format must not get WAV data under
    // it: a player would misread it, or the user would think it converted.
    constexpr std::array<std::string_view, 22> other_formats{
        "mp3", "mp2", "ogg", "oga", "opus", "spx", "m4a", "mp4", "aac", "wma", "webm",
        "mka", "amr", "awb", "3gp", "caf", "w64", "rf64", "voc", "gsm", "ac3", "alac"};
    for (const std::string_view other : other_formats) {
        if (extension == other) {
            std::string format(other);
            std::transform(format.begin(), format.end(), format.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            fail_usage(name + ": cannot write " + format +
                       "; the formats written are WAV (.wav or another name), FLAC (.flac), AIFF "
                       "(.aif, .aiff), AU (.au, .snd) and headerless 16-bit samples (.raw, .pcm or --raw)");
        }
    }
    return SF_FORMAT_WAV;
}

}  // namespace

audio_output::audio_output(const std::string& name, bool raw, int channels) : file_(name) {
    const int container = raw ? 0 : name == "-" ? SF_FORMAT_WAV : container_for(name);
    raw_ = container == 0;
    if (raw_) return;

    SF_INFO info{};
    info.samplerate = sample_rate;
    info.channels = channels;
    info.format = container | SF_FORMAT_PCM_16;
    if (file_.is_stream()) {
        memory_ = std::make_unique<memory_stream>();
        SF_VIRTUAL_IO io = memory_stream::virtual_io();
        sound_ = sf_open_virtual(&io, SFM_WRITE, &info, memory_.get());
    } else {
        sound_ = sf_open_fd(file_.descriptor(), SFM_WRITE, &info, SF_FALSE);
    }
    if (sound_ == nullptr) {
        fail_data(file_.name(), std::string("cannot be written: ") + sf_strerror(nullptr));
    }
}

audio_output::~audio_output() {
    if (sound_ != nullptr) sf_close(sound_);
}

void audio_output::write(std::span<const std::int16_t> samples) {
    samples_written_ += samples.size();
    if (raw_) {
        bytes_.resize(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto value = static_cast<std::uint16_t>(samples[i]);
            bytes_[2 * i] = static_cast<std::uint8_t>(value & 0xff);
            bytes_[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
        }
        file_.write(bytes_);
        return;
    }
    const auto count = static_cast<sf_count_t>(samples.size());
    if (sf_write_short(sound_, samples.data(), count) != count) {
        fail_data(file_.name(), std::string("write error: ") + sf_strerror(sound_));
    }
}

void audio_output::commit() {
    if (sound_ != nullptr) {
        // Closing writes the final header.
        const int error = sf_close(sound_);
        sound_ = nullptr;
        if (error != 0) {
            fail_data(file_.name(), std::string("write error: ") + sf_error_number(error));
        }
    }
    if (memory_) file_.write(memory_->bytes);
    file_.commit();
}

}  // namespace g723::tool
