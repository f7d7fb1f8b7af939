// SPDX-License-Identifier: BSD-2-Clause
// Which of the library's kernel paths this WebAssembly build runs: "sse2"
// when it was compiled with SIMD (the SSE2 kernels on WebAssembly's 128-bit
// vectors), "plain" otherwise. The page shows it and its test checks it.
#include <emscripten/emscripten.h>

#include "g723/dsp/kernel_paths.h"

extern "C" EMSCRIPTEN_KEEPALIVE const char* web_kernel_path() {
    return g723::kernel_path_name(g723::kernels().path);
}
