#include "io/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <system_error>

#include "io/stop_request.h"

namespace arbora {
namespace {

std::string directoryOf(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

// A run killed outright (kill -9, a power cut) leaves its temporary files beside the
// target: "." + base + "." + six characters, and names that add to that ("-old", a
// scratch file's suffix). A later run over the same target removes those a day old or
// older whose run has ended: no process holds the lock on the main file of their six
// characters. `own` is the calling run's.
void removeStaleTemporaries(const std::string& directory, const std::string& base,
                            const std::string& own) {
    const std::string prefix = "." + base + ".";
    constexpr std::size_t stem = 6;
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr) return;
    const std::time_t dayAgo = std::time(nullptr) - 24 * 60 * 60;
    std::map<std::string, std::vector<std::string>> byStem;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() < prefix.size() + stem || !name.starts_with(prefix)) continue;
        const std::string path = directory + "/" + std::string(name);
        if (path == own) continue;
        byStem[std::string(name.substr(0, prefix.size() + stem))].push_back(path);
    }
    ::closedir(listing);
    for (const auto& [name, paths] : byStem) {
        const std::string main = directory + "/" + name;
        if (main == own) continue;
        const FileDescriptor fd(
            ::open(main.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        const bool held = fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0;
        for (const std::string& path : paths) {
            struct stat status;
            if (held || ::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
                status.st_mtime > dayAgo)
                continue;
            ::unlink(path.c_str());
        }
    }
}

}  // namespace

AtomicFile::AtomicFile(std::string target, std::size_t flushEvery)
    : target_(std::move(target)), flushEvery_(flushEvery) {
    const auto slash = target_.find_last_of('/');
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    // "." + base + ".XXXXXX-old" must stay a valid name for a target whose name is: the
    // base is shortened, at a character's start, when it would not.
    constexpr std::size_t added = 12;
    if (base.size() + added > NAME_MAX) {
        std::size_t cut = NAME_MAX - added;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    // A target that cannot be replaced by a file is refused before any work is done.
    struct stat existing;
    if (::stat(target_.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) fail("is a directory");
        if (!S_ISREG(existing.st_mode)) fail("is not a regular file");
    }
    temporary_ = directoryOf(target_) + "/." + base + ".XXXXXX";
    fd_.reset(::mkostemp(temporary_.data(), O_CLOEXEC));
    if (!fd_) {
        temporary_.clear();
        fail(std::strerror(errno));
    }
    // Held while the run lives, so that another run leaves the file alone.
    ::flock(fd_.get(), LOCK_EX | LOCK_NB);
    removeStaleTemporaries(directoryOf(target_), base, temporary_);
    // The finished file gets the mode of the file it replaces, or that of a new file.
    mode_t mode = 0;
    if (::stat(target_.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_.get(), mode);
}

AtomicFile::~AtomicFile() {
    if (!committed_) abandon();
}

void AtomicFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n =
            retryInterrupted([&] { return ::write(fd_.get(), bytes.data(), bytes.size()); });
        if (n <= 0) fail(n < 0 ? std::strerror(errno) : "nothing was written");
        bytes.remove_prefix(static_cast<std::size_t>(n));
        written_ += static_cast<std::size_t>(n);
    }
    grown(written_);
}

void AtomicFile::fileGrew() {
    struct stat status;
    if (fd_ && ::fstat(fd_.get(), &status) == 0) grown(static_cast<std::size_t>(status.st_size));
}

void AtomicFile::grown(std::size_t size) {
    if (!flush_ && size >= flushEvery_ && fd_) {
        try {
            flush_ = std::make_unique<BackgroundFlush>(fd_.get(), flushEvery_);
        } catch (const std::system_error&) {
            flushEvery_ = std::numeric_limits<std::size_t>::max();  // all at the end, then
        }
    }
    if (flush_) flush_->grown(size);
}

int AtomicFile::stopFlushing() {
    if (!flush_) return 0;
    const int error = flush_->finish();
    flush_.reset();
    return error;
}

BackgroundFlush::BackgroundFlush(int fd, std::size_t every)
    : fd_(fd), every_(every), thread_([this] { serve(); }) {}

void BackgroundFlush::grown(std::size_t size) {
    {
        const std::lock_guard lock(mutex_);
        size_ = size;
        if (size_ - flushed_ < every_) return;
    }
    wake_.notify_one();
}

int BackgroundFlush::finish() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return error_;
}

