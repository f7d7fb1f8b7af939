// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_RESAMPLER_H
#define G723_PYTHON_RESAMPLER_H

#include <span>
#include <vector>

namespace g723::python {

// Converts a whole one-channel signal from `input_rate` to `output_rate`
// with soxr at high quality, as the g723 tool converts its input (its
// linear-phase low-pass keeps the speech band flat). soxr removes its own
// filter delay, so output sample i lies at input time i / output_rate.
// Throws std::invalid_argument with soxr's reason when it refuses the rates.
std::vector<double> resample(std::span<const double> input, double input_rate, double output_rate);

}  // namespace g723::python

#endif
