// SPDX-License-Identifier: BSD-2-Clause
#include "media/codec/codec_handles.h"

#include <stdexcept>
#include <string>

namespace g723::media {

namespace {

void check(g723_result result, const char* what) {
    if (result != g723_ok) {
        throw std::runtime_error(std::string(what) + " failed with result " +
                             std::to_string(static_cast<int>(result)));
    }
}

}  // namespace

encoder_handle::encoder_handle(const encoder_settings& settings) {
    if (g723_encoder_open(&handle_) != g723_ok || handle_ == nullptr) {
        handle_ = nullptr;
        throw std::runtime_error("cannot open an encoder: out of memory");
    }
    const g723_result filter = g723_encoder_set_filter_mode(handle_, settings.high_pass ? 1 : 0);
    const g723_result vad = g723_encoder_set_vad_mode(
        handle_, settings.silence_compression ? 1 : 0, settings.single_sid ? 1 : 0);
    if (filter != g723_ok || vad != g723_ok) {
        g723_encoder_close(&handle_);
        handle_ = nullptr;
        check(filter, "setting the high-pass filter");
        check(vad, "setting silence compression");
    }
}

encoder_handle::~encoder_handle() {
    if (handle_ != nullptr) g723_encoder_close(&handle_);
}

decoder_handle::decoder_handle(const decoder_settings& settings) {
    if (g723_decoder_open(&handle_) != g723_ok || handle_ == nullptr) {
        handle_ = nullptr;
        throw std::runtime_error("cannot open a decoder: out of memory");
    }
    const g723_result filter = g723_decoder_set_filter_mode(handle_, settings.postfilter ? 1 : 0);
    if (filter != g723_ok) {
        g723_decoder_close(&handle_);
        handle_ = nullptr;
        check(filter, "setting the postfilter");
    }
}

decoder_handle::~decoder_handle() {
    if (handle_ != nullptr) g723_decoder_close(&handle_);
}

}  // namespace g723::media
