// SPDX-License-Identifier: BSD-2-Clause
#include "test_audio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace g723::tool_test {

audio read_audio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    audio sound;
    if (file == nullptr) return sound;
    sound.sample_rate = info.samplerate;
    sound.channels = info.channels;
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
}

void write_audio(const std::string& path, int container, const audio& sound) {
    SF_INFO info{};
    info.samplerate = sound.sample_rate;
    info.channels = sound.channels;
    info.format = container | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    sf_writef_short(file, sound.samples.data(), static_cast<sf_count_t>(sound.frames()));
    sf_close(file);
}

std::vector<double> speech_like(int sample_rate, double seconds) {
    const auto count = static_cast<std::size_t>(seconds * sample_rate);
    std::vector<double> signal(count);
    constexpr double pi = std::numbers::pi;
    for (std::size_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / sample_rate;
        // Pitch gliding between 100 and 180 Hz; its phase is the integral.
        const double phase = 2 * pi * (140.0 * t - 40.0 / (2 * pi * 0.7) * std::cos(2 * pi * 0.7 * t));
        const double f0 = 140.0 + 40.0 * std::sin(2 * pi * 0.7 * t);
        double value = 0.0;
        for (int h = 1; h * f0 < 3400.0; ++h) {
            const double f = h * f0;
            // Two formant resonances, near 600 and 1700 Hz.
            const double gain = 1.0 / (1.0 + std::pow((f - 600.0) / 150.0, 2)) +
                                0.5 / (1.0 + std::pow((f - 1700.0) / 250.0, 2)) + 0.02;
            value += gain * std::sin(h * phase);
        }
        // Syllables of 0.3 s with 0.15 s pauses.
        const double cycle = std::fmod(t, 0.45);
        const double envelope = cycle < 0.3 ? std::pow(std::sin(pi * cycle / 0.3), 2) : 0.0;
        signal[n] = 3000.0 * envelope * value;  // peaks near -5 dB full scale
    }
    return signal;
}

std::string raw_bytes(const std::vector<std::int16_t>& samples) {
    std::string bytes;
    for (const std::int16_t sample : samples) {
        const auto value = static_cast<std::uint16_t>(sample);
        bytes.push_back(static_cast<char>(value & 0xff));
        bytes.push_back(static_cast<char>(value >> 8));
    }
    return bytes;
}

std::vector<std::int16_t> to_pcm(const std::vector<double>& signal) {
    std::vector<std::int16_t> samples(signal.size());
    std::transform(signal.begin(), signal.end(), samples.begin(), [](double v) {
        return static_cast<std::int16_t>(std::clamp(std::round(v), -32768.0, 32767.0));
    });
    return samples;
}

double snr_db(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& decoded,
              std::size_t delay) {
    double signal = 0.0, noise = 0.0;
    for (std::size_t i = 0; i < reference.size() && i + delay < decoded.size(); ++i) {
        const double x = reference[i];
        const double e = x - decoded[i + delay];
        signal += x * x;
        noise += e * e;
    }
    return 10.0 * std::log10(signal / noise);
}

}  // namespace g723::tool_test
