#pragma once

#include <csignal>
#include <iterator>

#include "io/stop_request.h"

namespace arbora {

// While a run reads and writes, Ctrl-C, a hang-up or a termination request stops it,
// so that the unfinished output is removed and nothing else changes. The handler only
// records the request; it is installed without SA_RESTART, so that a read or a wait
// that blocks returns and the run ends where it stands. A signal the runner was started
// to ignore (nohup ignores the hang-up) stays ignored.
class InterruptionGuard {
  public:
    InterruptionGuard() {
        clearStopRequest();
        struct sigaction action {};
        action.sa_handler = [](int signal) { requestStop(signal); };
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
            ::sigaction(stopSignals[i], nullptr, &previous_[i]);
            const bool ignored =
                (previous_[i].sa_flags & SA_SIGINFO) == 0 && previous_[i].sa_handler == SIG_IGN;
            if (!ignored) installed_[i] = ::sigaction(stopSignals[i], &action, nullptr) == 0;
        }
    }
    ~InterruptionGuard() {
        for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
            if (installed_[i]) ::sigaction(stopSignals[i], &previous_[i], nullptr);
        }
    }
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

  private:
    struct sigaction previous_[std::size(stopSignals)]{};
    bool installed_[std::size(stopSignals)]{};
};

}  // namespace arbora
