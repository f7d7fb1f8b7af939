// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_IO_TOOL_ERROR_H
#define G723_TOOLS_IO_TOOL_ERROR_H

#include <stdexcept>
#include <string>
#include <string_view>

namespace g723::tool {

// Exit statuses of the tool: 2 when the command line itself is wrong, 1 when
// a file or its contents are at fault.
enum class exit_status : int { ok = 0, data_error = 1, usage_error = 2 };

// The one failure that leaves a command: its message becomes the single line
// printed on standard error, its status the process exit status.
class tool_error : public std::runtime_error {
public:
    tool_error(exit_status status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    exit_status status() const { return status_; }

private:
    exit_status status_;
};

// How a file name appears in messages: "-" is named after the stream.
std::string display_name(std::string_view name, bool is_output);

[[noreturn]] void fail_usage(const std::string& message);
// "<file>: <reason>", exit status 1.
[[noreturn]] void fail_data(std::string_view file_display_name, std::string_view reason);

}  // namespace g723::tool

#endif
