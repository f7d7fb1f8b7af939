// SPDX-License-Identifier: BSD-2-Clause
#include "media/audio/resampler.h"

#include <soxr.h>

#include <string>


namespace g723::media {


resampler::resampler(double input_rate, double output_rate) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    converter_ = soxr_create(input_rate, output_rate, 1, &error, &io,
                             &quality, nullptr);
    if (error != nullptr) {
        throw resampling_error(std::string("cannot convert the sample rate: ") + error);
    }
    block_.resize(4096);
}

resampler::~resampler() { soxr_delete(converter_); }

void resampler::process(std::span<const double> input, std::vector<double>& output) {
    const bool flushing = input.empty();
    std::size_t consumed = 0;
    for (;;) {
        std::size_t taken = 0;
        std::size_t produced = 0;
        const soxr_error_t error =
            flushing ? soxr_process(converter_, nullptr, 0, nullptr, block_.data(),
                                    block_.size(), &produced)
                     : soxr_process(converter_, input.data() + consumed, input.size() - consumed,
                                    &taken, block_.data(), block_.size(), &produced);
        if (error != nullptr) {
            throw resampling_error(std::string("sample-rate conversion failed: ") + error);
        }
        consumed += taken;
        output.insert(output.end(), block_.begin(),
                      block_.begin() + static_cast<std::ptrdiff_t>(produced));
        if (flushing ? produced == 0 : consumed == input.size() && produced < block_.size()) {
            break;
        }
    }
}

std::vector<double> resample(std::span<const double> input, double input_rate, double output_rate) {
    resampler converter(input_rate, output_rate);
    std::vector<double> output;
    output.reserve(static_cast<std::size_t>(static_cast<double>(input.size()) * output_rate / input_rate) + 64);
    if (!input.empty()) converter.process(input, output);
    converter.process({}, output);
    return output;
}

}  // namespace g723::media
