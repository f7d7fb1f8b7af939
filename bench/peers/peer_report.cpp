// SPDX-License-Identifier: BSD-2-Clause
#include "peer_report.h"

#include <cmath>
#include <stdexcept>
#include <string_view>

#include "media/codec/frame_layout.h"

namespace g723::bench {

namespace {

constexpr std::string_view gsm_name = "GSM-FR";
constexpr double encoder_goal = 1.5;
constexpr double decoder_goal = 2.0;

std::string decibels(const std::optional<double>& value) {
    if (!value) return "n/a";
    if (std::isinf(*value)) return "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", *value);
    return text;
}

std::string bytes_text(const state_size& size) {
    if (size.bytes == 0) return "n/a";
    return std::to_string(size.bytes) + (size.method == "heap" ? "" : "*");
}

const codec_result& find(std::span<const codec_result> results, std::string_view name) {
    for (const codec_result& result : results) {
        if (result.name == name) return result;
    }
    throw std::logic_error("no result for " + std::string(name));
}

void print_goal(std::FILE* out, const char* side, double gsm_us, double g723_us, double goal) {
    const double speed_up = gsm_us / g723_us;
    std::fprintf(out, "- %s: g723 is **%.2f** times as fast as GSM-FR (%.0f against %.0f µs/s); "
                      "goal at least %.1f: %s\n",
                 side, speed_up, g723_us, gsm_us, goal, speed_up >= goal ? "met" : "not met");
}

}  // namespace

void print_report(std::FILE* out, std::span<const codec_result> results, const report_context& context) {
    const codec_result& reference = results.front();
    const speech_signal& signal = *context.signal;
    const double rate = media::sample_rate;

    const std::string copies =
        signal.copies == 1 ? "once" : "repeated " + std::to_string(signal.copies) + " times";
    std::fprintf(out, "Input: %s (%d Hz, %d channel%s, %.2f s) %s: %.2f s of 8 kHz speech, then "
                      "%.2f s of silence; %d timed repetition%s, medians.\n\n",
                 context.input_name.c_str(), signal.file_rate, signal.file_channels,
                 signal.file_channels == 1 ? "" : "s", static_cast<double>(signal.file_samples) / rate,
                 copies.c_str(), static_cast<double>(signal.speech_samples) / rate,
                 static_cast<double>(signal.samples.size() - signal.speech_samples) / rate,
                 context.repetitions, context.repetitions == 1 ? "" : "s");

    std::fprintf(out, "| codec | bit/s | encode µs/s | encode × g723 | decode µs/s | decode × g723 | "
                      "channels/core | encoder bytes | decoder bytes | delay | SNR dB | seg. SNR dB |\n");
    std::fprintf(out, "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
    for (const codec_result& result : results) {
        std::fprintf(out, "| %s | %.0f | %.0f | %.2f | %.0f | %.2f | %.0f | %s | %s | %zu | %s | %s |\n",
                     result.name.c_str(), result.bit_rate, result.encode_us,
                     result.encode_us / reference.encode_us, result.decode_us,
                     result.decode_us / reference.decode_us, 1e6 / (result.encode_us + result.decode_us),
                     bytes_text(result.encoder_state).c_str(), bytes_text(result.decoder_state).c_str(),
                     result.quality.delay, decibels(result.quality.snr_db).c_str(),
                     decibels(result.quality.segmental_snr_db).c_str());
    }

    const codec_result& gsm = find(results, gsm_name);
    std::fprintf(out, "\nGoals, from this run (%s against GSM-FR):\n\n", reference.name.c_str());
    print_goal(out, "encoder", gsm.encode_us, reference.encode_us, encoder_goal);
    print_goal(out, "decoder", gsm.decode_us, reference.decode_us, decoder_goal);

    std::fprintf(out, "\nColumns:\n\n");
    std::fprintf(out, "- bit/s: the bytes each codec wrote for the whole signal (g723: 24 per speech "
                      "frame, 4 per SID frame, none for an untransmitted frame).\n");
    std::fprintf(out, "- encode, decode µs/s: the thread's CPU time (CLOCK_THREAD_CPUTIME_ID) per "
                      "second of audio, the median over the repetitions; within each repetition the "
                      "codecs take turns, and each opens a new encoder and decoder outside the timed "
                      "loops. × g723: that time over %s's (above 1: slower than g723).\n",
                 reference.name.c_str());
    std::fprintf(out, "- channels/core: one second over encode plus decode time, full duplex.\n");
    std::fprintf(out, "- encoder, decoder bytes: one instance's state; * the library's own size call "
                      "(opus_encoder_get_size, opus_decoder_get_size), otherwise the heap its create "
                      "call keeps, counted by this program's own malloc.\n");
    std::fprintf(out, "- delay: the decoded speech's lag in samples at its best correlation with the "
                      "input (searched over 0..%zu).\n",
                 context.max_delay);
    std::fprintf(out, "- SNR, seg. SNR: decoded speech against the input at that delay; segments of "
                      "30 ms, each limited to -10..35 dB, those below RMS 100 left out, as `g723 "
                      "roundtrip` measures. Both favour waveform coders: GSM-FR codes the waveform "
                      "itself, the CELP coders (g723, AMR-NB, Speex) match a perceptually weighted "
                      "waveform, Opus's speech layer shapes its noise under the speech spectrum, and "
                      "Codec 2 is parametric and keeps no waveform at all, so neither figure ranks "
                      "how the codecs sound. With silence compression on, g723's pauses are comfort "
                      "noise.\n");
    std::fprintf(out, "\nSettings:\n\n");
    for (const codec_result& result : results) {
        std::fprintf(out, "- %s: %s\n", result.name.c_str(), result.settings.c_str());
    }
}

}  // namespace g723::bench
