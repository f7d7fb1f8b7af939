// SPDX-License-Identifier: BSD-2-Clause
#include "commands/stop_signals.h"

#include <initializer_list>

namespace g723::tool {

namespace {

volatile sig_atomic_t stop_flag = 0;

extern "C" void request_stop(int) { stop_flag = 1; }

}  // namespace

sigset_t catch_stop_signals() {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = request_stop;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
        sigaddset(&stop_signals, signal_number);
    }
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &stop_signals, &waiting);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigdelset(&waiting, signal_number);
    return waiting;
}

bool stop_requested() { return stop_flag != 0; }

}  // namespace g723::tool
