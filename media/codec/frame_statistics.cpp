// SPDX-License-Identifier: BSD-2-Clause
#include "media/codec/frame_statistics.h"

namespace g723::media {

std::string frame_statistics::kinds_text() const {
    std::string text = std::to_string(of(frame_kind::speech_6k3)) + " speech, " +
                       std::to_string(of(frame_kind::sid)) + " SID, " +
                       std::to_string(of(frame_kind::untransmitted)) + " untransmitted";
    if (of(frame_kind::speech_5k3) > 0) {
        text += ", " + std::to_string(of(frame_kind::speech_5k3)) + " at 5.3 kbit/s";
    }
    return text;
}

}  // namespace g723::media
