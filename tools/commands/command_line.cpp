// SPDX-License-Identifier: BSD-2-Clause
#include "commands/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "io/tool_error.h"

namespace g723::tool {

namespace {

[[noreturn]] void fail_command(std::string_view command, const std::string& what) {
    fail_usage(std::string(command) + ": " + what + " (see 'g723 " +
               std::string(command) + " --help')");
}

}  // namespace

parsed_arguments parse_arguments(std::string_view command, std::span<char* const> arguments,
                                 std::span<const option_definition> options) {
    parsed_arguments parsed;
    bool options_ended = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (options_ended || argument == "-" || !argument.starts_with('-')) {
            parsed.files.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            options_ended = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            parsed.help = true;
            continue;
        }
        if (!argument.starts_with("--")) {
            fail_command(command, "unknown option '" + std::string(argument) + "'");
        }
        std::string_view name = argument.substr(2);
        std::string_view inline_value;
        const auto equals = name.find('=');
        const bool has_inline_value = equals != std::string_view::npos;
        if (has_inline_value) {
            inline_value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const auto known = std::find_if(options.begin(), options.end(),
                                       [&](const option_definition& o) { return o.name == name; });
        if (known == options.end()) {
            fail_command(command, "unknown option '--" + std::string(name) + "'");
        }
        if (!known->takes_value) {
            if (has_inline_value) {
                fail_command(command, "option '--" + std::string(name) + "' takes no value");
            }
            parsed.options[std::string(name)] = "";
        } else if (has_inline_value) {
            parsed.options[std::string(name)] = std::string(inline_value);
            parsed.repeated[std::string(name)].emplace_back(inline_value);
        } else if (i + 1 < arguments.size()) {
            parsed.options[std::string(name)] = arguments[++i];
            parsed.repeated[std::string(name)].emplace_back(arguments[i]);
        } else {
            fail_command(command, "option '--" + std::string(name) + "' needs a value");
        }
    }
    return parsed;
}

void require_files(std::string_view command, const parsed_arguments& arguments,
                   std::size_t count, std::string_view names) {
    if (arguments.files.size() < count) {
        // Name only the operands that are missing: with "INPUT and OUTPUT"
        // and one file given, it is OUTPUT.
        std::vector<std::string_view> parts;
        for (std::string_view rest = names;;) {
            const auto separator = rest.find(" and ");
            parts.push_back(rest.substr(0, separator));
            if (separator == std::string_view::npos) break;
            rest.remove_prefix(separator + 5);
        }
        std::string missing;
        for (std::size_t i = std::min(arguments.files.size(), parts.size()); i < parts.size(); ++i) {
            if (!missing.empty()) missing += " and ";
            missing += parts[i];
        }
        if (missing.empty()) missing = std::string(names);
        if (!arguments.files.empty() && arguments.files.size() <= parts.size()) {
            missing += " after '" + arguments.files.back() + "'";
        }
        fail_command(command, "missing " + missing);
    }
    if (arguments.files.size() > count) {
        fail_command(command, "too many file names: expected " + std::string(names) +
                                  ", got '" + arguments.files[count] + "' as well");
    }
    for (const auto& file : arguments.files) {
        if (file.empty()) fail_command(command, "empty file name");
    }
}

double number_option(std::string_view command, const parsed_arguments& arguments,
                     std::string_view name, double minimum, double maximum, double fallback) {
    if (!arguments.has(name)) return fallback;
    const std::string& text = arguments.value(name);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < minimum ||
        value > maximum) {
        fail_command(command, "option '--" + std::string(name) + "' needs a number from " +
                                  std::to_string(static_cast<long>(minimum)) + " to " +
                                  std::to_string(static_cast<long>(maximum)) + ", not '" + text +
                                  "'");
    }
    return value;
}

std::uint64_t unsigned_option(std::string_view command, const parsed_arguments& arguments,
                              std::string_view name, std::uint64_t fallback) {
    if (!arguments.has(name)) return fallback;
    const std::string& text = arguments.value(name);
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text.front() == '-' || *end != '\0' || errno != 0) {
        fail_command(command, "option '--" + std::string(name) +
                                  "' needs a whole number 0 or above, not '" + text + "'");
    }
    return value;
}

}  // namespace g723::tool
