// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_MEDIA_CODEC_CODEC_HANDLES_H
#define G723_MEDIA_CODEC_CODEC_HANDLES_H

#include <cstdint>
#include <random>

#include "g723/g723.h"

namespace g723::media {

struct encoder_settings {
    bool silence_compression = true;  // voice activity detection, SID frames
    bool single_sid = true;           // one SID frame per silence period
    bool high_pass = true;            // the input high-pass filter
};

struct decoder_settings {
    bool postfilter = true;
    double loss_percent = 0.0;  // frames marked lost at random
    std::uint64_t seed = 1;
};

// An open encoder configured as asked, closed when it goes out of scope.
class encoder_handle {
public:
    explicit encoder_handle(const encoder_settings& settings);
    ~encoder_handle();
    encoder_handle(const encoder_handle&) = delete;
    encoder_handle& operator=(const encoder_handle&) = delete;

    g723_encoder* get() const { return handle_; }

private:
    g723_encoder* handle_ = nullptr;
};

class decoder_handle {
public:
    explicit decoder_handle(const decoder_settings& settings);
    ~decoder_handle();
    decoder_handle(const decoder_handle&) = delete;
    decoder_handle& operator=(const decoder_handle&) = delete;

    g723_decoder* get() const { return handle_; }

private:
    g723_decoder* handle_ = nullptr;
};

// Chooses the frames to mark lost, the same ones for the same seed on every
// platform (the generator and the draw are fully specified).
class loss_pattern {
public:
    loss_pattern(double percent, std::uint64_t seed) : probability_(percent / 100.0), random_(seed) {}
    bool next_lost() {
        if (probability_ <= 0.0) return false;
        // 53 random bits as a uniform value in [0, 1).
        const double uniform = static_cast<double>(random_() >> 11) * 0x1.0p-53;
        return uniform < probability_;
    }

private:
    double probability_;
    std::mt19937_64 random_;
};

}  // namespace g723::media

#endif
