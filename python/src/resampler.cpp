// SPDX-License-Identifier: BSD-2-Clause
#include "resampler.h"

#include <soxr.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace g723::python {

std::vector<double> resample(std::span<const double> input, double input_rate, double output_rate) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const std::unique_ptr<soxr, decltype(&soxr_delete)> converter(
        soxr_create(input_rate, output_rate, 1, &error, &io, &quality, nullptr), &soxr_delete);
    if (error != nullptr) throw std::invalid_argument(std::string("cannot convert the sample rate: ") + error);

    std::vector<double> output;
    output.reserve(static_cast<std::size_t>(static_cast<double>(input.size()) * output_rate / input_rate) + 64);
    std::vector<double> block(8192);
    // The whole input, then an empty call per block until soxr has flushed
    // its filter's tail.
    std::size_t consumed = 0;
    for (;;) {
        const bool flushing = consumed == input.size();
        std::size_t taken = 0;
        std::size_t produced = 0;
        error = soxr_process(converter.get(), flushing ? nullptr : input.data() + consumed,
                             input.size() - consumed, &taken, block.data(), block.size(), &produced);
        if (error != nullptr) throw std::runtime_error(std::string("sample-rate conversion failed: ") + error);
        consumed += taken;
        output.insert(output.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(produced));
        if (flushing && produced == 0) break;
    }
    return output;
}

}  // namespace g723::python
