// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TESTS_TOOL_TOOL_RUNNER_H
#define G723_TESTS_TOOL_TOOL_RUNNER_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace g723::tool_test {

struct tool_result {
    int exit_status = -1;  // -1 when the tool died from a signal
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs the built g723 tool with `arguments`, feeding `input` through a pipe
// on its standard input, and collects both output streams.
tool_result run_tool(const std::vector<std::string>& arguments, const std::string& input = {});

// Starts the tool, feeds it `input` without ever closing its standard
// input, waits until `ready` holds (polled, up to 10 s), then sends `signal`.
tool_result run_tool_interrupted(const std::vector<std::string>& arguments,
                                 const std::string& input, bool (*ready)(const std::string&),
                                 const std::string& ready_argument, int signal);

// Feeds standard input in two parts `pause_ms` apart, with standard error
// on a pseudo-terminal (`terminal`) or a pipe, and collects standard error.
tool_result run_tool_paced(const std::vector<std::string>& arguments, const std::string& first,
                           const std::string& second, int pause_ms, bool terminal);

// A program running beside the test (a receiver, a capture), its standard
// output and error collected in files. Killed if never finished.
class background_program {
public:
    // `program` empty: the built g723 tool.
    background_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& output_prefix);
    ~background_program();
    background_program(const background_program&) = delete;
    background_program& operator=(const background_program&) = delete;

    void signal(int signal_number);
    // Waits up to `seconds` for the program to end; past that it is killed
    // (the result then has signal 9).
    tool_result finish(double seconds);

private:
    int pid_ = -1;
    std::string out_path_;
    std::string err_path_;
};

// A fresh directory for one test, removed afterwards.
class scratch_directory {
public:
    scratch_directory();
    ~scratch_directory();
    scratch_directory(const scratch_directory&) = delete;
    scratch_directory& operator=(const scratch_directory&) = delete;

    std::string path(const std::string& name) const { return (root_ / name).string(); }
    // Names of every entry, to show that nothing was left behind.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path root_;
};

std::string read_file(const std::string& path);
// Every file of a directory by name, with its bytes; empty when there is no
// such directory.
std::map<std::string, std::string> directory_files(const std::string& directory);
void write_file(const std::string& path, const std::string& bytes);

// The one line the tool wrote on standard error, without its newline.
bool is_single_line(const std::string& text);

}  // namespace g723::tool_test

#endif
