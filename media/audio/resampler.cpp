// SPDX-License-Identifier: BSD-2-Clause
#include "media/audio/resampler.h"

#include <soxr.h>

#include <string>

#include "media/codec/frame_layout.h"

namespace g723::media {


resampler::resampler(int input_rate) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    converter_ = soxr_create(static_cast<double>(input_rate), sample_rate, 1, &error, &io,
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

}  // namespace g723::media
