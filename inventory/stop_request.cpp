#include "inventory/stop_request.h"

#include <csignal>

namespace arbora {
namespace {

volatile std::sig_atomic_t requested = 0;

}  // namespace

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
