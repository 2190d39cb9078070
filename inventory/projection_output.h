#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "inventory/summary.h"

// Where an inventory projection is written: a SQLite database (tables stands,
// projection, summary, rejected, run) or a CSV file of the projection table. The
// output is all or nothing: it is written to a temporary file beside the target and
// renamed over the target only when complete; otherwise the temporary file is removed
// and an earlier file of that name stays as it was. A stop request (see
// inventory/stop_request.h) ends a write that runs long, and is honoured up to the
// rename.
namespace arbora {

// A write that failed; the message names the file and the system's reason.
class OutputFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct RunRecord {
    std::string version;
    std::string startedUtc;  // e.g. "2026-12-08T15:44:50Z"
    std::string input;
    std::string years;  // e.g. "0,10,20"
};

class ProjectionOutput {
  public:
    virtual ~ProjectionOutput() = default;
    virtual void addStand(const InventoryStand& stand) = 0;
    virtual void addRow(const std::string& standId, const ProjectionRow& row) = 0;
    virtual void addRejection(const Rejection& rejection) = 0;
    // Writes the summary and the run and makes the file durable, still under its
    // temporary name.
    virtual void complete(const std::vector<SummaryRow>& summary, const RunRecord& run) = 0;
    // Puts the completed file in the target's place (see AtomicFile::commit).
    virtual void commit() = 0;
    // Removes the unfinished file; the target stays as it was.
    virtual void abandon() = 0;
};

// The kind of output a file name asks for, by its extension: ".sqlite" or ".db",
// ".csv"; empty for any other.
enum class OutputKind { none, sqlite, csv };
// The extension of a file name in lower case, e.g. ".sqlite"; empty when it has none.
std::string lowerExtension(const std::string& fileName);
OutputKind outputKindOf(const std::string& fileName);

// Starts the output (the temporary file). Throws OutputFileError.
std::unique_ptr<ProjectionOutput> openProjectionOutput(const std::string& fileName);

// A file written whole or not at all: a temporary file beside the target, renamed over
// it by commit, removed by the destructor when not committed. The temporary file is
// made when the AtomicFile is, so that a target that cannot be written is found before
// the work that fills it.
class AtomicFile {
  public:
    explicit AtomicFile(std::string target);  // throws OutputFileError
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& temporaryName() const { return temporary_; }
    int fd() const { return fd_; }
    // Appends bytes; throws OutputFileError.
    void write(std::string_view bytes);
    // Makes the bytes durable and closes the file.
    void sync();
    // Syncs, then puts the file in the target's place, unless a stop has been requested
    // by then (throws RunStopped, and the target stays as it was).
    void commit();
    void abandon();
    [[noreturn]] void fail(const std::string& reason) const;

  private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
    bool synced_ = false;
    std::size_t written_ = 0;  // bytes written through write()
    std::size_t started_ = 0;  // bytes whose writing to disk has been started
};

}  // namespace arbora
