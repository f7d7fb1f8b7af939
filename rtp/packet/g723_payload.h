// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_PACKET_G723_PAYLOAD_H
#define G723_RTP_PACKET_G723_PAYLOAD_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "media/codec/frame_layout.h"

namespace g723::rtp {

// Frame layout and codec handles come from the media library.
using namespace g723::media;

// The frames of one RTP payload: whole frames back to back, each as long as
// its first byte's two low bits say (24, 20 or 4 bytes). Untransmitted
// frames (code 3) are never sent, so one ends the payload as malformed.
struct payload_frames {
    std::vector<frame_slot> frames;  // each zero-padded to a 24-byte slot
    // Bytes left over that do not form a whole frame, or a code-3 frame;
    // the frames before them are kept.
    bool malformed = false;
};

payload_frames split_payload(std::span<const std::uint8_t> payload);

}  // namespace g723::rtp

#endif
