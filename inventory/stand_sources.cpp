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
#include <map>
#include <memory>
#include <utility>

#include "io/descriptors.h"
#include "io/sqlite.h"
#include "io/stop_request.h"

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

// Line ends in a text: LF, CR LF, or a CR alone (as old Mac programs still write).
std::int64_t lineEnds(std::string_view text) {
    if (text.find('\r') == std::string_view::npos)
        return std::count(text.begin(), text.end(), '\n');
    std::int64_t ends = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++ends;
    }
    return ends;
}

// Reads a file in pieces; the whole size is known for telling the progress.
class FileBytes {
  public:
    FileBytes(FileDescriptor fd, std::string fileName)
        : fd_(std::move(fd)), fileName_(std::move(fileName)) {
        struct stat info;
        if (::fstat(fd_.get(), &info) == 0 && info.st_size > 0)
            size_ = static_cast<double>(info.st_size);
    }

    // A stop request ends a read that waits, e.g. on a pipe whose writer stays open: the
    // runner's handler makes read() return with EINTR.
    std::size_t read(char* buffer, std::size_t capacity) {
        const ssize_t n = retryInterrupted([&] {
            throwIfStopRequested();
            return ::read(fd_.get(), buffer, capacity);
        });
        if (n < 0) unreadable(fileName_, std::strerror(errno));
        done_ += static_cast<double>(n);
        return static_cast<std::size_t>(n);
    }
    double fractionDone() const { return size_ > 0 ? std::min(1.0, done_ / size_) : 0.0; }

  private:
    FileDescriptor fd_;
    std::string fileName_;
    double size_ = 0;
    double done_ = 0;
};

// GBK (read as GB 18030, its superset) to UTF-8, piece by piece: a character cut at
// the end of one piece is finished with the next.
class GbkToUtf8 {
  public:
    // From GBK, or from another encoding iconv knows by its name.
    explicit GbkToUtf8(const char* from = "GB18030") : converter_(::iconv_open("UTF-8", from)) {
        if (converter_ == reinterpret_cast<iconv_t>(-1)) {
            const std::string name = std::string_view(from) == "GB18030" ? "GBK" : from;
            throw InventoryInputError(
                InventoryInputError::unreadable,
                "cannot convert from " + name + ": " + std::string(std::strerror(errno)));
        }
    }
    ~GbkToUtf8() { ::iconv_close(converter_); }
    GbkToUtf8(const GbkToUtf8&) = delete;
    GbkToUtf8& operator=(const GbkToUtf8&) = delete;

    // Converts pending + piece; false when the bytes are not GBK text, with `out` holding
    // the text before the first byte that is not.
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

    // Converts one whole text, whatever came before.
    bool convertWhole(std::string_view text, std::string& out) {
        pending_.clear();
        ::iconv(converter_, nullptr, nullptr, nullptr, nullptr);
        const bool converted = convert(text, true, out);
        pending_.clear();
        return converted;
    }

  private:
    iconv_t converter_;
    std::string pending_;
};

}  // namespace

bool textToUtf8(const std::string& encoding, std::string_view text, std::string& utf8) {
    // One converter an encoding and thread, made once: a text at a time, from its initial
    // state.
    thread_local std::map<std::string, std::unique_ptr<GbkToUtf8>, std::less<>> converters;
    std::unique_ptr<GbkToUtf8>& converter = converters[encoding];
    if (!converter) converter = std::make_unique<GbkToUtf8>(encoding.c_str());
    return converter->convertWhole(text, utf8);
}

namespace {

// RFC 4180 records, with the physical line each starts on. Lines end with LF, CR LF or
// CR alone; a line break inside quotes belongs to the field.
//
// Most lines of an inventory hold no quote. Such a line is split where it lies in the
// buffered text, its fields handed out as views, exactly as libcsv would split it: a
// string per field made the reading five times slower. A line with a quote goes
// to libcsv, with the lines after it up to the end of its record. A line is split only
// once its line end has been read, so its bytes are always whole in the buffer.
class CsvStandSource : public StandSource {
  public:
    using ReadBytes = std::function<std::size_t(char* buffer, std::size_t capacity)>;

