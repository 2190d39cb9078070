#include "io/stop_request.h"

#include <pthread.h>

#include <csignal>

namespace arbora {
namespace {

volatile std::sig_atomic_t requested = 0;

}  // namespace

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : stopSignals)
        sigaddset(&set, signal);
    return set;
}

void holdStopSignalsOnThisThread() {
    const sigset_t held = stopSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

void requestStop(int signal) noexcept {
    requested = signal;
}

int stopRequest() noexcept {
    return requested;
}

void clearStopRequest() noexcept {
    requested = 0;
}

void throwIfStopRequested() {
    if (const int signal = requested; signal != 0) throw RunStopped(signal);
}

}  // namespace arbora
