// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_IO_STOP_SIGNALS_H
#define G723_TOOLS_IO_STOP_SIGNALS_H

#include <signal.h>

#include <array>

namespace g723::tool {

// The signals that stop the tool: Ctrl-C, a kill, a closed terminal.
inline constexpr std::array<int, 3> stop_signal_numbers{SIGINT, SIGTERM, SIGHUP};

// The stop signals as a set.
sigset_t stop_signal_set();

// Runs `handler` on each stop signal, and with `quit_too` on SIGQUIT as
// well. A handler that ends the process calls die_of_signal.
void on_stop_signals(void (*handler)(int), bool quit_too = false);

// Gives the stop signals their default action again.
void default_stop_signals();

// Lets a signal take its default course (the process ends by it).
void die_of_signal(int signal_number);

// Catches the stop signals, which then ask a live command to stop and
// finish its files. They stay blocked except while waiting for datagrams,
// so that one cannot slip in between the check and the wait. Returns the
// mask for the wait (ppoll).
sigset_t catch_stop_signals();

// Whether one of them has come (after catch_stop_signals).
bool stop_requested();

// Holds the stop signals back in this thread (and the threads it starts
// from now on), so that work under way is finished first; returns the mask
// to restore.
sigset_t hold_stop_signals();
void restore_signal_mask(const sigset_t& previous);

// Whether a stop signal, held back, waits for the process.
bool stop_pending();

}  // namespace g723::tool

#endif
