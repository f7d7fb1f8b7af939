// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_METERS_PROGRESS_BAR_H
#define G723_TOOLS_METERS_PROGRESS_BAR_H

#include <chrono>
#include <optional>
#include <string>

namespace g723::tool {

// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, and only once a run has taken long enough to be worth
// watching, so short inputs and redirected runs print nothing.
class progress_bar {
public:
    explicit progress_bar(std::string label);
    ~progress_bar();
    progress_bar(const progress_bar&) = delete;
    progress_bar& operator=(const progress_bar&) = delete;

    // `fraction` of the work done, when the total is known; `seconds` of
    // audio handled so far is shown either way.
    void update(std::optional<double> fraction, double seconds);
    // Removes the bar so that the next line starts clean.
    void finish();

private:
    std::string label_;
    bool enabled_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace g723::tool

#endif
