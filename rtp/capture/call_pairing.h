// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_CALL_PAIRING_H
#define G723_RTP_CAPTURE_CALL_PAIRING_H

#include <cstddef>
#include <map>
#include <span>
#include <vector>

#include "rtp/capture/capture_scan.h"

namespace g723::rtp {

// The two directions of one call, each as indices into the stream list in
// the order the streams started (a direction holds several streams when
// its sender changed SSRC).
struct call_directions {
    std::vector<std::size_t> first;  // the direction that started first
    std::vector<std::size_t> second;
};

// Pairs the directions of calls. Two directions belong to one call when
// SDP of the same Call-ID announced both destinations, or, where SDP does
// not name both, when each goes where the other comes from. `keys` are in
// the order the streams started; directions without a partner are left
// out.
std::vector<call_directions> pair_calls(std::span<const stream_key> keys,
                                        const std::map<endpoint, announced_media>& announced);

}  // namespace g723::rtp

#endif
