// SPDX-License-Identifier: BSD-2-Clause
#include "media/meters/snr_meter.h"

#include <algorithm>
#include <cmath>

namespace g723::media {

void snr_meter::add_input(std::span<const std::int16_t> samples) {
    pending_input_.insert(pending_input_.end(), samples.begin(), samples.end());
    while (!pending_input_.empty() && !pending_decoded_.empty()) {
        compare(pending_input_.front(), pending_decoded_.front());
        pending_input_.pop_front();
        pending_decoded_.pop_front();
    }
}

void snr_meter::add_decoded(std::span<const std::int16_t> samples) {
    std::size_t skip = std::min(samples.size(), delay_ - dropped_);
    dropped_ += skip;
    pending_decoded_.insert(pending_decoded_.end(), samples.begin() + static_cast<std::ptrdiff_t>(skip),
                            samples.end());
    while (!pending_input_.empty() && !pending_decoded_.empty()) {
        compare(pending_input_.front(), pending_decoded_.front());
        pending_input_.pop_front();
        pending_decoded_.pop_front();
    }
}

void snr_meter::compare(std::int16_t input, std::int16_t decoded) {
    const double x = input;
    const double error = x - decoded;
    signal_ += x * x;
    noise_ += error * error;
    segment_signal_ += x * x;
    segment_noise_ += error * error;
    ++compared_;
    if (++segment_length_ == segment_samples) close_segment();
}

void snr_meter::close_segment() {
    if (segment_length_ == 0) return;
    const double mean_square = segment_signal_ / static_cast<double>(segment_length_);
    if (mean_square >= silence_rms * silence_rms) {
        const double db = segment_noise_ > 0.0
                              ? 10.0 * std::log10(segment_signal_ / segment_noise_)
                              : ceiling_db;
        segment_sum_db_ += std::clamp(db, floor_db, ceiling_db);
        ++segments_used_;
    }
    segment_signal_ = 0.0;
    segment_noise_ = 0.0;
    segment_length_ = 0;
}

void snr_meter::finish() { close_segment(); }

std::optional<double> snr_meter::snr_db() const {
    if (signal_ <= 0.0) return std::nullopt;
    if (noise_ <= 0.0) return HUGE_VAL;
    return 10.0 * std::log10(signal_ / noise_);
}

std::optional<double> snr_meter::segmental_snr_db() const {
    if (segments_used_ == 0) return std::nullopt;
    return segment_sum_db_ / static_cast<double>(segments_used_);
}

}  // namespace g723::media