    CsvStandSource(ReadBytes readBytes, std::function<double()> fractionDone, std::string fileName,
                   InputEncoding encoding, std::size_t pieceSize)
        : readBytes_(std::move(readBytes)),
          fractionDone_(std::move(fractionDone)),
          fileName_(std::move(fileName)),
          pieceSize_(std::max<std::size_t>(pieceSize, 1)),
          piece_(std::max(pieceSize_, byteOrderMark.size())) {
        if (encoding == InputEncoding::gbk) gbk_ = std::make_unique<GbkToUtf8>();

        if (!nextRecord()) unusable(fileName_ + ": the file is empty");
        header_.assign(fields_.begin(), fields_.end());
    }

    const std::vector<std::string>& header() const override { return header_; }

    bool next(RawRow& row) override {
        if (!nextRecord()) return false;
        row.line = recordLine_;
        row.values.resize(fields_.size());
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            row.values[i] = RawValue{RawValue::Kind::text, fields_[i]};
        }
        return true;
    }

    double fractionDone() const override { return fractionDone_(); }

  private:
    // A record as libcsv gives it, its fields copied out of the parser.
    struct Parsed {
        std::int64_t line = 0;
        std::vector<std::string> fields;  // the first `count` are this record's
        std::size_t count = 0;
        bool blank = true;  // every field empty
    };

    // Where a byte stands next in the text, looked for once for many lines: the first
    // place of it from where it was looked for (the text's end when there is none), good
    // for as long as that place is not behind what has been taken.
    struct NextByte {
        char byte;
        std::size_t at = std::string::npos;  // npos: not looked for yet
    };

    // The next record that is not blank, in fields_ and recordLine_.
    bool nextRecord() {
        while (true) {
            if (!ready_.empty()) {
                takeParsed();
                return true;
            }
            if (!refusal_.empty()) unusable(refusal_);
            if (ended_) return false;
            if (takeLine()) return true;
        }
    }

    void takeParsed() {
        // The record given back last time lends its strings to a record to come.
        if (spare_.size() < 64) spare_.push_back(std::move(held_));
        held_ = std::move(ready_.front());
        ready_.pop_front();
        recordLine_ = held_.line;
        fields_.assign(held_.fields.begin(),
                       held_.fields.begin() + static_cast<std::ptrdiff_t>(held_.count));
    }

    // Takes one line of the text: true when it is a record that is not blank, split into
    // fields_. Reads more when no line end is left in the text.
    bool takeLine() {
        const std::size_t end = std::min(find(lf_), find(cr_));
        if (end == text_.size()) return takeRest();
        const std::size_t start = at_;
        at_ = end + 1;
        if (parsing_ || find(quote_, start) < end) {
            parse(std::string_view(text_.data() + start, end + 1 - start));
            return false;
        }
        return split(std::string_view(text_.data() + start, end - start), text_[end]);
    }

    // No line end is left in the text: reads more, or, at the end of what can be read,
    // the rest of the text is the last record (or the start of the line a fault is on).
    bool takeRest() {
        if (!inputEnded_) {
            readMore();
            return false;
        }
        const std::string_view rest(text_.data() + at_, text_.size() - at_);
        const bool quoted = find(quote_) < text_.size();
        at_ = text_.size();
        if (parsing_ || quoted) {
            parse(rest);
            if (!refusal_.empty()) return false;
        } else if (problem_.empty() && !nulByte_ && !rest.empty()) {
            if (split(rest, -1)) return true;  // the file's last line, without a line end
        }
        finish();
        return false;
    }

    // A line without a quote, split as libcsv splits it: fields between commas, the
    // blanks around each dropped; a line of blanks holds no field at all.
    bool split(std::string_view line, int terminator) {
        fields_.clear();
        bool blank = true;
        if (!trimmed(line).empty()) {
            for (std::size_t start = 0;;) {
                const void* comma = std::memchr(line.data() + start, ',', line.size() - start);
                const std::size_t stop =
                    comma ? static_cast<std::size_t>(static_cast<const char*>(comma) - line.data())
                          : line.size();
                const std::string_view field = trimmed(line.substr(start, stop - start));
                blank = blank && field.empty();
                fields_.push_back(field);
                if (!comma) break;
                start = stop + 1;
            }
        }
        recordLine_ = line_;
        countLineEnd(terminator, fields_.empty());
        return !blank;
    }

