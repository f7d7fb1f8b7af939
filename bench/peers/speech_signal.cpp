// SPDX-License-Identifier: BSD-2-Clause
#include "speech_signal.h"

#include <array>
#include <cmath>

#include "media/codec/frame_layout.h"
#include "audio/speech_input.h"
#include "io/tool_error.h"

namespace g723::bench {

speech_signal load_speech(const std::string& name, double seconds, std::size_t tail_samples,
                          std::size_t frame_multiple) {
    speech_signal signal;
    std::vector<std::int16_t> file;
    {
        tool::speech_input input(name, false);
        std::array<std::int16_t, media::frame_samples> frame{};
        while (input.next_frame(frame)) file.insert(file.end(), frame.begin(), frame.end());
        // The last frames are padding for the g723 encoder's look-ahead.
        file.resize(static_cast<std::size_t>(input.samples()));
        signal.file_rate = input.source().sample_rate();
        signal.file_channels = input.source().channels();
    }
    if (file.empty()) tool::fail_data(tool::display_name(name, false), "holds no audio samples");

    const double wanted = std::ceil(seconds * media::sample_rate);
    signal.copies = 1;
    while (static_cast<double>(signal.copies * file.size()) < wanted) ++signal.copies;
    signal.file_samples = file.size();
    signal.speech_samples = signal.copies * file.size();
    const std::size_t length =
        (signal.speech_samples + tail_samples + frame_multiple - 1) / frame_multiple * frame_multiple;
    signal.samples.reserve(length);
    for (std::size_t copy = 0; copy < signal.copies; ++copy) {
        signal.samples.insert(signal.samples.end(), file.begin(), file.end());
    }
    signal.samples.resize(length, 0);
    return signal;
}

}  // namespace g723::bench
