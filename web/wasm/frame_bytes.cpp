// SPDX-License-Identifier: BSD-2-Clause
// How many bytes a coded frame occupies in the compact layout, by the header
// code of its first byte: the library's one table, which the page's worker
// takes from here rather than keeping a copy.
#include <emscripten/emscripten.h>

#include <cstdint>

#include "media/codec/frame_bytes.h"

extern "C" EMSCRIPTEN_KEEPALIVE std::int32_t web_frame_bytes(std::int32_t first_byte) {
    return static_cast<std::int32_t>(g723_media_frame_bytes(static_cast<unsigned char>(first_byte)));
}
