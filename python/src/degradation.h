// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_DEGRADATION_H
#define G723_PYTHON_DEGRADATION_H

#include <cstdint>
#include <span>
#include <vector>

#include "streaming_encoder.h"

namespace g723::python {

struct degradation_settings {
    encoder_settings encoding;
    bool postfilter = true;
    double loss_percent = 0.0;  // of the frames, marked lost as `g723 roundtrip --loss` marks them
    std::uint64_t seed = 1;
};

// Input audio on the 16-bit scale at `rate`, as 8 kHz 16-bit samples: soxr
// converts other rates, then samples are rounded and clipped.
std::vector<std::int16_t> to_speech_input(std::span<const double> audio, int rate);

// The whole stream coded as the g723 tool codes a file (zero padding at the
// end included), in the compact layout.
std::vector<std::uint8_t> encode_all(std::span<const std::int16_t> speech, const encoder_settings& settings);

// Encodes and decodes 8 kHz speech and returns the decoded samples aligned
// with it: the encoder's look-ahead removed, as many samples as given.
std::vector<std::int16_t> code_and_decode(std::span<const std::int16_t> speech,
                                          const degradation_settings& settings);

// Audio on the 16-bit scale at any rate through the codec and back to that
// rate, aligned with the input and of the same length.
std::vector<double> degrade(std::span<const double> audio, int rate, const degradation_settings& settings);

}  // namespace g723::python

#endif
