// SPDX-License-Identifier: BSD-2-Clause
#include "speech_quality.h"

#include <limits>
#include <stdexcept>

#include "media/meters/snr_meter.h"

namespace g723::bench {

std::size_t best_delay(std::span<const std::int16_t> input, std::span<const std::int16_t> decoded,
                       std::size_t max_delay) {
    std::size_t best = 0;
    std::int64_t best_correlation = std::numeric_limits<std::int64_t>::min();
    for (std::size_t delay = 0; delay <= max_delay && delay < decoded.size(); ++delay) {
        const std::size_t overlap = std::min(input.size(), decoded.size() - delay);
        // Exact in 64 bits for any length below 2^33 samples; integer sums
        // also let the compiler vectorise the loop.
        std::int64_t correlation = 0;
        for (std::size_t i = 0; i < overlap; ++i) {
            correlation += std::int32_t{input[i]} * std::int32_t{decoded[i + delay]};
        }
        if (correlation > best_correlation) {
            best_correlation = correlation;
            best = delay;
        }
    }
    return best;
}

speech_quality measure_quality(std::span<const std::int16_t> input,
                               std::span<const std::int16_t> decoded, std::size_t max_delay) {
    if (decoded.size() < input.size() + max_delay) {
        throw std::invalid_argument("the decoded signal ends before the input's last sample");
    }
    speech_quality quality;
    quality.delay = best_delay(input, decoded, max_delay);
    media::snr_meter meter(quality.delay);
    meter.add_input(input);
    meter.add_decoded(decoded);
    meter.finish();
    quality.snr_db = meter.snr_db();
    quality.segmental_snr_db = meter.segmental_snr_db();
    return quality;
}

}  // namespace g723::bench
