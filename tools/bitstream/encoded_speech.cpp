// SPDX-License-Identifier: BSD-2-Clause
#include "bitstream/encoded_speech.h"

namespace g723::tool {

encoded_speech::encoded_speech(const std::string& name, bool raw, const encoder_settings& settings)
    : input_(name, raw), encoder_(settings) {}

bool encoded_speech::next(frame_slot& slot) {
    if (!input_.next_frame(samples_)) return false;
    std::int32_t length = 0;
    g723_encode_frame(encoder_.get(), samples_.data(), slot.data(), &length);
    return true;
}

}  // namespace g723::tool
