// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_SPEECH_QUALITY_H
#define G723_BENCH_PEERS_SPEECH_QUALITY_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace g723::bench {

// How closely decoded speech follows the input's waveform, at the delay that
// lines the two up best. Both ratios reward coders that keep the waveform;
// coders that keep only the spectrum and the pitch score low however they
// sound.
struct speech_quality {
    std::size_t delay = 0;  // decoded sample i + delay matches input sample i
    std::optional<double> snr_db;
    std::optional<double> segmental_snr_db;
};

// The delay in 0..max_delay at which the decoded signal correlates best
// with the input (the first of equals).
std::size_t best_delay(std::span<const std::int16_t> input, std::span<const std::int16_t> decoded,
                       std::size_t max_delay);

// SNR and segmental SNR of `decoded` against every sample of `input`, as the
// g723 tool's round trip measures them (30 ms segments, silent ones left
// out), at the best delay. `decoded` must reach max_delay samples past the
// input's end.
speech_quality measure_quality(std::span<const std::int16_t> input,
                               std::span<const std::int16_t> decoded, std::size_t max_delay);

}  // namespace g723::bench

#endif
