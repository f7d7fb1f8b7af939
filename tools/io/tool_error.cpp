// SPDX-License-Identifier: BSD-2-Clause
#include "io/tool_error.h"

namespace g723::tool {

std::string display_name(std::string_view name, bool is_output) {
    if (name == "-") return is_output ? "standard output" : "standard input";
    return std::string(name);
}

void fail_usage(const std::string& message) {
    throw tool_error(exit_status::usage_error, message);
}

void fail_data(std::string_view file_display_name, std::string_view reason) {
    std::string message(file_display_name);
    message += ": ";
    message += reason;
    throw tool_error(exit_status::data_error, message);
}

}  // namespace g723::tool
