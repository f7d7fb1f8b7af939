// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_SPEECH_SIGNAL_H
#define G723_BENCH_PEERS_SPEECH_SIGNAL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace g723::bench {

// The 8 kHz 16-bit speech every codec codes: an audio file repeated whole,
// then a tail of silence that lets the codecs' delays run out and makes the
// length a whole number of every codec's frames.
struct speech_signal {
    std::vector<std::int16_t> samples;
    // The repeated speech at the start of `samples`; the rest is the tail.
    std::size_t speech_samples = 0;
    std::size_t file_samples = 0;
    std::size_t copies = 0;
    int file_rate = 0;
    int file_channels = 0;
};

// Reads `name` (any file libsndfile reads, mixed to one channel, converted
// to 8 kHz and rounded to 16 bits as the g723 tool does) and repeats it
// until it lasts at least `seconds`. The tail holds at least `tail_samples`
// zeros and rounds the length up to a multiple of `frame_multiple`. Throws
// std::runtime_error for a file it cannot read or one without samples.
speech_signal load_speech(const std::string& name, double seconds, std::size_t tail_samples,
                          std::size_t frame_multiple);

}  // namespace g723::bench

#endif
