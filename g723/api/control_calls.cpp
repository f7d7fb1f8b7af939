// SPDX-License-Identifier: BSD-2-Clause
// The exported control calls: version, open, close, reset and the settings of
// encoder and decoder instances. Each call only translates between the host's
// handles and integers and the instance records.
#include <cstddef>
#include <new>

#include "g723/decoder/decoder_state.h"
#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"

namespace {

constexpr char kVersion[] = "orm.tessivo.1.1";

bool is_switch(int32_t mode) { return mode == 0 || mode == 1; }

}  // namespace

g723_result g723_get_version(const char** version) {
    *version = kVersion;
    return g723_ok;
}

g723_result g723_encoder_open(g723_encoder** handle) {
    // open_encoder gives every field of the record its value, so the block
    // is allocated without initialization, as the decoder's is.
    g723_encoder* encoder = new (std::nothrow) g723_encoder;
    *handle = encoder;
    if (encoder == nullptr) return g723_out_of_memory;
    g723::open_encoder(*encoder);
    return g723_ok;
}

g723_result g723_encoder_close(g723_encoder** handle) {
    if (*handle == nullptr) return g723_not_supported;
    delete *handle;
    return g723_ok;
}

g723_result g723_encoder_reset(g723_encoder* encoder) {
    g723::reset_encoder(*encoder);
    return g723_ok;
}

g723_result g723_encoder_set_comp_rate(g723_encoder*, int32_t) { return g723_not_supported; }

g723_result g723_encoder_get_comp_rate(g723_encoder* encoder, int32_t* rate) {
    *rate = encoder->comp_rate;
    return g723_not_supported;
}

g723_result g723_encoder_set_filter_mode(g723_encoder* encoder, int32_t mode) {
    if (!is_switch(mode)) return g723_invalid_mode;
    // The high-pass filter keeps its state, so switching it back on continues
    // from where it stopped.
    encoder->filter_mode = mode;
    return g723_ok;
}

g723_result g723_encoder_get_filter_mode(g723_encoder* encoder, int32_t* mode) {
    *mode = encoder->filter_mode;
    return g723_ok;
}

g723_result g723_encoder_set_vad_mode(g723_encoder* encoder, int32_t mode, int32_t single_sid) {
    if (!is_switch(mode)) return g723_invalid_mode;
    encoder->vad_mode = mode;
    if (mode == 1) {
        // Switching silence compression on (again) starts the detector and
        // the comfort-noise history afresh.
        g723::reset_vad(encoder->vad_state);
        g723::reset_encoder_cng(encoder->encoder_cng_state);
        encoder->single_sid = single_sid;
    }
    return g723_ok;
}

g723_result g723_encoder_get_vad_mode(g723_encoder* encoder, int32_t* mode, int32_t* single_sid) {
    *mode = encoder->vad_mode;
    *single_sid = encoder->single_sid;
    return g723_ok;
}

g723_result g723_encoder_get_output_length(g723_encoder* encoder, int32_t* length) {
    *length = encoder->frame_length[static_cast<std::size_t>(encoder->comp_rate)];
    return g723_ok;
}

g723_result g723_decoder_open(g723_decoder** handle) {
    g723_decoder* decoder = new (std::nothrow) g723_decoder;
    *handle = decoder;
    if (decoder == nullptr) return g723_out_of_memory;
    g723::open_decoder(*decoder);
    return g723_ok;
}

g723_result g723_decoder_close(g723_decoder** handle) {
    if (*handle == nullptr) return g723_not_supported;
    delete *handle;
    return g723_ok;
}

g723_result g723_decoder_reset(g723_decoder* decoder) {
    g723::reset_decoder(*decoder);
    return g723_ok;
}

g723_result g723_decoder_set_comp_rate(g723_decoder*, int32_t) { return g723_not_supported; }

g723_result g723_decoder_get_comp_rate(g723_decoder* decoder, int32_t* rate) {
    *rate = decoder->comp_rate;
    return g723_not_supported;
}

g723_result g723_decoder_set_filter_mode(g723_decoder* decoder, int32_t mode) {
    if (!is_switch(mode)) return g723_invalid_mode;
    decoder->filter_mode = mode;
    if (mode == 1) {
        // The formant postfilter restarts from silence on its output side;
        // its input memory keeps the last frame it filtered.
        decoder->postfilter_output_memory.fill(0.0f);
        decoder->tilt_memory = 0.0f;
    }
    return g723_ok;
}

g723_result g723_decoder_get_filter_mode(g723_decoder* decoder, int32_t* mode) {
    *mode = decoder->filter_mode;
    return g723_ok;
}

g723_result g723_decoder_get_input_length(g723_decoder* decoder, int32_t* length) {
    *length = decoder->frame_length[static_cast<std::size_t>(decoder->comp_rate)];
    return g723_ok;
}
