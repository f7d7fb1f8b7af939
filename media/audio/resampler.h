// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_AUDIO_RESAMPLER_H
#define G723_MEDIA_AUDIO_RESAMPLER_H

#include <span>
#include <stdexcept>
#include <vector>

#include "media/codec/frame_layout.h"

struct soxr;

namespace g723::media {

// A sample-rate conversion the converter refused or failed; the message says why.
class resampling_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Streaming sample-rate conversion of one channel, to 8 kHz unless said
// otherwise, with soxr at high quality (its linear-phase low-pass keeps the
// speech band flat). soxr removes its own filter delay, so output sample i
// lies at input time i / output_rate.
class resampler {
public:
    explicit resampler(double input_rate, double output_rate = sample_rate);
    ~resampler();
    resampler(const resampler&) = delete;
    resampler& operator=(const resampler&) = delete;

    // Appends the output for `input` to `output`; an empty `input` flushes
    // the filter's tail at the end of the signal.
    void process(std::span<const double> input, std::vector<double>& output);

private:
    soxr* converter_ = nullptr;
    std::vector<double> block_;
};

// Converts a whole one-channel signal from `input_rate` to `output_rate`.
std::vector<double> resample(std::span<const double> input, double input_rate, double output_rate);

}  // namespace g723::media

#endif
