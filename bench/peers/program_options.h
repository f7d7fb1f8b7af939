// SPDX-License-Identifier: BSD-2-Clause
// What the benchmark programs share on their command lines: numbers checked
// against their range, the median of repeated passes, and a main that turns
// errors into messages and the tool's exit statuses (2 for the command line,
// 1 for anything else).
#ifndef G723_BENCH_PEERS_PROGRAM_OPTIONS_H
#define G723_BENCH_PEERS_PROGRAM_OPTIONS_H

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace g723::bench {

// A mistake on a benchmark's command line.
class usage_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail_usage(const std::string& message) { throw usage_error(message); }

// The number `text` given to `option`, which must lie in low..high; a usage
// error otherwise.
template <typename T>
T parse_number(std::string_view option, std::string_view text, T low, T high) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        fail_usage(std::string(option) + ": not a number in " + std::to_string(low) + ".." +
                         std::to_string(high) + ": '" + std::string(text) + "'");
    }
    return value;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Runs run(argc, argv); an error ends the program with a message after the
// program's name and the tool's exit status (1 for any other exception).
template <typename Run>
int run_program(const char* name, Run run, int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const usage_error& error) {
        std::fprintf(stderr, "%s: %s\n", name, error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", name, error.what());
        return 1;
    }
}

}  // namespace g723::bench

#endif
