#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/stand_columns.h"

// Where an inventory's stand rows come from: a CSV file (RFC 4180, UTF-8 with or
// without a byte-order mark, or GBK) or a SQLite database holding a table "stands".
namespace arbora {

enum class InputEncoding { utf8, gbk };

// An inventory that cannot be used. `unreadable` when the system could not read it
// (the reason is the system's), otherwise the input is not an inventory or is
// malformed; the message names the file and, where there is one, the line.
class InventoryInputError : public std::runtime_error {
  public:
    enum Kind { unreadable, unusable };
    InventoryInputError(Kind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

class StandSource {
  public:
    virtual ~StandSource() = default;
    // The column names of the header row (CSV) or of the table (SQLite).
    virtual const std::vector<std::string>& header() const = 0;
    // The next row that is not blank; false after the last. The row's texts stay valid
    // until the next call. Throws InventoryInputError.
    virtual bool next(RawRow& row) = 0;
    // How much of the input has been read, from 0 to 1.
    virtual double fractionDone() const = 0;
};

// How an inventory is read. The defaults suit every run; tests and fuzzing change them
// to reach the edges of the pieces and the waits.
struct SourceTuning {
    std::size_t pieceSize = 65536;  // bytes of a CSV file read at a time
    int busyMilliseconds = 5000;    // how long to wait for a database another program locks
    std::string table = "stands";   // the table read from a database ("treatments" too)
    bool databases = true;          // false: a SQLite database is refused, CSV files only
};

// Opens the inventory, telling a SQLite database by its file header; reads the header
// row of a CSV file. Throws InventoryInputError: unreadable when the file cannot be
// opened or read (for a database also when it is locked, damaged, not a database or
// holds a change that cannot be rolled back), unusable when it is neither a CSV file
// with a header row nor a SQLite database with a table "stands". A CSV file is refused
// at the first NUL byte, and, read as UTF-8, at the first byte that is not UTF-8 text.
// Lines end with LF, CR LF or CR alone. Throws RunStopped when a stop is requested
// while it waits for the file.
std::unique_ptr<StandSource> openStandSource(const std::string& fileName, InputEncoding encoding,
                                             const SourceTuning& tuning = {});

// Text in an encoding iconv knows ("GB18030" for GBK, "CP1252", ...) as UTF-8 in `utf8`;
// false when the bytes are not text in it. Throws InventoryInputError when the system
// cannot convert from it.
bool textToUtf8(const std::string& encoding, std::string_view text, std::string& utf8);

// The CSV reader over bytes already in memory, for tests and fuzzing.
std::unique_ptr<StandSource> csvStandSource(std::string bytes, const std::string& fileName,
                                            InputEncoding encoding,
                                            std::size_t pieceSize = SourceTuning{}.pieceSize);

}  // namespace arbora