    static std::string_view trimmed(std::string_view text) {
        std::size_t first = 0;
        std::size_t last = text.size();
        while (first < last && (text[first] == ' ' || text[first] == '\t'))
            ++first;
        while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
            --last;
        return text.substr(first, last - first);
    }

    std::size_t find(NextByte& next, std::size_t from) {
        if (next.at == std::string::npos || next.at < from) next.at = findFrom(next.byte, from);
        return next.at;
    }
    std::size_t find(NextByte& next) { return find(next, at_); }
    std::size_t findFrom(char byte, std::size_t from) const {
        const void* found = std::memchr(text_.data() + from, byte, text_.size() - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data())
                     : text_.size();
    }

    // Keeps the line not yet taken (the start of a line, or of a record libcsv has not
    // finished) and adds the next text after it.
    void append(std::string_view more) {
        const std::size_t kept = text_.size() - at_;
        bool lookInNew[3];
        NextByte* nexts[3] = {&lf_, &cr_, &quote_};
        for (int i = 0; i < 3; ++i) {
            NextByte& next = *nexts[i];
            lookInNew[i] = next.at == text_.size();  // none in what is kept
            next.at =
                next.at != std::string::npos && next.at >= at_ ? next.at - at_ : std::string::npos;
        }
        text_.erase(0, at_);
        text_.append(more);
        at_ = 0;
        for (int i = 0; i < 3; ++i) {
            if (lookInNew[i]) nexts[i]->at = findFrom(nexts[i]->byte, kept);
        }
    }

    // Reads and checks one piece. A piece is checked whole before any of it is taken, so
    // that a file is refused at its first NUL byte without holding what follows; the
    // text before the fault is still taken, so that the fault is told on its line.
    void readMore() {
        const auto [bytes, last] = readPiece();
        const std::size_t nul = bytes.find('\0');
        const std::string_view clean = bytes.substr(0, nul);
        std::string_view text = clean;  // the UTF-8 text to take
        if (gbk_) {
            if (!gbk_->convert(clean, last, converted_)) problem_ = "is not GBK text";
            text = converted_;
        } else if (const std::size_t bad = utf8_.check(clean);
                   bad != std::string_view::npos || (last && !utf8_.complete())) {
            text = clean.substr(0, bad);
            problem_ =
                "is not UTF-8 text; for a file saved by a Chinese spreadsheet program, give "
                "--encoding gbk";
        }
        append(text);
        nulByte_ = nul != std::string_view::npos;
        inputEnded_ = last || nulByte_ || !problem_.empty();
    }

    // The next piece of the file, the byte-order mark left out; last at the end.
    struct Piece {
        std::string_view bytes;
        bool last;
    };
    Piece readPiece() {
        std::size_t n = readBytes_(piece_.data(), pieceSize_);
        if (!first_) return {std::string_view(piece_.data(), n), n == 0};
        first_ = false;
        // A byte-order mark may come in more than one piece.
        while (n > 0 && n < byteOrderMark.size()) {
            const std::size_t more =
                readBytes_(piece_.data() + n, std::min(pieceSize_, piece_.size() - n));
            if (more == 0) break;
            n += more;
        }
        std::string_view bytes(piece_.data(), n);
        if (bytes.substr(0, byteOrderMark.size()) == byteOrderMark) {
            bytes.remove_prefix(byteOrderMark.size());
        }
        return {bytes, n == 0};
    }

    // Every line of the text that could be read has been taken: the fault that ended the
    // reading is told on the line it stands on, or the file ends.
    void finish() {
        if (!problem_.empty()) {
            return refuse(fileName_ + ":" + std::to_string(parserLine()) + ": " + problem_);
        }
        if (nulByte_) {
            return refuse(fileName_ + ": holds a NUL byte at line " + std::to_string(parserLine()) +
                          " (it is not a text file)");
        }
        ended_ = true;
        // An unclosed quoted field began on the line the parser stands on.
        if (csv_fini(&parser_.state, onField, onRecordEnd, this) != 0) {
            refuse(fileName_ + ":" + std::to_string(line_) +
                   ": a quoted field is not closed before the end of the file");
        }
    }

