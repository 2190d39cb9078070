#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "inventory/summary.h"
#include "io/atomic_file.h"

// Where an inventory projection is written: a SQLite database (tables stands,
// projection, summary, rejected, run) or a CSV file of the projection table. The
// output is all or nothing: it is written to a temporary file beside the target and
// renamed over the target only when complete; otherwise the temporary file is removed
// and an earlier file of that name stays as it was (see io/atomic_file.h). A stop
// request (see io/stop_request.h) ends a write that runs long, and is honoured up to
// the rename.
namespace arbora {

// A cell of an output table: NULL, a whole number, a number or a text.
using OutputValue = std::variant<std::monostate, std::int64_t, double, std::string_view>;
// The same, holding its text.
using OwnedOutputValue = std::variant<std::monostate, std::int64_t, double, std::string>;

enum class OutputType { integer, real, text };

struct OutputColumn {
    std::string_view name;
    OutputType type;
    bool notNull = false;
};

// One table of the SQLite output: its columns in order, and the primary key when it has
// one (e.g. "scenario, stand_id, year"). CREATE TABLE, the INSERT and the binds all come
// from this one definition.
struct OutputTable {
    std::string_view name;
    std::span<const OutputColumn> columns;
    std::string_view primaryKey = {};
};

struct RunRecord {
    std::string version;
    std::string startedUtc;  // e.g. "2026-12-08T15:44:50Z"
    std::string input;
    std::string years;  // e.g. "0,10,20"
    // Every assumption of the run that a user can change, by name, after the columns
    // above: the treatments file, the thinning quotients, the regeneration age, ...
    std::vector<std::pair<std::string, OwnedOutputValue>> parameters;
};

// Text written straight into its room: unlike std::string::resize, making room does not
// fill it first (a stand's rows take a few hundred bytes of the kilobytes made ready).
class TextBuffer {
  public:
    // Room for at least `size` more characters after the text; write into it, then
    // give the end of what was written to grew().
    char* room(std::size_t size) {
        if (capacity_ - size_ < size) grow(size_ + size);
        return data_.get() + size_;
    }
    void grew(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void clear() { size_ = 0; }
    std::string_view text() const { return {data_.get(), size_}; }

  private:
    void grow(std::size_t least);
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0, capacity_ = 0;
};

class ProjectionOutput {
  public:
    virtual ~ProjectionOutput() = default;
    virtual void addStand(const InventoryStand& stand) = 0;
    virtual void addRow(std::string_view scenario, const std::string& standId,
                        const ProjectionRow& row) = 0;
    virtual void addRejection(const Rejection& rejection) = 0;
    // Fields of the stand added last, for an output with a map layer (the plan's regime
    // and its share); every stand is given the same names in the same order. Outputs
    // without a layer hold them in their tables already and skip them.
    virtual void addStandFields(std::span<const std::pair<std::string, OwnedOutputValue>>) {}
    // An output that takes the text of its projection rows made beforehand, on any
    // thread, by formatRows (appended to `into`), and then added with addFormatted in
    // place of addRow. formatRows changes nothing of the output. addFormatted may be
    // called from any thread, one call at a time, in input order; meanwhile the output
    // is given nothing else but stands, rejections and table rows, which such an output
    // does not keep.
    virtual bool formatsRows() const { return false; }
    virtual void formatRows(TextBuffer& /*into*/, std::string_view /*scenario*/,
                            const std::string& /*standId*/,
                            std::span<const ProjectionRow> /*rows*/) const {}
    virtual void addFormatted(std::string_view /*text*/) {}
    // A row of one of the further tables given when the output was opened (the removals,
    // products, finance); the CSV output holds the projection table only and skips it.
    virtual void addTableRow(const OutputTable& table, std::span<const OutputValue> values) = 0;
    // Writes the summary, the comparison and the run and makes the file durable, still
    // under its temporary name.
    virtual void complete(const std::vector<SummaryRow>& summary,
                          const std::vector<ComparisonRow>& comparison, const RunRecord& run) = 0;
    // Puts the completed file in the target's place (see AtomicFile::commit).
    virtual void commit() = 0;
    // The file the output is written to, for an OutputSet to put in place with others;
    // null for an output that can only commit() on its own.
    virtual class AtomicFile* file() { return nullptr; }
    // Removes the unfinished file; the target stays as it was.
    virtual void abandon() = 0;
};

// The kind of output a file name asks for, by its extension: ".sqlite" or ".db",
// ".csv"; empty for any other.
enum class OutputKind { none, sqlite, csv };
// The extension of a file name in lower case, e.g. ".sqlite"; empty when it has none.
std::string lowerExtension(const std::string& fileName);
OutputKind outputKindOf(const std::string& fileName);

// Starts the output (the temporary file), with the further tables the run fills besides
// stands, projection, summary, comparison, rejected and run; a CSV file starts with the
// UTF-8 byte-order mark when asked, for spreadsheet programs that take text without it
// for the system's code page. Throws OutputFileError.
std::unique_ptr<ProjectionOutput> openProjectionOutput(
    const std::string& fileName, std::span<const OutputTable* const> furtherTables = {},
    bool byteOrderMark = false);

}  // namespace arbora
