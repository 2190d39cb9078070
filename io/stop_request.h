#pragma once

#include <signal.h>

#include <stdexcept>
#include <string>

// A request to stop a run, made by a signal (Ctrl-C, a hang-up, a termination request).
// The runner's handler records it; the readers and writers look at it wherever they may
// wait long (a read from a pipe, a SQLite statement, the last step before a file is put
// in place) and end the run there, so that the unfinished output is removed.
namespace arbora {

// The signals that request a stop.
inline constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// The set of them.
sigset_t stopSignalSet();
// Blocks them on the calling thread (a worker's), so that they go to the reading thread,
// whose waits they must end.
void holdStopSignalsOnThisThread();

// Records the signal; safe to call from a signal handler.
void requestStop(int signal) noexcept;
// The signal of the request, 0 when there is none.
int stopRequest() noexcept;
void clearStopRequest() noexcept;

// A run ended by a stop request.
class RunStopped : public std::runtime_error {
  public:
    explicit RunStopped(int signal)
        : std::runtime_error("interrupted by signal " + std::to_string(signal)), signal_(signal) {}
    int signal() const { return signal_; }

  private:
    int signal_;
};

// Throws RunStopped when a stop has been requested.
void throwIfStopRequested();

}  // namespace arbora