    // Hands text to libcsv: a line with a quote, or the lines after it until its record
    // ends. Each piece given ends at the first line end, if any, so that the record ends
    // there or not at all.
    void parse(std::string_view text) {
        recordEnded_ = false;
        if (csv_parse(&parser_.state, text.data(), text.size(), onField, onRecordEnd, this) !=
            text.size()) {
            return refuse(fileName_ + ":" + std::to_string(parserLine()) +
                          ": a quote stands where CSV allows none (a quoted field must be quoted "
                          "whole, with quotes inside it doubled)");
        }
        parsing_ = !recordEnded_;
    }

    // A fault of the file is told once the records before it have been read, so that
    // what is read does not depend on where the pieces end.
    void refuse(std::string message) {
        refusal_ = std::move(message);
        ended_ = true;
    }

    // The line of the last byte parsed: the line the field being read began on, plus
    // the line breaks inside it so far (none when libcsv holds no record).
    std::int64_t parserLine() const {
        return line_ +
               lineEnds(std::string_view(reinterpret_cast<const char*>(parser_.state.entry_buf),
                                         parser_.state.entry_buf ? parser_.state.entry_pos : 0));
    }

    // libcsv ends a record at each CR and at each LF: the LF of a CR LF ends an empty
    // record on the same line end. A split line counts its line end the same way.
    void countLineEnd(int terminator, bool noField) {
        const bool secondHalf = terminator == '\n' && afterCr_ && noField;
        if ((terminator == '\n' && !secondHalf) || terminator == '\r') ++line_;
        afterCr_ = terminator == '\r';
    }

    static void onField(void* text, std::size_t length, void* self) {
        auto& source = *static_cast<CsvStandSource*>(self);
        Parsed& record = source.current_;
        if (record.count == 0) record.line = source.line_;
        if (record.fields.size() == record.count) record.fields.emplace_back();
        std::string& field = record.fields[record.count++];
        field.assign(static_cast<const char*>(text), length);
        if (length > 0) record.blank = false;
        source.line_ += lineEnds(field);
        source.afterCr_ = false;
    }

    static void onRecordEnd(int terminator, void* self) {
        auto& source = *static_cast<CsvStandSource*>(self);
        Parsed& record = source.current_;
        source.countLineEnd(terminator, record.count == 0);
        source.recordEnded_ = true;
        if (!record.blank) {
            source.ready_.push_back(std::move(record));
            record = Parsed{};
            if (!source.spare_.empty()) {
                record.fields = std::move(source.spare_.back().fields);
                source.spare_.pop_back();
            }
        }
        record.count = 0;
        record.blank = true;
    }

    // libcsv's parser, freed however the source ends, its constructor throwing too.
    struct Parser {
        Parser() {
            csv_init(&state, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL);
            csv_set_space_func(&state,
                               [](unsigned char c) -> int { return c == ' ' || c == '\t'; });
            csv_set_term_func(&state,
                              [](unsigned char c) -> int { return c == '\n' || c == '\r'; });
        }
        ~Parser() { csv_free(&state); }
        Parser(const Parser&) = delete;
        Parser& operator=(const Parser&) = delete;
        csv_parser state{};
    };

    ReadBytes readBytes_;
    std::function<double()> fractionDone_;
    std::string fileName_;
    std::size_t pieceSize_;
    std::vector<char> piece_;
    std::unique_ptr<GbkToUtf8> gbk_;
    std::string converted_;
    Utf8Checker utf8_;
    std::string text_;  // UTF-8 text read and checked, taken up to at_
    std::size_t at_ = 0;
    NextByte lf_{'\n'};
    NextByte cr_{'\r'};
    NextByte quote_{'"'};
    Parser parser_;
    bool parsing_ = false;      // libcsv holds an unfinished record
    bool recordEnded_ = false;  // libcsv ended a record in the text last given
    std::vector<std::string> header_;
    std::int64_t recordLine_ = 0;           // the line the record in fields_ starts on
    std::vector<std::string_view> fields_;  // the record handed out last
    std::deque<Parsed> ready_;
    Parsed current_;
    Parsed held_;
    std::vector<Parsed> spare_;  // records already read, kept for their strings
    std::int64_t line_ = 1;      // where the field being read begins
    bool afterCr_ = false;       // the last thing read was a CR that ended a record
    bool first_ = true;
    bool inputEnded_ = false;  // nothing more can be read: the end, or a fault below
    bool nulByte_ = false;     // the text read ends before a NUL byte
    std::string problem_;      // the text read ends before a byte that is not text
    bool ended_ = false;
    std::string refusal_;  // why the file cannot be read further
};

