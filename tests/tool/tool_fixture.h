// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TESTS_TOOL_TOOL_FIXTURE_H
#define G723_TESTS_TOOL_TOOL_FIXTURE_H

#include <gtest/gtest.h>
#include <sndfile.h>

#include <optional>
#include <string>

#include "test_audio.h"
#include "tool_runner.h"

namespace g723::tool_test {

inline const std::string speech_sample = std::string(G723_SAMPLE_DIR) + "/speech.wav";

// Each test works in its own scratch directory, with an 8 kHz mono
// speech-like WAV file at hand.
class tool_test : public ::testing::Test {
protected:
    void SetUp() override {
        reference_ = to_pcm(speech_like(8000, 2.0));
        write_audio(dir_.path("mono.wav"), SF_FORMAT_WAV, {8000, 1, reference_});
    }

    std::string path(const std::string& name) const { return dir_.path(name); }

    scratch_directory dir_;
    std::vector<std::int16_t> reference_;
};

// The rest of the report line that starts with `label`, after the padding;
// empty when no line starts so.
inline std::string report_line(const std::string& report, const std::string& label) {
    std::size_t start = 0;
    while (start < report.size()) {
        const std::size_t end = std::min(report.find('\n', start), report.size());
        if (report.compare(start, label.size(), label) == 0) {
            std::size_t from = start + label.size();
            while (from < end && report[from] == ' ') ++from;
            return report.substr(from, end - from);
        }
        start = end + 1;
    }
    return "";
}

// The number that opens that line.
inline std::optional<double> report_value(const std::string& report, const std::string& label) {
    const std::string rest = report_line(report, label);
    try {
        return std::stod(rest);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace g723::tool_test

#endif
