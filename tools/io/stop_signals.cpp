// SPDX-License-Identifier: BSD-2-Clause
#include "io/stop_signals.h"

#include <pthread.h>

#include <csignal>

namespace g723::tool {

namespace {

volatile sig_atomic_t stop_flag = 0;

extern "C" void request_stop(int) { stop_flag = 1; }

void set_action(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
}

}  // namespace

sigset_t stop_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : stop_signal_numbers) sigaddset(&set, number);
    return set;
}

void on_stop_signals(void (*handler)(int), bool quit_too) {
    for (const int number : stop_signal_numbers) set_action(number, handler);
    if (quit_too) set_action(SIGQUIT, handler);
}

void default_stop_signals() {
    for (const int number : stop_signal_numbers) std::signal(number, SIG_DFL);
}

void die_of_signal(int signal_number) {
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

sigset_t catch_stop_signals() {
    on_stop_signals(request_stop);
    const sigset_t stop_signals = stop_signal_set();
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &stop_signals, &waiting);
    for (const int number : stop_signal_numbers) sigdelset(&waiting, number);
    return waiting;
}

bool stop_requested() { return stop_flag != 0; }

sigset_t hold_stop_signals() {
    const sigset_t held = stop_signal_set();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    return previous;
}

void restore_signal_mask(const sigset_t& previous) { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

bool stop_pending() {
    sigset_t pending;
    sigpending(&pending);
    for (const int number : stop_signal_numbers)
        if (sigismember(&pending, number)) return true;
    return false;
}

}  // namespace g723::tool