// What a SQLite failure means for the user, by its result code; SQLite's own message
// follows in parentheses. Only an SQL error (a "stands" view over a missing table, say)
// is a fault of the inventory; the others are the file's.
struct SqliteFailure {
    int code;  // a primary code, or an extended one, which comes first
    const char* meaning;
};
constexpr SqliteFailure sqliteFailures[] = {
    {SQLITE_READONLY_ROLLBACK,
     "holds an unfinished change (a hot journal) that only a program allowed to write the "
     "database can roll back"},
    {SQLITE_BUSY, "is locked by another program"},
    {SQLITE_LOCKED, "is locked by another program"},
    {SQLITE_NOTADB, "is not a SQLite database"},
    {SQLITE_CORRUPT, "is damaged"},
    {SQLITE_READONLY, "cannot be read without write access"},
    {SQLITE_CANTOPEN, "cannot be opened"},
    {SQLITE_NOMEM, "is too large for the memory"},
};

// The rows of the table (or view) "stands", each numbered by its rowid.
class SqliteStandSource : public StandSource {
  public:
    SqliteStandSource(const std::string& fileName, const SourceTuning& tuning)
        : fileName_(fileName),
          table_("\"" + tuning.table + "\""),  // the names are the program's own
          busyMilliseconds_(tuning.busyMilliseconds) {
        const int opened = openSqlite(fileName, SQLITE_OPEN_READONLY, db_);
        sqlite3* db = db_.get();
        if (db == nullptr) unreadable(fileName, "out of memory");
        if (opened != SQLITE_OK) fail();
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_handler(db, waitWhileBusy, this);
        // A stop request ends a statement that runs long, e.g. over an endless view.
        sqlite3_progress_handler(
            db, 1000, [](void*) { return stopRequest() != 0 ? 1 : 0; }, nullptr);

        if (!hasTable(tuning.table))
            unusable(fileName_ + ": is a SQLite database without a table " + table_);
        const SqliteStatement count = prepare("SELECT count(*) FROM " + table_);
        if (sqlite3_step(count.get()) != SQLITE_ROW) fail();
        total_ = sqlite3_column_double(count.get(), 0);

        rows_ = prepare("SELECT * FROM " + table_);
        const int columns = sqlite3_column_count(rows_.get());
        for (int i = 0; i < columns; ++i)
            header_.emplace_back(sqlite3_column_name(rows_.get(), i));
        numberByRowid();
    }

    const std::vector<std::string>& header() const override { return header_; }

