// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_COMMANDS_STOP_SIGNALS_H
#define G723_TOOLS_COMMANDS_STOP_SIGNALS_H

#include <signal.h>

namespace g723::tool {

// Catches SIGINT, SIGTERM and SIGHUP, which then ask a live command to
// stop and finish its files. They stay blocked except while waiting for
// datagrams, so that one cannot slip in between the check and the wait.
// Returns the mask for the wait (ppoll).
sigset_t catch_stop_signals();

// Whether one of them has come.
bool stop_requested();

}  // namespace g723::tool

#endif
