// SPDX-License-Identifier: BSD-2-Clause
#include "meters/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace g723::tool {

namespace {

using namespace std::chrono_literals;
constexpr auto quiet_start = 500ms;  // runs shorter than this never show a bar
constexpr auto redraw_interval = 100ms;
constexpr int bar_width = 30;

}  // namespace

progress_bar::progress_bar(std::string label)
    : label_(std::move(label)),
      enabled_(::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

progress_bar::~progress_bar() { finish(); }

void progress_bar::update(std::optional<double> fraction, double seconds) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < quiet_start || (drawn_ && now - last_draw_ < redraw_interval)) return;
    last_draw_ = now;
    drawn_ = true;
    if (fraction) {
        const double done = std::clamp(*fraction, 0.0, 1.0);
        const int filled = static_cast<int>(done * bar_width);
        char bar[bar_width + 1];
        for (int i = 0; i < bar_width; ++i) bar[i] = i < filled ? '#' : '.';
        bar[bar_width] = '\0';
        std::fprintf(stderr, "\r%s [%s] %3d%%  %.1f s of audio", label_.c_str(), bar,
                     static_cast<int>(done * 100.0), seconds);
    } else {
        std::fprintf(stderr, "\r%s  %.1f s of audio", label_.c_str(), seconds);
    }
    std::fflush(stderr);
}

void progress_bar::finish() {
    if (!drawn_) return;
    // Erase the bar's line: carriage return, clear to end of line.
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace g723::tool