    bool next(RawRow& row) override {
        sqlite3_stmt* rows = rows_.get();
        const int step = sqlite3_step(rows);
        if (step == SQLITE_DONE) return false;
        if (step != SQLITE_ROW) fail();
        ++done_;
        row.line = firstValue_ == 1 && sqlite3_column_type(rows, 0) == SQLITE_INTEGER
                       ? sqlite3_column_int64(rows, 0)
                       : done_;
        row.values.resize(header_.size());
        for (std::size_t i = 0; i < header_.size(); ++i) {
            const int column = static_cast<int>(i) + firstValue_;
            RawValue& value = row.values[i];
            value = RawValue{};
            switch (sqlite3_column_type(rows, column)) {
                case SQLITE_INTEGER:
                    value.kind = RawValue::Kind::integer;
                    value.integer = sqlite3_column_int64(rows, column);
                    break;
                case SQLITE_FLOAT:
                    value.kind = RawValue::Kind::real;
                    value.real = sqlite3_column_double(rows, column);
                    break;
                case SQLITE_TEXT:
                    value.kind = RawValue::Kind::text;
                    value.text = sqliteColumnText(rows, column);
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
    // Asked by SQLite while another program holds a lock: waits in short steps, so
    // that a stop request is not kept waiting, up to the time allowed.
    static int waitWhileBusy(void* self, int calls) {
        constexpr int step = 20;  // ms
        const auto& source = *static_cast<const SqliteStandSource*>(self);
        if (stopRequest() != 0 || calls * step >= source.busyMilliseconds_) return 0;
        sqlite3_sleep(step);
        return 1;
    }

    // Asked of the schema, so that "no table" is said only when there is none and
    // every other failure is told as what it is.
    bool hasTable(const std::string& name) {
        const SqliteStatement found =
            prepare("SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = '" +
                    name + "' COLLATE NOCASE");
        const int step = sqlite3_step(found.get());
        if (step != SQLITE_ROW && step != SQLITE_DONE) fail();
        return step == SQLITE_ROW;
    }

    // Rows are numbered by their rowid, read under one of its three names that no column
    // of the table takes (a column named "rowid" hides the rowid under that name). A
    // view or a table without rowids numbers its rows from 1 instead.
    void numberByRowid() {
        for (const char* name : {"_rowid_", "rowid", "oid"}) {
            const bool taken = std::any_of(header_.begin(), header_.end(), [&](const auto& column) {
                return sqlite3_stricmp(column.c_str(), name) == 0;
            });
            if (taken) continue;
            SqliteStatement statement;
            const std::string sql = std::string("SELECT ") + name + ", * FROM " + table_;
            if (prepareSqlite(db_.get(), sql, statement) == SQLITE_OK) {
                rows_ = std::move(statement);
                firstValue_ = 1;
            }
            return;
        }
    }

    SqliteStatement prepare(const std::string& sql) {
        SqliteStatement statement;
        if (prepareSqlite(db_.get(), sql, statement) != SQLITE_OK) fail();
        return statement;
    }

    [[noreturn]] void fail() {
        throwIfStopRequested();
        const int code = sqlite3_extended_errcode(db_.get());
        const std::string message = sqlite3_errmsg(db_.get());
        for (const SqliteFailure& failure : sqliteFailures) {
            if (failure.code == code || failure.code == (code & 0xFF)) {
                unreadable(fileName_, std::string(failure.meaning) + " (" + message + ")");
            }
        }
        if ((code & 0xFF) == SQLITE_ERROR) {
            unusable(fileName_ + ": the table " + table_ + " cannot be read (" + message + ")");
        }
        unreadable(fileName_, message);
    }

    std::string fileName_;
    std::string table_;  // quoted, for SQL
    int busyMilliseconds_;
    SqliteDatabase db_;  // declared before the statements, which are finalized first
    SqliteStatement rows_;
    int firstValue_ = 0;  // 1 when the first result column is the rowid
    std::vector<std::string> header_;
    std::int64_t done_ = 0;
    double total_ = 0;
};

}  // namespace

std::unique_ptr<StandSource> openStandSource(const std::string& fileName, InputEncoding encoding,
                                             const SourceTuning& tuning) {
    // Opening a FIFO waits for its writer; a stop request ends the wait.
    FileDescriptor fd(retryInterrupted([&] {
        throwIfStopRequested();
        return ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    }));
    if (!fd) unreadable(fileName, std::strerror(errno));
    auto file = std::make_shared<FileBytes>(std::move(fd), fileName);

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
    if (start == sqliteFileHeader) {
        if (!tuning.databases) unusable(fileName + ": is a SQLite database, not a CSV file");
        return std::make_unique<SqliteStandSource>(fileName, tuning);
    }

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
        [file] { return file->fractionDone(); }, fileName, encoding, tuning.pieceSize);
}

std::unique_ptr<StandSource> csvStandSource(std::string bytes, const std::string& fileName,
                                            InputEncoding encoding, std::size_t pieceSize) {
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
        fileName, encoding, pieceSize);
}

}  // namespace arbora
