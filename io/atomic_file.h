#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "io/descriptors.h"

// Files written whole or not at all, alone or as a set: each is written under a
// temporary name beside its target and renamed over it only when complete; otherwise
// the temporary file is removed and an earlier file of that name stays as it was. A
// stop request (see io/stop_request.h) is honoured up to the rename.
namespace arbora {

// A write that failed; the message names the file and the system's reason.
class OutputFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Makes a file's bytes durable on a thread of its own while the file is still being
// written, each time enough new bytes have come, so that the flush before the file is
// put in place has little left to do (a virtual disk can take half a second to flush
// a gigabyte written since the last flush) and the writing thread never waits for the
// disk. The first error of a flush is kept for the final one to report: the system
// tells an error to one flush only.
class BackgroundFlush {
  public:
    BackgroundFlush(int fd, std::size_t every);  // throws std::system_error
    ~BackgroundFlush() { finish(); }
    BackgroundFlush(const BackgroundFlush&) = delete;
    BackgroundFlush& operator=(const BackgroundFlush&) = delete;

    // The file has `size` bytes now.
    void grown(std::size_t size);
    // Waits for a flush under way and ends the thread; the error number of the first
    // flush that failed, 0 when none did.
    int finish();

  private:
    void serve();

    const int fd_;
    const std::size_t every_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t size_ = 0, flushed_ = 0;
    bool stopping_ = false;
    int error_ = 0;
    std::thread thread_;
};

// A file written whole or not at all: a temporary file beside the target, renamed over
// it by commit, removed by the destructor when not committed. The temporary file is
// made when the AtomicFile is, so that a target that cannot be written (a directory, a
// device, a directory without write permission) is found before the work that fills it.
// A run killed outright leaves its temporary files, named "." + the target's name + "."
// and six random characters (and "-old" after those while the earlier file is
// replaced); see removeStaleTemporaries.
class AtomicFile {
  public:
    // The bytes are made durable on a thread of the file's own, each time `flushEvery`
    // more have been written (see BackgroundFlush). Throws OutputFileError.
    explicit AtomicFile(std::string target, std::size_t flushEvery = std::size_t{64} << 20);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& temporaryName() const { return temporary_; }
    int fd() const { return fd_.get(); }
    // Appends bytes; throws OutputFileError.
    void write(std::string_view bytes);
    // Tells the background flush how far the file has grown, for bytes written by other
    // means than write() (a database library writing the temporary file through its own
    // descriptor). A call costs one fstat.
    void fileGrew();
    // Makes the bytes durable and closes the file.
    void sync();
    // Syncs, then puts the file in the target's place, unless a stop has been requested
    // by then (throws RunStopped, and the target stays as it was).
    void commit();
    void abandon();
    [[noreturn]] void fail(const std::string& reason) const;

  private:
    friend class OutputSet;
    // Renames the synced file over the target, the earlier file kept under a second
    // name until finish() or undo(); throws OutputFileError and leaves the target as it
    // was.
    void place();
    // Puts the earlier file back (or removes the target where there was none).
    void undo() noexcept;
    // Drops the earlier file and makes the new name durable.
    void finish() noexcept;
    void grown(std::size_t size);
    int stopFlushing();

    std::string target_;
    std::string temporary_;
    FileDescriptor fd_;
    bool committed_ = false;
    bool placed_ = false;
    std::string earlier_;  // the earlier file's second name while placed
    bool synced_ = false;
    std::size_t written_ = 0;  // bytes written through write()
    std::size_t flushEvery_;
    std::unique_ptr<BackgroundFlush> flush_;  // once the file is large enough to need one
};

// The files of one run, put in their targets' places together: every one is, or none
// is and every earlier file stays as it was (a rename that fails undoes those before
// it). Kept by reference; the files must outlive the set's commit.
class OutputSet {
  public:
    void add(AtomicFile& file) { files_.push_back(&file); }
    // Syncs every file; flushes `out` (the run's standard output, when given) and checks
    // that all of it was written; then, with the stop signals held, puts every file in
    // place. Throws OutputFileError, or RunStopped when a stop was requested before the
    // first rename.
    void commit(std::ostream* out = nullptr);

  private:
    std::vector<AtomicFile*> files_;
};

}  // namespace arbora
