// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_METERS_SNR_METER_H
#define G723_MEDIA_METERS_SNR_METER_H

#include <cstdint>
#include <deque>
#include <optional>
#include <span>

namespace g723::media {

// Signal-to-noise ratios of decoded speech against the encoder's 8 kHz
// input. The decoded signal lags the input by `delay` samples; the first
// `delay` decoded samples are dropped and sample i of the input is compared
// with decoded sample i + delay, up to the last input sample.
//
// The segmental SNR averages per-segment SNRs over 240-sample input
// segments, each limited to [-10, 35] dB so that near-silent or perfectly
// coded segments cannot dominate; segments whose input RMS is below
// `silence_rms` are left out as silence.
class snr_meter {
public:
    static constexpr double silence_rms = 100.0;  // about -50 dB below full scale
    static constexpr double floor_db = -10.0;
    static constexpr double ceiling_db = 35.0;
    static constexpr std::size_t segment_samples = 240;

    explicit snr_meter(std::size_t delay) : delay_(delay) {}

    void add_input(std::span<const std::int16_t> samples);
    void add_decoded(std::span<const std::int16_t> samples);
    // Ends the last, possibly short, segment. Decoded samples beyond the
    // input's end are padding and have been ignored.
    void finish();

    // None when the input held no signal at all.
    std::optional<double> snr_db() const;
    std::optional<double> segmental_snr_db() const;
    std::uint64_t segments_used() const { return segments_used_; }
    std::uint64_t samples_compared() const { return compared_; }

private:
    void compare(std::int16_t input, std::int16_t decoded);
    void close_segment();

    std::size_t delay_;
    std::size_t dropped_ = 0;
    std::deque<std::int16_t> pending_input_;
    std::deque<std::int16_t> pending_decoded_;
    double signal_ = 0.0;
    double noise_ = 0.0;
    double segment_signal_ = 0.0;
    double segment_noise_ = 0.0;
    std::size_t segment_length_ = 0;
    double segment_sum_db_ = 0.0;
    std::uint64_t segments_used_ = 0;
    std::uint64_t compared_ = 0;
};

}  // namespace g723::media

#endif
