// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_PEER_REPORT_H
#define G723_BENCH_PEERS_PEER_REPORT_H

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>

#include "speech_codec.h"
#include "speech_quality.h"
#include "speech_signal.h"

namespace g723::bench {

// One codec's row: medians over the repetitions, per second of audio.
struct codec_result {
    std::string name;
    std::string settings;
    double bit_rate = 0.0;
    double encode_us = 0.0;
    double decode_us = 0.0;
    state_size encoder_state;
    state_size decoder_state;
    speech_quality quality;
};

struct report_context {
    std::string input_name;
    const speech_signal* signal = nullptr;
    int repetitions = 0;
    std::size_t max_delay = 0;
};

// The comparison as Markdown: the table, the two goals against GSM full
// rate, then notes on the columns and each codec's settings. The first
// result is the reference for the ratios.
void print_report(std::FILE* out, std::span<const codec_result> results, const report_context& context);

}  // namespace g723::bench

#endif
