#include "inventory/projection_output.h"

#include <fcntl.h>
#include <limits.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "inventory/number_text.h"
#include "inventory/stand_columns.h"
#include "inventory/stop_request.h"

namespace arbora {
namespace {

std::string directoryOf(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

char* writeNumber(char* to, std::int64_t value) {
    return std::to_chars(to, to + 24, value).ptr;
}

// A spreadsheet runs a cell that begins with one of these as a formula.
bool looksLikeFormula(std::string_view text) {
    return !text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos &&
           !readInventoryNumber(text).value;
}

// A CSV text field, quoted when it holds a comma, a quote or a line break; at most
// 2 * size + 3 characters. A text that a spreadsheet would run as a formula gets a
// leading apostrophe, which spreadsheets show as text and do not run.
char* writeTextField(char* to, std::string_view text) {
    const bool formula = looksLikeFormula(text);
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        if (formula) *to++ = '\'';
        return std::copy(text.begin(), text.end(), to);
    }
    *to++ = '"';
    if (formula) *to++ = '\'';
    for (const char c : text) {
        if (c == '"') *to++ = '"';
        *to++ = c;
    }
    *to++ = '"';
    return to;
}

// The projection table as CSV: UTF-8, a header row, CR LF line ends. Numbers are
// written in full binary64 precision, as the shortest text that reads back to the
// same double.
class CsvProjectionOutput : public ProjectionOutput {
  public:
    explicit CsvProjectionOutput(const std::string& fileName)
        : file_(fileName), buffer_(bufferSize) {
        constexpr std::string_view header =
            "stand_id,year,age,average_diameter,average_height,stand_density,stand_volume,"
            "biomass_stem,biomass_bark,biomass_branch,biomass_foliage,biomass_root,"
            "biomass_total,carbon_stem,carbon_bark,carbon_branch,carbon_foliage,carbon_root,"
            "carbon_total,co2e\r\n";
        used_ = static_cast<std::size_t>(std::copy(header.begin(), header.end(), buffer_.data()) -
                                         buffer_.data());
    }

    void addStand(const InventoryStand&) override {}
    void addRejection(const Rejection&) override {}

    void addRow(const std::string& standId, const ProjectionRow& row) override {
        const std::size_t most = 2 * standId.size() + 3 + 20 * (shortestTextSize + 1) + 2;
        if (buffer_.size() - used_ < most) {
            flush();
            if (buffer_.size() < most) buffer_.resize(most);
        }
        char* to = writeTextField(buffer_.data() + used_, standId);
        for (const std::int64_t whole : {std::int64_t{row.year}, std::int64_t{row.age}}) {
            *to++ = ',';
            to = writeNumber(to, whole);
        }
        *to++ = ',';
        to = writeShortest(to, row.averageDiameter);
        *to++ = ',';
        to = writeShortest(to, row.averageHeight);
        *to++ = ',';
        to = writeNumber(to, row.standDensity);
        for (const double value :
             {row.standVolume, row.biomass.stem, row.biomass.bark, row.biomass.branch,
              row.biomass.foliage, row.biomass.root, row.biomass.stand, row.carbon.stem,
              row.carbon.bark, row.carbon.branch, row.carbon.foliage, row.carbon.root,
              row.carbon.stand, row.co2e}) {
            *to++ = ',';
            to = writeShortest(to, value);
        }
        *to++ = '\r';
        *to++ = '\n';
        used_ = static_cast<std::size_t>(to - buffer_.data());
    }

    void complete(const std::vector<SummaryRow>&, const RunRecord&) override {
        flush();
        file_.sync();
    }
    void commit() override { file_.commit(); }
    void abandon() override { file_.abandon(); }

  private:
    static constexpr std::size_t bufferSize = 1 << 20;

