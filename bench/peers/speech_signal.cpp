// SPDX-License-Identifier: BSD-2-Clause
#include "speech_signal.h"

#include <sndfile.h>

#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "media/audio/pcm_conversion.h"
#include "media/audio/resampler.h"
#include "media/codec/frame_layout.h"

namespace g723::bench {

namespace {

// Any file libsndfile reads, mixed to one channel on the 16-bit scale,
// converted to 8 kHz by the shared resampler and rounded to 16 bits: the
// samples the g723 tool's encoder gets from the same file.
std::vector<std::int16_t> read_speech(const std::string& name, int& rate, int& channels) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(name.c_str(), SFM_READ, &info), sf_close);
    if (!file) throw std::runtime_error(name + ": cannot be read as audio (" + sf_strerror(nullptr) + ")");
    rate = info.samplerate;
    channels = info.channels;
    std::optional<media::resampler> converter;
    if (rate != media::sample_rate) converter.emplace(rate);
    constexpr std::size_t block = 8192;
    std::vector<double> interleaved(block * static_cast<std::size_t>(channels));
    std::vector<double> mono;
    std::vector<double> converted;
    std::vector<std::int16_t> samples;
    for (bool ended = false; !ended;) {
        const sf_count_t got = sf_readf_double(file.get(), interleaved.data(), static_cast<sf_count_t>(block));
        if (got < 0 || sf_error(file.get()) != SF_ERR_NO_ERROR) {
            throw std::runtime_error(name + ": read error: " + sf_strerror(file.get()));
        }
        mono.assign(static_cast<std::size_t>(got), 0.0);
        for (std::size_t i = 0; i < mono.size(); ++i) {
            double sum = 0.0;
            for (int c = 0; c < channels; ++c) sum += interleaved[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
            mono[i] = sum / channels * 32768.0;
        }
        ended = mono.size() < block;
        converted.clear();
        if (converter) {
            if (!mono.empty()) converter->process(mono, converted);
            if (ended) converter->process({}, converted);
        } else {
            converted = mono;
        }
        for (const double value : converted) samples.push_back(media::to_pcm16(value));
    }
    return samples;
}

}  // namespace

speech_signal load_speech(const std::string& name, double seconds, std::size_t tail_samples,
                          std::size_t frame_multiple) {
    speech_signal signal;
    const std::vector<std::int16_t> file = read_speech(name, signal.file_rate, signal.file_channels);
    if (file.empty()) throw std::runtime_error(name + ": holds no audio samples");

    const double wanted = std::ceil(seconds * media::sample_rate);
    signal.copies = 1;
    while (static_cast<double>(signal.copies * file.size()) < wanted) ++signal.copies;
    signal.file_samples = file.size();
    signal.speech_samples = signal.copies * file.size();
    const std::size_t length =
        (signal.speech_samples + tail_samples + frame_multiple - 1) / frame_multiple * frame_multiple;
    signal.samples.reserve(length);
    for (std::size_t copy = 0; copy < signal.copies; ++copy) {
        signal.samples.insert(signal.samples.end(), file.begin(), file.end());
    }
    signal.samples.resize(length, 0);
    return signal;
}

}  // namespace g723::bench
