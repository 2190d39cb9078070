#pragma once

#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <iostream>

// A run stopped by a signal, its files cleaned up, ends the process by that signal, so
// that a shell stops a loop around it and a caller sees the signal (status 130 for
// Ctrl-C in a shell).
[[noreturn]] inline void endBySignal(int signal) {
    std::cout.flush();
    std::cerr.flush();
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);  // not reached: the default action ends the process
}
