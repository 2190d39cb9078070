#include "inventory/stand_sources.h"

#include <csv.h>
#include <fcntl.h>
#include <iconv.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <utility>

namespace arbora {
namespace {

constexpr std::string_view sqliteFileHeader{"SQLite format 3\0", 16};
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void unusable(const std::string& message) {
    throw InventoryInputError(InventoryInputError::unusable, message);
}

[[noreturn]] void unreadable(const std::string& fileName, const std::string& reason) {
    throw InventoryInputError(InventoryInputError::unreadable,
                              "cannot read \"" + fileName + "\": " + reason);
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80           ? 1
                             : (byte >> 5) == 0x6  ? 2
                             : (byte >> 4) == 0xE  ? 3
                             : (byte >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// Reads a file in pieces; the whole size is known for telling the progress.
class FileBytes {
  public:
    FileBytes(int fd, std::string fileName) : fd_(fd), fileName_(std::move(fileName)) {
        struct stat info;
        if (::fstat(fd_, &info) == 0 && info.st_size > 0) size_ = static_cast<double>(info.st_size);
    }
    ~FileBytes() { ::close(fd_); }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    std::size_t read(char* buffer, std::size_t capacity) {
        while (true) {
            const ssize_t n = ::read(fd_, buffer, capacity);
            if (n >= 0) {
                done_ += static_cast<double>(n);
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) unreadable(fileName_, std::strerror(errno));
        }
    }
    double fractionDone() const { return size_ > 0 ? std::min(1.0, done_ / size_) : 0.0; }

  private:
    int fd_;
    std::string fileName_;
    double size_ = 0;
    double done_ = 0;
};

// GBK (read as GB 18030, its superset) to UTF-8, piece by piece: a character cut at
// the end of one piece is finished with the next.
class GbkToUtf8 {
  public:
    GbkToUtf8() : converter_(::iconv_open("UTF-8", "GB18030")) {
        if (converter_ == reinterpret_cast<iconv_t>(-1)) {
            throw InventoryInputError(
                InventoryInputError::unreadable,
                "cannot convert from GBK: " + std::string(std::strerror(errno)));
        }
    }
    ~GbkToUtf8() { ::iconv_close(converter_); }
    GbkToUtf8(const GbkToUtf8&) = delete;
    GbkToUtf8& operator=(const GbkToUtf8&) = delete;

    // Converts pending + piece; false when the bytes are not GBK text.
    bool convert(std::string_view piece, bool last, std::string& out) {
        pending_.append(piece);
        out.clear();
        char* in = pending_.data();
        std::size_t inLeft = pending_.size();
        while (inLeft > 0) {
            char buffer[16384];
            char* to = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = ::iconv(converter_, &in, &inLeft, &to, &outLeft);
            out.append(buffer, static_cast<std::size_t>(to - buffer));
            if (result != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (errno == EINVAL && !last) break;  // a character cut at the end of the piece
            return false;
        }
        pending_.erase(0, pending_.size() - inLeft);
        return true;
    }

  private:
    iconv_t converter_;
    std::string pending_;
};

// RFC 4180 records through libcsv, with the physical line each starts on. Lines end
// with LF or CR LF; a line break inside quotes belongs to the field.
class CsvStandSource : public StandSource {
  public:
    using ReadBytes = std::function<std::size_t(char* buffer, std::size_t capacity)>;

    CsvStandSource(ReadBytes readBytes, std::function<double()> fractionDone, std::string fileName,
                   InputEncoding encoding)
        : readBytes_(std::move(readBytes)),
          fractionDone_(std::move(fractionDone)),
          fileName_(std::move(fileName)) {
        if (encoding == InputEncoding::gbk) gbk_ = std::make_unique<GbkToUtf8>();

        if (!nextRecord(held_)) unusable(fileName_ + ": the file is empty");
        for (std::size_t i = 0; i < held_.count; ++i)
            header_.push_back(held_.fields[i]);
        if (encoding == InputEncoding::utf8) {
            for (const std::string& name : header_) {
                if (!isValidUtf8(name)) {
                    unusable(fileName_ + ":" + std::to_string(held_.line) +
                             ": the header is not UTF-8 text; for a file saved by a Chinese "
                             "spreadsheet program, give --encoding gbk");
                }
            }
        }
    }

    const std::vector<std::string>& header() const override { return header_; }

    bool next(RawRow& row) override {
        if (!nextRecord(held_)) return false;
        row.line = held_.line;
        row.values.resize(held_.count);
        for (std::size_t i = 0; i < held_.count; ++i) {
            row.values[i] = RawValue{RawValue::Kind::text, held_.fields[i]};
        }
        return true;
    }

    double fractionDone() const override { return fractionDone_(); }

  private:
    struct Record {
        std::int64_t line = 0;
        std::vector<std::string> fields;  // the first `count` are this record's
        std::size_t count = 0;
        bool blank = true;  // every field empty
    };

    // The next record that is not blank.
    bool nextRecord(Record& record) {
        while (ready_.empty()) {
            if (ended_) return false;
            readMore();
        }
        // The record given back last time lends its strings to a record to come.
        if (spare_.size() < 64) spare_.push_back(std::move(record));
        record = std::move(ready_.front());
        ready_.pop_front();
        return true;
    }

    void readMore() {
        char piece[65536];
        const std::size_t n = readBytes_(piece, sizeof piece);
        std::string_view bytes(piece, n);
        if (first_) {
            first_ = false;
            if (bytes.substr(0, byteOrderMark.size()) == byteOrderMark) {
                bytes.remove_prefix(byteOrderMark.size());
            }
            if (bytes.find('\0') != std::string_view::npos) {
                unusable(fileName_ +
                         ": is neither a CSV file nor a SQLite database (it holds NUL bytes)");
            }
        }
        if (gbk_) {
            if (!gbk_->convert(bytes, n == 0, converted_)) {
                unusable(fileName_ + ":" + std::to_string(line_) + ": is not GBK text");
            }
            bytes = converted_;
        }
        if (csv_parse(&parser_.state, bytes.data(), bytes.size(), onField, onRecordEnd, this) !=
            bytes.size()) {
            // The field being read holds the lines since its record began.
            const auto partial = std::string_view(
                reinterpret_cast<const char*>(parser_.state.entry_buf), parser_.state.entry_pos);
            const auto line = line_ + std::count(partial.begin(), partial.end(), '\n');
            unusable(fileName_ + ":" + std::to_string(line) +
                     ": a quote stands where CSV allows none (a quoted field must be "
                     "quoted whole, with quotes inside it doubled)");
        }
        if (n == 0) {
            ended_ = true;
            if (csv_fini(&parser_.state, onField, onRecordEnd, this) != 0) {
                unusable(fileName_ + ":" + std::to_string(current_.line) +
                         ": a quoted field is not closed before the end of the file");
            }
        }
    }

    static void onField(void* text, std::size_t length, void* self) {
        auto& source = *static_cast<CsvStandSource*>(self);
        Record& record = source.current_;
        if (record.count == 0) record.line = source.line_;
        if (record.fields.size() == record.count) record.fields.emplace_back();
        std::string& field = record.fields[record.count++];
        field.assign(static_cast<const char*>(text), length);
        if (length > 0) record.blank = false;
        source.line_ += std::count(field.begin(), field.end(), '\n');
    }

    static void onRecordEnd(int terminator, void* self) {
        auto& source = *static_cast<CsvStandSource*>(self);
        Record& record = source.current_;
        if (!record.blank) {
            source.ready_.push_back(std::move(record));
            record = Record{};
            if (!source.spare_.empty()) {
                record.fields = std::move(source.spare_.back().fields);
                source.spare_.pop_back();
            }
        }
        record.count = 0;
        record.blank = true;
        if (terminator == '\n') ++source.line_;
    }

    // libcsv's parser, freed however the source ends, its constructor throwing too.
    struct Parser {
        Parser() {
            csv_init(&state, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL);
            csv_set_space_func(&state, [](unsigned char c) -> int {
                return c == ' ' || c == '\t' || c == '\r';  // the CR of CR LF is trimmed
            });
            csv_set_term_func(&state, [](unsigned char c) -> int { return c == '\n'; });
        }
        ~Parser() { csv_free(&state); }
        Parser(const Parser&) = delete;
        Parser& operator=(const Parser&) = delete;
        csv_parser state{};
    };

    ReadBytes readBytes_;
    std::function<double()> fractionDone_;
    std::string fileName_;
    std::unique_ptr<GbkToUtf8> gbk_;
    std::string converted_;
    Parser parser_;
    std::vector<std::string> header_;
    std::deque<Record> ready_;
    Record current_;
    Record held_;
    std::vector<Record> spare_;  // records already read, kept for their strings
    std::int64_t line_ = 1;
    bool first_ = true;
    bool ended_ = false;
};

// The rows of the table "stands", each numbered by its rowid.
class SqliteStandSource : public StandSource {
  public:
    SqliteStandSource(const std::string& fileName, const std::string& table) : fileName_(fileName) {
        if (sqlite3_open_v2(fileName.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            unreadable(fileName, db_ ? sqlite3_errmsg(db_) : "out of memory");
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_stmt* count = nullptr;
        const std::string quoted = "\"" + table + "\"";  // the names are the program's own
        if (sqlite3_prepare_v2(db_, ("SELECT count(*) FROM " + quoted).c_str(), -1, &count,
                               nullptr) != SQLITE_OK) {
            fail("is a SQLite database without a table " + quoted);
        }
        if (sqlite3_step(count) == SQLITE_ROW) total_ = sqlite3_column_double(count, 0);
        sqlite3_finalize(count);
        // A table without rowids numbers its rows from 1 instead.
        if (sqlite3_prepare_v2(db_, ("SELECT rowid, * FROM " + quoted).c_str(), -1, &rows_,
                               nullptr) == SQLITE_OK) {
            firstValue_ = 1;
        } else if (sqlite3_prepare_v2(db_, ("SELECT * FROM " + quoted).c_str(), -1, &rows_,
                                      nullptr) != SQLITE_OK) {
            fail("cannot be read");
        }
        const int columns = sqlite3_column_count(rows_);
        for (int i = firstValue_; i < columns; ++i)
            header_.emplace_back(sqlite3_column_name(rows_, i));
    }
    ~SqliteStandSource() override {
        sqlite3_finalize(rows_);
        sqlite3_close(db_);
    }

    const std::vector<std::string>& header() const override { return header_; }

    bool next(RawRow& row) override {
        const int step = sqlite3_step(rows_);
        if (step == SQLITE_DONE) return false;
        if (step != SQLITE_ROW) fail("cannot be read");
        ++done_;
        row.line = firstValue_ == 1 ? sqlite3_column_int64(rows_, 0) : done_;
        row.values.resize(header_.size());
        for (std::size_t i = 0; i < header_.size(); ++i) {
            const int column = static_cast<int>(i) + firstValue_;
            RawValue& value = row.values[i];
            value = RawValue{};
            switch (sqlite3_column_type(rows_, column)) {
                case SQLITE_INTEGER:
                    value.kind = RawValue::Kind::integer;
                    value.integer = sqlite3_column_int64(rows_, column);
                    break;
                case SQLITE_FLOAT:
                    value.kind = RawValue::Kind::real;
                    value.real = sqlite3_column_double(rows_, column);
                    break;
                case SQLITE_TEXT:
                    value.kind = RawValue::Kind::text;
                    value.text = std::string_view(
                        reinterpret_cast<const char*>(sqlite3_column_text(rows_, column)),
                        static_cast<std::size_t>(sqlite3_column_bytes(rows_, column)));
                    break;
                case SQLITE_NULL:
                    break;
                default:
                    value.kind = RawValue::Kind::other;
            }
        }
        return true;
    }

    double fractionDone() const override {
        return total_ > 0 ? std::min(1.0, static_cast<double>(done_) / total_) : 0.0;
    }

  private:
    // A database that is damaged or not one is unusable; one the system cannot read
    // is unreadable.
    [[noreturn]] void fail(const std::string& what) {
        const int code = sqlite3_extended_errcode(db_) & 0xFF;
        const std::string reason = sqlite3_errmsg(db_);
        if (code == SQLITE_IOERR || code == SQLITE_CANTOPEN || code == SQLITE_PERM ||
            code == SQLITE_NOMEM || code == SQLITE_BUSY || code == SQLITE_LOCKED) {
            unreadable(fileName_, reason);
        }
        unusable(fileName_ + ": " + what + " (" + reason + ")");
    }

    std::string fileName_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* rows_ = nullptr;
    int firstValue_ = 0;  // 1 when the first result column is the rowid
    std::vector<std::string> header_;
    std::int64_t done_ = 0;
    double total_ = 0;
};

}  // namespace

std::unique_ptr<StandSource> openStandSource(const std::string& fileName, InputEncoding encoding,
                                             const std::string& table) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) unreadable(fileName, std::strerror(errno));
    auto file = std::make_shared<FileBytes>(fd, fileName);

    // A SQLite database begins with its 16-byte header; anything else is read as CSV,
    // from its first byte.
    std::string start(sqliteFileHeader.size(), '\0');
    std::size_t got = 0;
    while (got < start.size()) {
        const std::size_t n = file->read(start.data() + got, start.size() - got);
        if (n == 0) break;
        got += n;
    }
    start.resize(got);
    if (start == sqliteFileHeader) return std::make_unique<SqliteStandSource>(fileName, table);

    auto unread = std::make_shared<std::string>(std::move(start));
    return std::make_unique<CsvStandSource>(
        [file, unread](char* buffer, std::size_t capacity) {
            if (!unread->empty()) {
                const std::size_t n = std::min(capacity, unread->size());
                std::memcpy(buffer, unread->data(), n);
                unread->erase(0, n);
                return n;
            }
            return file->read(buffer, capacity);
        },
        [file] { return file->fractionDone(); }, fileName, encoding);
}

std::unique_ptr<StandSource> csvStandSource(std::string bytes, const std::string& fileName,
                                            InputEncoding encoding) {
    auto data = std::make_shared<std::string>(std::move(bytes));
    auto offset = std::make_shared<std::size_t>(0);
    return std::make_unique<CsvStandSource>(
        [data, offset](char* buffer, std::size_t capacity) {
            const std::size_t n = std::min(capacity, data->size() - *offset);
            std::memcpy(buffer, data->data() + *offset, n);
            *offset += n;
            return n;
        },
        [data, offset] {
            return data->empty() ? 1.0
                                 : static_cast<double>(*offset) / static_cast<double>(data->size());
        },
        fileName, encoding);
}

}  // namespace arbora
