// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_USAGE_ERROR_H
#define G723_BENCH_PEERS_USAGE_ERROR_H

#include <stdexcept>
#include <string>

namespace g723::bench {

// A mistake on a benchmark's command line: exit status 2, where a file's
// fault (any other std::exception) is 1.
class usage_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail_usage(const std::string& message) { throw usage_error(message); }

}  // namespace g723::bench

#endif
