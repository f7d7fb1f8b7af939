// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_ROUND_TRIP_H
#define G723_BENCH_PEERS_ROUND_TRIP_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "speech_codec.h"

namespace g723::bench {

// CPU time of this thread alone: other processes on a busy machine and time
// spent waiting for the processor do not count.
double thread_seconds();

// CPU time of the calling thread for one pass over the whole signal.
struct round_trip_times {
    double encode_seconds = 0.0;
    double decode_seconds = 0.0;
};

// One codec coding and decoding a whole signal, again and again. The coded
// frames and the decoded samples stay in buffers made once, so that the
// timed loops do nothing but call the codec.
class round_trip {
public:
    round_trip(const speech_codec& codec, std::size_t signal_samples);

    // Opens a new encoder and decoder, then times encoding every frame of
    // `signal` and, apart, decoding every coded frame.
    round_trip_times run(std::span<const std::int16_t> signal);

    std::span<const std::int16_t> decoded() const { return decoded_; }
    // Bytes a channel carries for the whole signal, from the last run.
    std::uint64_t transmitted_bytes() const;
    // State sizes of the instances of the last run.
    const state_size& encoder_state() const { return encoder_state_; }
    const state_size& decoder_state() const { return decoder_state_; }

private:
    const speech_codec& codec_;
    std::size_t frame_samples_;
    std::size_t slot_bytes_;
    std::size_t frames_;
    std::vector<std::uint8_t> slots_;
    std::vector<std::size_t> lengths_;
    std::vector<std::int16_t> decoded_;
    state_size encoder_state_;
    state_size decoder_state_;
};

}  // namespace g723::bench

#endif