    void flush() {
        file_.write(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }

    AtomicFile file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

constexpr const char* schema = R"(
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
PRAGMA locking_mode = EXCLUSIVE;
CREATE TABLE stands (
  stand_id TEXT PRIMARY KEY, species INTEGER NOT NULL, site_class INTEGER,
  stand_age INTEGER NOT NULL, average_diameter REAL NOT NULL, average_height REAL NOT NULL,
  stand_density INTEGER NOT NULL, stand_volume REAL NOT NULL, area REAL NOT NULL,
  line INTEGER NOT NULL);
CREATE TABLE projection (
  stand_id TEXT NOT NULL, year INTEGER NOT NULL, age INTEGER NOT NULL,
  average_diameter REAL, average_height REAL, stand_density INTEGER, stand_volume REAL,
  biomass_stem REAL, biomass_bark REAL, biomass_branch REAL, biomass_foliage REAL,
  biomass_root REAL, biomass_total REAL, carbon_stem REAL, carbon_bark REAL,
  carbon_branch REAL, carbon_foliage REAL, carbon_root REAL, carbon_total REAL, co2e REAL,
  PRIMARY KEY (stand_id, year));
CREATE TABLE summary (
  year INTEGER NOT NULL, species INTEGER, stands INTEGER NOT NULL, area REAL, volume REAL,
  biomass REAL, carbon REAL, co2e REAL);
CREATE TABLE rejected (line INTEGER, stand_id TEXT, "column" TEXT, reason TEXT);
CREATE TABLE run (version TEXT, started_utc TEXT, input TEXT, years TEXT);
BEGIN;
)";

// The whole projection in one SQLite database, written in one transaction.
class SqliteProjectionOutput : public ProjectionOutput {
  public:
    explicit SqliteProjectionOutput(const std::string& fileName) : file_(fileName) {
        try {
            if (sqlite3_open_v2(file_.temporaryName().c_str(), &db_, SQLITE_OPEN_READWRITE,
                                nullptr) != SQLITE_OK) {
                fail();
            }
            // A stop request ends a statement that runs long, the last COMMIT above all.
            sqlite3_progress_handler(
                db_, 1000, [](void*) { return stopRequest() != 0 ? 1 : 0; }, nullptr);
            check(sqlite3_exec(db_, schema, nullptr, nullptr, nullptr));
            stand_ = prepare("INSERT INTO stands VALUES (?,?,?,?,?,?,?,?,?,?)");
            row_ =
                prepare("INSERT INTO projection VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
            rejection_ = prepare("INSERT INTO rejected VALUES (?,?,?,?)");
        } catch (...) {
            close();
            throw;
        }
    }
    ~SqliteProjectionOutput() override { close(); }

    void addStand(const InventoryStand& s) override {
        bindText(stand_, 1, s.standId);
        sqlite3_bind_int(stand_, 2, s.species);
        if (s.siteClass) {
            sqlite3_bind_int(stand_, 3, *s.siteClass);
        } else {
            sqlite3_bind_null(stand_, 3);
        }
        sqlite3_bind_int(stand_, 4, s.standAge);
        sqlite3_bind_double(stand_, 5, s.averageDiameter);
        sqlite3_bind_double(stand_, 6, s.averageHeight);
        sqlite3_bind_int(stand_, 7, s.standDensity);
        sqlite3_bind_double(stand_, 8, s.standVolume);
        sqlite3_bind_double(stand_, 9, s.area);
        sqlite3_bind_int64(stand_, 10, s.line);
        run(stand_);
    }

    void addRow(const std::string& standId, const ProjectionRow& r) override {
        bindText(row_, 1, standId);
        sqlite3_bind_int(row_, 2, r.year);
        sqlite3_bind_int(row_, 3, r.age);
        sqlite3_bind_double(row_, 4, r.averageDiameter);
        sqlite3_bind_double(row_, 5, r.averageHeight);
        sqlite3_bind_int(row_, 6, r.standDensity);
        int column = 7;
        for (const double value :
             {r.standVolume, r.biomass.stem, r.biomass.bark, r.biomass.branch, r.biomass.foliage,
              r.biomass.root, r.biomass.stand, r.carbon.stem, r.carbon.bark, r.carbon.branch,
              r.carbon.foliage, r.carbon.root, r.carbon.stand, r.co2e}) {
            sqlite3_bind_double(row_, column++, value);
        }
        run(row_);
    }

    void addRejection(const Rejection& r) override {
        sqlite3_bind_int64(rejection_, 1, r.line);
        bindText(rejection_, 2, r.standId);
        bindText(rejection_, 3, r.column);
        bindText(rejection_, 4, r.reason);
        run(rejection_);
    }

    void complete(const std::vector<SummaryRow>& summary, const RunRecord& record) override {
        sqlite3_stmt* total = prepare("INSERT INTO summary VALUES (?,?,?,?,?,?,?,?)");
        for (const SummaryRow& s : summary) {
            sqlite3_bind_int(total, 1, s.year);
            if (s.species) {
                sqlite3_bind_int(total, 2, *s.species);
            } else {
                sqlite3_bind_null(total, 2);
            }
            sqlite3_bind_int64(total, 3, s.stands);
            sqlite3_bind_double(total, 4, s.area);
            sqlite3_bind_double(total, 5, s.volume);
            sqlite3_bind_double(total, 6, s.biomass);
            sqlite3_bind_double(total, 7, s.carbon);
            sqlite3_bind_double(total, 8, s.co2e);
            run(total);
        }
        sqlite3_finalize(total);
        sqlite3_stmt* runRow = prepare("INSERT INTO run VALUES (?,?,?,?)");
        bindText(runRow, 1, record.version);
        bindText(runRow, 2, record.startedUtc);
        bindText(runRow, 3, record.input);
        bindText(runRow, 4, record.years);
        run(runRow);
        sqlite3_finalize(runRow);
        check(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
        if (!close()) fail();
        file_.sync();
    }
    void commit() override { file_.commit(); }

    void abandon() override {
        close();
        file_.abandon();
    }

  private:
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr));
        return statement;
    }
    void bindText(sqlite3_stmt* statement, int column, const std::string& text) {
        sqlite3_bind_text(statement, column, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void run(sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (result != SQLITE_DONE) fail();
    }
    void check(int result) {
        if (result != SQLITE_OK) fail();
    }
    [[noreturn]] void fail() {
        throwIfStopRequested();  // SQLite's "interrupted" is a stop request
        file_.fail(db_ ? sqlite3_errmsg(db_) : "out of memory");
    }
    bool close() {
        for (sqlite3_stmt* statement : {stand_, row_, rejection_})
            sqlite3_finalize(statement);
        stand_ = row_ = rejection_ = nullptr;
        const bool closed = db_ == nullptr || sqlite3_close(db_) == SQLITE_OK;
        db_ = nullptr;
        return closed;
    }

    AtomicFile file_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stand_ = nullptr;
    sqlite3_stmt* row_ = nullptr;
    sqlite3_stmt* rejection_ = nullptr;
};

}  // namespace

std::string lowerExtension(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

OutputKind outputKindOf(const std::string& fileName) {
    const std::string extension = lowerExtension(fileName);
    if (extension == ".sqlite" || extension == ".db") return OutputKind::sqlite;
    if (extension == ".csv") return OutputKind::csv;
    return OutputKind::none;
}

std::unique_ptr<ProjectionOutput> openProjectionOutput(const std::string& fileName) {
    switch (outputKindOf(fileName)) {
        case OutputKind::sqlite:
            return std::make_unique<SqliteProjectionOutput>(fileName);
        case OutputKind::csv:
            return std::make_unique<CsvProjectionOutput>(fileName);
        default:
            throw OutputFileError("\"" + fileName +
                                  "\" is neither a .sqlite, .db nor a .csv file name");
    }
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    const auto slash = target_.find_last_of('/');
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    // "." + base + ".XXXXXX" must stay a valid name for a target whose name is: the base
    // is shortened, at a character's start, when it would not.
    constexpr std::size_t added = 8;
    if (base.size() + added > NAME_MAX) {
        std::size_t cut = NAME_MAX - added;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    temporary_ = directoryOf(target_) + "/." + base + ".XXXXXX";
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        fail(std::strerror(errno));
    }
    // The finished file gets the mode of the file it replaces, or that of a new file.
    struct stat existing;
    mode_t mode = 0;
    if (::stat(target_.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);
}

AtomicFile::~AtomicFile() {
    if (!committed_) abandon();
}

void AtomicFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? std::strerror(errno) : "nothing was written");
        bytes.remove_prefix(static_cast<std::size_t>(n));
        written_ += static_cast<std::size_t>(n);
    }
    // The disk starts on what has been written while the rest is computed, so that the
    // flush before the rename has little left to wait for.
    if (written_ - started_ >= (8u << 20)) {
        ::sync_file_range(fd_, static_cast<off_t>(started_),
                          static_cast<off_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
        started_ = written_;
    }
}

void AtomicFile::sync() {
    if (synced_) return;
    if (fd_ < 0) fd_ = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 || ::fsync(fd_) != 0) fail(std::strerror(errno));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail(std::strerror(errno));
    synced_ = true;
}

void AtomicFile::commit() {
    sync();
    // The flush can take long; a stop requested meanwhile still keeps the earlier file.
    throwIfStopRequested();
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(std::strerror(errno));
    committed_ = true;
    // The new name is made durable too.
    const int directory = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

void AtomicFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
    temporary_.clear();
}

void AtomicFile::fail(const std::string& reason) const {
    throw OutputFileError("cannot write \"" + target_ + "\": " + reason);
}

}  // namespace arbora
