#pragma once

#include <cerrno>
#include <utility>

// File descriptors: one owner that closes its descriptor, and one way to call the system
// again when a signal interrupted it.
namespace arbora {

// Calls `call` (a system call returning -1 and setting errno on failure) again for as long
// as it fails with EINTR: a signal came while it waited (a stop signal, whose handler
// records the request, or any other). A call that must honour a stop request checks for
// one itself, first thing, so that each retry does.
template <typename Call>
auto retryInterrupted(Call&& call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// An open file descriptor, closed when its owner ends; -1 holds none. A close whose error
// matters (after the last write) is made by the owner on release().
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closes the descriptor held (its error is of no use here) and holds `fd`.
    void reset(int fd = -1) noexcept;

  private:
    int fd_ = -1;
};

}  // namespace arbora
