// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_BITSTREAM_ENCODED_SPEECH_H
#define G723_TOOLS_BITSTREAM_ENCODED_SPEECH_H

#include <array>
#include <cstdint>
#include <string>

#include "media/codec/codec_handles.h"
#include "media/codec/frame_layout.h"
#include "audio/speech_input.h"

namespace g723::tool {

using namespace g723::media;

// The coded frames of an audio file: the encoder's input (mixed down,
// converted to 8 kHz, padded to cover the look-ahead) through an encoder
// configured as asked, one 24-byte slot at a time.
class encoded_speech {
public:
    encoded_speech(const std::string& name, bool raw, const encoder_settings& settings);

    // Codes the next frame into `slot`; false when the input is used up.
    bool next(frame_slot& slot);
    const speech_input& input() const { return input_; }

private:
    speech_input input_;
    encoder_handle encoder_;
    std::array<std::int16_t, frame_samples> samples_{};
};

}  // namespace g723::tool

#endif
