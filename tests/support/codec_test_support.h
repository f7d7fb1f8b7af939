// SPDX-License-Identifier: BSD-2-Clause
// Helpers of the end-to-end tests: the bundled speech sample, coding whole
// signals through the public calls, and signal-to-noise measures.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "g723/g723.h"

namespace g723::test {

// The samples of a 16-bit mono PCM WAV file; empty when the file is not one.
inline std::vector<int16_t> read_wav(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto u32 = [&](std::size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    auto u16 = [&](std::size_t at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(&bytes[8], "WAVE", 4) != 0)
        return {};
    bool pcm16_mono = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) break;
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && size >= 16)
            pcm16_mono = u16(body) == 1 && u16(body + 2) == 1 && u32(body + 4) == 8000 && u16(body + 14) == 16;
        if (std::memcmp(&bytes[at], "data", 4) == 0 && pcm16_mono) {
            std::vector<int16_t> samples(size / 2);
            for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(u16(body + 2 * i));
            return samples;
        }
        at = body + size + (size & 1);
    }
    return {};
}

inline std::vector<int16_t> speech_sample() { return read_wav(std::string(G723_SAMPLE_DIR) + "/speech.wav"); }

// Whole frames only: the signal's tail shorter than a frame is dropped.
inline std::vector<int16_t> whole_frames(std::vector<int16_t> x) {
    x.resize(x.size() / G723_FRAME_SAMPLES * G723_FRAME_SAMPLES);
    return x;
}

// Codes and decodes a signal frame by frame through the public calls. The
// decoded signal lags the input by the encoder's 60-sample look-ahead.
inline std::vector<int16_t> code_and_decode(const std::vector<int16_t>& x, int32_t postfilter,
                                            std::vector<uint8_t>* coded = nullptr) {
    g723_encoder* encoder = nullptr;
    g723_decoder* decoder = nullptr;
    g723_encoder_open(&encoder);
    g723_encoder_set_vad_mode(encoder, 0, 1);
    g723_decoder_open(&decoder);
    g723_decoder_set_filter_mode(decoder, postfilter);
    std::vector<int16_t> y(x.size());
    for (std::size_t f = 0; f + G723_FRAME_SAMPLES <= x.size(); f += G723_FRAME_SAMPLES) {
        uint8_t slot[G723_SLOT_BYTES];
        int32_t length = 0, count = 0;
        g723_encode_frame(encoder, &x[f], slot, &length);
        g723_decode_frame(decoder, slot, &y[f], 0, &count);
        if (coded != nullptr) coded->insert(coded->end(), slot, slot + G723_SLOT_BYTES);
    }
    g723_encoder_close(&encoder);
    g723_decoder_close(&decoder);
    return y;
}

inline constexpr int kLookAhead = 60;

struct snr_figures {
    double snr;            // over the whole signal, dB
    double segmental_snr;  // mean over active 240-sample segments, dB
    int segments;
};

// Compares decoded y (delayed by the look-ahead) with input x. Segments whose
// input RMS is below 100 (pauses) do not count towards the segmental figure;
// each segment's SNR is bounded to -10 .. 40 dB.
inline snr_figures measure_snr(const std::vector<int16_t>& x, const std::vector<int16_t>& y) {
    double signal = 0.0, noise = 0.0, segmental = 0.0;
    int segments = 0;
    for (std::size_t start = 0; start + G723_FRAME_SAMPLES + kLookAhead <= y.size(); start += G723_FRAME_SAMPLES) {
        double s = 0.0, e = 0.0;
        for (std::size_t n = start; n < start + G723_FRAME_SAMPLES; ++n) {
            const double d = double(x[n]) - y[n + kLookAhead];
            s += double(x[n]) * x[n];
            e += d * d;
        }
        signal += s;
        noise += e;
        if (s / G723_FRAME_SAMPLES < 100.0 * 100.0) continue;
        const double db = 10.0 * std::log10(s / std::max(e, 1e-9));
        segmental += std::clamp(db, -10.0, 40.0);
        ++segments;
    }
    return {10.0 * std::log10(signal / std::max(noise, 1e-9)), segments ? segmental / segments : 0.0, segments};
}

}  // namespace g723::test