void BackgroundFlush::serve() {
    holdStopSignalsOnThisThread();
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return stopping_ || size_ - flushed_ >= every_; });
        if (stopping_) return;
        const std::size_t size = size_;
        lock.unlock();
        const int failed = ::fdatasync(fd_) == 0 ? 0 : errno;
        lock.lock();
        if (failed != 0 && error_ == 0) error_ = failed;
        flushed_ = size;
    }
}

void AtomicFile::sync() {
    if (synced_) return;
    if (const int error = stopFlushing()) fail(std::strerror(error));
    if (!fd_) fd_.reset(::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_ || ::fsync(fd_.get()) != 0) fail(std::strerror(errno));
    if (::close(fd_.release()) != 0) fail(std::strerror(errno));
    synced_ = true;
}

void AtomicFile::commit() {
    sync();
    // The flush can take long; a stop requested meanwhile still keeps the earlier file.
    throwIfStopRequested();
    place();
    finish();
}

void AtomicFile::place() {
    sync();
    // A second name keeps the earlier file until the whole set is in place: a hard link,
    // so that the target is never missing; moved aside where links are not allowed.
    struct stat existing;
    if (::lstat(target_.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) fail("is a directory");
        earlier_ = temporary_ + "-old";
        if (::link(target_.c_str(), earlier_.c_str()) != 0 &&
            ::rename(target_.c_str(), earlier_.c_str()) != 0) {
            const int error = errno;
            earlier_.clear();
            fail(std::strerror(error));
        }
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        if (!earlier_.empty()) ::rename(earlier_.c_str(), target_.c_str());
        earlier_.clear();
        fail(std::strerror(error));
    }
    placed_ = true;
    committed_ = true;
}

void AtomicFile::undo() noexcept {
    if (!placed_) return;
    if (earlier_.empty()) {
        ::unlink(target_.c_str());
    } else {
        ::rename(earlier_.c_str(), target_.c_str());
    }
    earlier_.clear();
    placed_ = false;
    temporary_.clear();
}

void AtomicFile::finish() noexcept {
    if (!earlier_.empty()) ::unlink(earlier_.c_str());
    earlier_.clear();
    // The new name is made durable too.
    const FileDescriptor directory(
        ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory) ::fsync(directory.get());
}

namespace {

// Holds the stop signals back while the finished files are put in place, so that a
// stop request comes either before the first rename, and keeps every earlier file, or
// after the last.
class SignalsHeld {
  public:
    SignalsHeld() {
        const sigset_t held = stopSignalSet();
        ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

}  // namespace

void OutputSet::commit(std::ostream* out) {
    for (AtomicFile* file : files_)
        file->sync();
    errno = 0;
    if (out != nullptr && !out->flush()) {
        throw OutputFileError("cannot write the standard output: " +
                              std::string(errno != 0 ? std::strerror(errno) : "failed"));
    }
    const SignalsHeld held;
    throwIfStopRequested();
    std::size_t placed = 0;
    try {
        for (; placed < files_.size(); ++placed)
            files_[placed]->place();
    } catch (...) {
        while (placed > 0)
            files_[--placed]->undo();
        throw;
    }
    for (AtomicFile* file : files_)
        file->finish();
}

void AtomicFile::abandon() {
    stopFlushing();
    fd_.reset();
    if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
    temporary_.clear();
}

void AtomicFile::fail(const std::string& reason) const {
    throw OutputFileError("cannot write \"" + target_ + "\": " + reason);
}

}  // namespace arbora
