// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TESTS_TOOL_TEST_AUDIO_H
#define G723_TESTS_TOOL_TEST_AUDIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace g723::tool_test {

struct audio {
    int sample_rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;  // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// Reads any file libsndfile reads as 16-bit samples; empty on failure.
audio read_audio(const std::string& path);
// `container` is a libsndfile major format (SF_FORMAT_WAV, SF_FORMAT_FLAC...).
void write_audio(const std::string& path, int container, const audio& sound);

// A voiced, speech-like test signal: harmonics of a gliding 100..180 Hz
// pitch shaped by two formants, in syllables separated by pauses. Computed
// in closed form, so it is the same signal at any sample rate.
std::vector<double> speech_like(int sample_rate, double seconds);

// Headerless little-endian 16-bit bytes of mono samples.
std::string raw_bytes(const std::vector<std::int16_t>& samples);
std::vector<std::int16_t> to_pcm(const std::vector<double>& signal);

// SNR in dB of `decoded` against `reference`, with decoded sample i + delay
// taken for reference sample i.
double snr_db(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& decoded,
              std::size_t delay);

}  // namespace g723::tool_test

#endif
