#include "io/descriptors.h"

#include <unistd.h>

namespace arbora {

void FileDescriptor::reset(int fd) noexcept {
    // Not retried on EINTR: Linux has closed the descriptor by then, and another thread
    // may already have been given its number.
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
}

}  // namespace arbora
