// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_COMMAND_LINE_H
#define G723_TOOLS_COMMANDS_COMMAND_LINE_H

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace g723::tool {

struct option_definition {
    std::string_view name;  // without the leading "--"
    bool takes_value;
};

// The arguments of one command after its name: options in any position,
// "--name value" or "--name=value", "--" ends the options, "-" alone is a
// file name (a standard stream).
struct parsed_arguments {
    std::vector<std::string> files;
    std::map<std::string, std::string, std::less<>> options;  // the last value of each
    std::map<std::string, std::vector<std::string>, std::less<>> repeated;  // every value, in order
    bool help = false;

    bool has(std::string_view name) const { return options.contains(name); }
    const std::string& value(std::string_view name) const { return options.find(name)->second; }
    // Every value of an option that may be given more than once.
    std::vector<std::string> values(std::string_view name) const {
        const auto found = repeated.find(name);
        return found == repeated.end() ? std::vector<std::string>{} : found->second;
    }
};

// Refuses unknown options and missing values as usage errors; "-h" and
// "--help" set `help` whatever else the line holds.
parsed_arguments parse_arguments(std::string_view command, std::span<char* const> arguments,
                                 std::span<const option_definition> options);

// Requires exactly `count` file names; `names` says what they are for the
// message ("INPUT OUTPUT").
void require_files(std::string_view command, const parsed_arguments& arguments,
                   std::size_t count, std::string_view names);

// A number in [minimum, maximum], or a usage error naming the option.
double number_option(std::string_view command, const parsed_arguments& arguments,
                     std::string_view name, double minimum, double maximum, double fallback);
std::uint64_t unsigned_option(std::string_view command, const parsed_arguments& arguments,
                              std::string_view name, std::uint64_t fallback);

}  // namespace g723::tool

#endif
