// SPDX-License-Identifier: BSD-2-Clause
#include "round_trip.h"

#include <time.h>

#include <stdexcept>

namespace g723::bench {

double thread_seconds() {
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
        throw std::runtime_error("the thread's CPU clock cannot be read");
    }
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

round_trip::round_trip(const speech_codec& codec, std::size_t signal_samples)
    : codec_(codec),
      frame_samples_(codec.frame_samples()),
      slot_bytes_(codec.slot_bytes()),
      frames_(signal_samples / frame_samples_),
      slots_(frames_ * slot_bytes_),
      lengths_(frames_),
      decoded_(frames_ * frame_samples_) {
    if (frames_ * frame_samples_ != signal_samples) {
        throw std::invalid_argument("the signal is not a whole number of " + codec.name() + " frames");
    }
}

round_trip_times round_trip::run(std::span<const std::int16_t> signal) {
    round_trip_times times;
    const std::span<std::uint8_t> slots(slots_);
    const std::span<std::int16_t> decoded(decoded_);
    {
        const auto encoder = codec_.open_encoder();
        encoder_state_ = encoder->state();
        const double start = thread_seconds();
        for (std::size_t f = 0; f < frames_; ++f) {
            lengths_[f] = encoder->encode(signal.subspan(f * frame_samples_, frame_samples_),
                                          slots.subspan(f * slot_bytes_, slot_bytes_));
        }
        times.encode_seconds = thread_seconds() - start;
    }
    {
        const auto decoder = codec_.open_decoder();
        decoder_state_ = decoder->state();
        const double start = thread_seconds();
        for (std::size_t f = 0; f < frames_; ++f) {
            decoder->decode(slots.subspan(f * slot_bytes_, lengths_[f]),
                            decoded.subspan(f * frame_samples_, frame_samples_));
        }
        times.decode_seconds = thread_seconds() - start;
    }
    return times;
}

std::uint64_t round_trip::transmitted_bytes() const {
    const std::span<const std::uint8_t> slots(slots_);
    std::uint64_t total = 0;
    for (std::size_t f = 0; f < frames_; ++f) {
        total += codec_.transmitted_bytes(slots.subspan(f * slot_bytes_, lengths_[f]));
    }
    return total;
}

}  // namespace g723::bench
