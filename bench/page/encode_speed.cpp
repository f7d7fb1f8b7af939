// SPDX-License-Identifier: BSD-2-Clause
// Encoding speed of one build of the library, in processor time (so that a
// machine busy with other work changes it little): encodes headerless 16-bit
// 8 kHz samples several times over and prints the best pass. Compiled
// natively and with emscripten for Node.js by bench/page/encode-speed.sh,
// which compares the two.
//   encode_speed SAMPLES.raw [PASSES]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "g723/g723.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
// Node.js's processor time of the whole process, user and system, in seconds.
EM_JS(double, processor_seconds, (), {
    const used = process.cpuUsage();
    return (used.user + used.system) / 1e6;
});
#else
double processor_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
#endif

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: encode_speed SAMPLES.raw [PASSES]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    const int passes = argc > 2 ? std::stoi(argv[2]) : 5;
    constexpr std::size_t frame_samples = 240;
    const std::size_t frames = bytes.size() / (2 * frame_samples);
    std::vector<std::int16_t> samples(frames * frame_samples);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                               (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
    }
    double best = 1e9;
    std::uint32_t check = 0;
    for (int pass = 0; pass < passes; ++pass) {
        g723_encoder* encoder = nullptr;
        if (g723_encoder_open(&encoder) != 0) return 1;
        std::uint8_t slot[24];
        std::int32_t length = 0;
        const double started = processor_seconds();
        for (std::size_t f = 0; f < frames; ++f) {
            g723_encode_frame(encoder, samples.data() + f * frame_samples, slot, &length);
            check = check * 31 + slot[0] + slot[length - 1];
        }
        best = std::min(best, processor_seconds() - started);
        g723_encoder_close(&encoder);
    }
    std::printf("%.1f ms for %zu frames (best of %d passes, processor time; check %08x)\n", best * 1000, frames,
                passes, check);
    return 0;
}
