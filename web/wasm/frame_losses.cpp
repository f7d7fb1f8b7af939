// SPDX-License-Identifier: BSD-2-Clause
// The page's one call beyond the library's own: which frames a loss rate and
// a seed mark lost. It draws from the calls library's loss pattern, the one
// behind every host's --loss, so a seed marks the same frames in the page as
// in the tool.
#include <emscripten/emscripten.h>

#include <cstdint>

#include "media/codec/codec_handles.h"

extern "C" EMSCRIPTEN_KEEPALIVE void web_mark_losses(double percent, std::uint32_t seed_low,
                                                     std::uint32_t seed_high, std::int32_t count,
                                                     std::uint8_t* marks) {
    const std::uint64_t seed = (static_cast<std::uint64_t>(seed_high) << 32) | seed_low;
    g723::media::loss_pattern losses(percent, seed);
    for (std::int32_t i = 0; i < count; ++i) marks[i] = losses.next_lost() ? 1 : 0;
}
