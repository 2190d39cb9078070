#include "inventory/projection_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <system_error>
#include <type_traits>

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
        const int fd = ::open(main.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        for (const std::string& path : paths) {
            struct stat status;
            if (held || ::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
                status.st_mtime > dayAgo)
                continue;
            ::unlink(path.c_str());
        }
        if (fd >= 0) ::close(fd);
    }
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

// The tables every SQLite output holds.
constexpr OutputColumn standsColumns[] = {
    {"stand_id", OutputType::text, true},
    {"species", OutputType::integer, true},
    {"site_class", OutputType::integer},
    {"stand_age", OutputType::integer, true},
    {"average_diameter", OutputType::real, true},
    {"average_height", OutputType::real, true},
    {"stand_density", OutputType::integer, true},
    {"stand_volume", OutputType::real, true},
    {"area", OutputType::real, true},
    {"line", OutputType::integer, true},
    {"output_class", OutputType::integer},
};
constexpr OutputTable standsTable{"stands", standsColumns, "stand_id"};

constexpr OutputColumn projectionColumns[] = {
    {"scenario", OutputType::text, true},   {"stand_id", OutputType::text, true},
    {"year", OutputType::integer, true},    {"age", OutputType::integer, true},
    {"species", OutputType::integer, true}, {"average_diameter", OutputType::real},
    {"average_height", OutputType::real},   {"stand_density", OutputType::integer},
    {"stand_volume", OutputType::real},     {"biomass_stem", OutputType::real},
    {"biomass_bark", OutputType::real},     {"biomass_branch", OutputType::real},
    {"biomass_foliage", OutputType::real},  {"biomass_root", OutputType::real},
    {"biomass_total", OutputType::real},    {"carbon_stem", OutputType::real},
    {"carbon_bark", OutputType::real},      {"carbon_branch", OutputType::real},
    {"carbon_foliage", OutputType::real},   {"carbon_root", OutputType::real},
    {"carbon_total", OutputType::real},     {"co2e", OutputType::real},
};
constexpr OutputTable projectionTable{"projection", projectionColumns, "scenario, stand_id, year"};

constexpr OutputColumn summaryColumns[] = {
    {"scenario", OutputType::text, true},
    {"year", OutputType::integer, true},
    {"species", OutputType::integer},
    {"stands", OutputType::integer, true},
    {"area", OutputType::real},
    {"volume", OutputType::real},
    {"biomass", OutputType::real},
    {"carbon", OutputType::real},
    {"co2e", OutputType::real},
    {"removed_volume", OutputType::real},
    {"removed_carbon", OutputType::real},
    {"removed_co2e", OutputType::real},
    {"products_carbon", OutputType::real},
};
constexpr OutputTable summaryTable{"summary", summaryColumns};

constexpr OutputColumn comparisonColumns[] = {
    {"scenario", OutputType::text, true},
    {"year", OutputType::integer, true},
    {"carbon", OutputType::real},
    {"co2e", OutputType::real},
    {"cumulative_removed_carbon", OutputType::real},
    {"carbon_difference", OutputType::real},
    {"co2e_difference", OutputType::real},
    {"cumulative_removed_carbon_difference", OutputType::real},
    {"products_carbon", OutputType::real},
    {"carbon_with_products_difference", OutputType::real},
};
constexpr OutputTable comparisonTable{"comparison", comparisonColumns};

constexpr OutputColumn rejectedColumns[] = {
    {"line", OutputType::integer}, {"stand_id", OutputType::text}, {"column", OutputType::text},
    {"reason", OutputType::text},  {"file", OutputType::text},
};
constexpr OutputTable rejectedTable{"rejected", rejectedColumns};

constexpr OutputColumn runColumns[] = {
    {"version", OutputType::text},
    {"started_utc", OutputType::text},
    {"input", OutputType::text},
    {"years", OutputType::text},
};

// The values of a projection row after its scenario and stand id, in column order.
std::array<OutputValue, 20> projectionValues(const ProjectionRow& r) {
    return {std::int64_t{r.year},    std::int64_t{r.age},
            std::int64_t{r.species}, r.averageDiameter,
            r.averageHeight,         std::int64_t{r.standDensity},
            r.standVolume,           r.biomass.stem,
            r.biomass.bark,          r.biomass.branch,
            r.biomass.foliage,       r.biomass.root,
            r.biomass.stand,         r.carbon.stem,
            r.carbon.bark,           r.carbon.branch,
            r.carbon.foliage,        r.carbon.root,
            r.carbon.stand,          r.co2e};
}

// The projection table as CSV: UTF-8, a header row, CR LF line ends. Numbers are
// written in full binary64 precision, as the shortest text that reads back to the
// same double.
class CsvProjectionOutput : public ProjectionOutput {
  public:
    CsvProjectionOutput(const std::string& fileName, bool byteOrderMark)
        : file_(fileName), buffer_(bufferSize) {
        std::string header = byteOrderMark ? "\xEF\xBB\xBF" : "";
        for (const OutputColumn& column : projectionColumns)
            header += (&column == projectionColumns ? "" : ",") + std::string(column.name);
        header += "\r\n";
        used_ = static_cast<std::size_t>(std::copy(header.begin(), header.end(), buffer_.data()) -
                                         buffer_.data());
    }

    void addStand(const InventoryStand&) override {}
    void addRejection(const Rejection&) override {}
    void addTableRow(const OutputTable&, std::span<const OutputValue>) override {}

    void addRow(std::string_view scenario, const std::string& standId,
                const ProjectionRow& row) override {
        const std::size_t most = mostRowSize(scenario, standId);
        if (buffer_.size() - used_ < most) {
            flush();
            if (buffer_.size() < most) buffer_.resize(most);
        }
        used_ = static_cast<std::size_t>(writeRow(buffer_.data() + used_, scenario, standId, row) -
                                         buffer_.data());
    }

    bool formatsRows() const override { return true; }

    void formatRows(TextBuffer& into, std::string_view scenario, const std::string& standId,
                    std::span<const ProjectionRow> rows) const override {
        // The scenario and the stand id are the same on every row: quoted for the first,
        // copied from it for the others.
        if (rows.empty()) return;
        char* to = into.room(rows.size() * mostRowSize(scenario, standId));
        const char* const key = to;
        to = writeKey(to, scenario, standId);
        const auto keyLength = static_cast<std::size_t>(to - key);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i > 0) to = std::copy_n(key, keyLength, to);
            to = writeRow(to, rows[i]);
        }
        into.grew(to);
    }

    void addFormatted(std::string_view text) override {
        if (text.size() >= bufferSize / 4) {  // a batch of stands: written as it is
            flush();
            return file_.write(text);
        }
        if (buffer_.size() - used_ < text.size()) {
            flush();
            if (buffer_.size() < text.size()) return file_.write(text);
        }
        std::copy(text.begin(), text.end(), buffer_.data() + used_);
        used_ += text.size();
    }

    void complete(const std::vector<SummaryRow>&, const std::vector<ComparisonRow>&,
                  const RunRecord&) override {
        flush();
        file_.sync();
    }
    void commit() override { file_.commit(); }
    AtomicFile* file() override { return &file_; }
    void abandon() override { file_.abandon(); }

  private:
    static constexpr std::size_t bufferSize = 1 << 20;

    // The most characters one row can take.
    static std::size_t mostKeySize(std::string_view scenario, std::string_view standId) {
        return 2 * (scenario.size() + standId.size()) + 7;
    }
    static std::size_t mostRowSize(std::string_view scenario, std::string_view standId) {
        return mostKeySize(scenario, standId) + 21 * (shortestTextSize + 1) + 2;
    }

    // Writes a row's first two fields, the scenario and the stand id; returns their end.
    static char* writeKey(char* to, std::string_view scenario, std::string_view standId) {
        to = writeTextField(to, scenario);
        *to++ = ',';
        return writeTextField(to, standId);
    }

    // Writes one row at `to`; returns its end.
    static char* writeRow(char* to, std::string_view scenario, std::string_view standId,
                          const ProjectionRow& row) {
        return writeRow(writeKey(to, scenario, standId), row);
    }

    // Writes the rest of a row after its first two fields; returns its end.
    static char* writeRow(char* to, const ProjectionRow& row) {
        // Each run of doubles between the whole numbers is written in one go.
        const auto values = projectionValues(row);
        std::array<double, std::tuple_size_v<decltype(values)>> doubles;
        for (std::size_t i = 0; i < values.size();) {
            *to++ = ',';
            if (const auto* whole = std::get_if<std::int64_t>(&values[i])) {
                to = writeNumber(to, *whole);
                ++i;
                continue;
            }
            std::size_t count = 0;
            for (; i < values.size() && std::holds_alternative<double>(values[i]); ++i)
                doubles[count++] = std::get<double>(values[i]);
            to = writeShortestRow(to, std::span(doubles.data(), count), ',');
        }
        *to++ = '\r';
        *to++ = '\n';
        return to;
    }

    void flush() {
        if (used_ == 0) return;
        file_.write(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }

    AtomicFile file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

std::string_view sqlType(OutputType type) {
    switch (type) {
        case OutputType::integer:
            return "INTEGER";
        case OutputType::real:
            return "REAL";
        default:
            return "TEXT";
    }
}

// "CREATE TABLE name (a TEXT NOT NULL, ..., PRIMARY KEY (...));"
std::string createTable(std::string_view name, std::span<const OutputColumn> columns,
                        std::string_view primaryKey) {
    std::string sql = "CREATE TABLE " + std::string(name) + " (";
    for (const OutputColumn& column : columns) {
        sql += (&column == columns.data() ? "\"" : ", \"") + std::string(column.name) + "\" " +
               std::string(sqlType(column.type)) + (column.notNull ? " NOT NULL" : "");
    }
    if (!primaryKey.empty()) sql += ", PRIMARY KEY (" + std::string(primaryKey) + ")";
    return sql + ");\n";
}

constexpr const char* settings = R"(
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;
PRAGMA locking_mode = EXCLUSIVE;
)";

// The whole projection in one SQLite database, written in one transaction.
class SqliteProjectionOutput : public ProjectionOutput {
  public:
    SqliteProjectionOutput(const std::string& fileName,
                           std::span<const OutputTable* const> furtherTables)
        : file_(fileName) {
        try {
            // One thread uses the connection: SQLite's own locking would only cost.
            if (sqlite3_open_v2(file_.temporaryName().c_str(), &db_,
                                SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                nullptr) != SQLITE_OK) {
                fail();
            }
            // A stop request ends a statement that runs long, the last COMMIT above all.
            sqlite3_progress_handler(
                db_, 1000, [](void*) { return stopRequest() != 0 ? 1 : 0; }, nullptr);
            std::string schema = settings;
            for (const OutputTable* table : {&standsTable, &projectionTable, &summaryTable,
                                             &comparisonTable, &rejectedTable}) {
                schema += createTable(table->name, table->columns, table->primaryKey);
            }
            for (const OutputTable* table : furtherTables)
                schema += createTable(table->name, table->columns, table->primaryKey);
            schema += "BEGIN;\n";
            check(sqlite3_exec(db_, schema.c_str(), nullptr, nullptr, nullptr));
        } catch (...) {
            close();
            throw;
        }
    }
    ~SqliteProjectionOutput() override { close(); }

    void addStand(const InventoryStand& s) override {
        const auto optional = [](const std::optional<std::int32_t>& v) -> OutputValue {
            if (!v) return std::monostate{};
            return std::int64_t{*v};
        };
        const OutputValue values[] = {
            std::string_view(s.standId),  std::int64_t{s.species}, optional(s.siteClass),
            std::int64_t{s.standAge},     s.averageDiameter,       s.averageHeight,
            std::int64_t{s.standDensity}, s.standVolume,           s.area,
            std::int64_t{s.line},         optional(s.outputClass)};
        insert(standsTable, values);
    }

    void addRow(std::string_view scenario, const std::string& standId,
                const ProjectionRow& r) override {
        sqlite3_stmt* statement = statementFor(projectionTable);
        bind(statement, 1, scenario);
        bind(statement, 2, std::string_view(standId));
        int column = 3;
        for (const OutputValue& value : projectionValues(r))
            bind(statement, column++, value);
        run(statement);
    }

    void addRejection(const Rejection& r) override {
        const OutputValue values[] = {std::int64_t{r.line}, std::string_view(r.standId),
                                      std::string_view(r.column), std::string_view(r.reason),
                                      std::string_view(r.file)};
        insert(rejectedTable, values);
    }

    void addTableRow(const OutputTable& table, std::span<const OutputValue> values) override {
        insert(table, values);
    }

    void complete(const std::vector<SummaryRow>& summary,
                  const std::vector<ComparisonRow>& comparison, const RunRecord& record) override {
        for (const SummaryRow& s : summary) {
            const OutputValue values[] = {
                std::string_view(s.scenario),
                std::int64_t{s.year},
                s.species ? OutputValue{std::int64_t{*s.species}} : OutputValue{},
                std::int64_t{s.stands},
                s.area,
                s.volume,
                s.biomass,
                s.carbon,
                s.co2e,
                s.removedVolume,
                s.removedCarbon,
                s.removedCo2e,
                s.productsCarbon ? OutputValue{*s.productsCarbon} : OutputValue{}};
            insert(summaryTable, values);
        }
        for (const ComparisonRow& c : comparison) {
            const OutputValue values[] = {std::string_view(c.scenario),
                                          std::int64_t{c.year},
                                          c.carbon,
                                          c.co2e,
                                          c.cumulativeRemovedCarbon,
                                          c.carbonDifference,
                                          c.co2eDifference,
                                          c.cumulativeRemovedCarbonDifference,
                                          c.productsCarbon,
                                          c.carbonWithProductsDifference};
            insert(comparisonTable, values);
        }
        writeRun(record);
        check(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
        if (!close()) fail();
        file_.sync();
    }
    void commit() override { file_.commit(); }
    AtomicFile* file() override { return &file_; }

    void abandon() override {
        close();
        file_.abandon();
    }

  private:
    // The run: its fixed columns, then one column per parameter.
    void writeRun(const RunRecord& record) {
        std::vector<OutputColumn> columns(std::begin(runColumns), std::end(runColumns));
        std::vector<OutputValue> values = {
            std::string_view(record.version), std::string_view(record.startedUtc),
            std::string_view(record.input), std::string_view(record.years)};
        for (const auto& [name, value] : record.parameters) {
            OutputType type = OutputType::text;
            if (std::holds_alternative<std::int64_t>(value)) type = OutputType::integer;
            if (std::holds_alternative<double>(value)) type = OutputType::real;
            columns.push_back({name, type});
            values.push_back(std::visit(
                [](const auto& v) -> OutputValue {
                    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
                        return std::string_view(v);
                    } else {
                        return v;
                    }
                },
                value));
        }
        check(
            sqlite3_exec(db_, createTable("run", columns, {}).c_str(), nullptr, nullptr, nullptr));
        const OutputTable run{"run", columns};
        insert(run, values);
    }

    sqlite3_stmt* statementFor(const OutputTable& table) {
        sqlite3_stmt*& statement = statements_[std::string(table.name)];
        if (statement == nullptr) {
            std::string sql = "INSERT INTO " + std::string(table.name) + " VALUES (";
            for (std::size_t i = 0; i < table.columns.size(); ++i)
                sql += i == 0 ? "?" : ",?";
            check(sqlite3_prepare_v2(db_, (sql + ")").c_str(), -1, &statement, nullptr));
        }
        return statement;
    }
    void insert(const OutputTable& table, std::span<const OutputValue> values) {
        if (values.size() != table.columns.size()) {
            throw std::logic_error("a row of " + std::string(table.name) + " has " +
                                   std::to_string(values.size()) + " values for " +
                                   std::to_string(table.columns.size()) + " columns");
        }
        sqlite3_stmt* statement = statementFor(table);
        int column = 1;
        for (const OutputValue& value : values)
            bind(statement, column++, value);
        run(statement);
    }
    void bind(sqlite3_stmt* statement, int column, const OutputValue& value) {
        if (const auto* whole = std::get_if<std::int64_t>(&value)) {
            sqlite3_bind_int64(statement, column, *whole);
        } else if (const auto* real = std::get_if<double>(&value)) {
            sqlite3_bind_double(statement, column, *real);
        } else if (const auto* text = std::get_if<std::string_view>(&value)) {
            // Not copied: every row binds all of its columns and is stepped before the
            // text it was given can go (two copies a projection row cost a tenth of the
            // run).
            sqlite3_bind_text(statement, column, text->data(), static_cast<int>(text->size()),
                              SQLITE_STATIC);
        } else {
            sqlite3_bind_null(statement, column);
        }
    }
    void run(sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (result != SQLITE_DONE) fail();
        // SQLite writes pages out of its cache as the transaction grows; they are made
        // durable as they come (see BackgroundFlush), looked at a few thousand rows apart.
        if (++rowsRun_ % 4096 == 0) file_.fileGrew();
    }
    void check(int result) {
        if (result != SQLITE_OK) fail();
    }
    [[noreturn]] void fail() {
        throwIfStopRequested();  // SQLite's "interrupted" is a stop request
        file_.fail(db_ ? sqlite3_errmsg(db_) : "out of memory");
    }
    bool close() {
        for (auto& [name, statement] : statements_)
            sqlite3_finalize(statement);
        statements_.clear();
        const bool closed = db_ == nullptr || sqlite3_close(db_) == SQLITE_OK;
        db_ = nullptr;
        return closed;
    }

    AtomicFile file_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;  // INSERT of each table
    std::uint64_t rowsRun_ = 0;
};

}  // namespace

void TextBuffer::grow(std::size_t least) {
    const std::size_t capacity = std::max(least, 2 * capacity_);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    std::copy(data_.get(), data_.get() + size_, data.get());
    data_ = std::move(data);
    capacity_ = capacity;
}

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

std::unique_ptr<ProjectionOutput> openProjectionOutput(
    const std::string& fileName, std::span<const OutputTable* const> furtherTables,
    bool byteOrderMark) {
    switch (outputKindOf(fileName)) {
        case OutputKind::sqlite:
            return std::make_unique<SqliteProjectionOutput>(fileName, furtherTables);
        case OutputKind::csv:
            return std::make_unique<CsvProjectionOutput>(fileName, byteOrderMark);
        default:
            throw OutputFileError("\"" + fileName +
                                  "\" is neither a .sqlite, .db nor a .csv file name");
    }
}

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
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        fail(std::strerror(errno));
    }
    // Held while the run lives, so that another run leaves the file alone.
    ::flock(fd_, LOCK_EX | LOCK_NB);
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
    grown(written_);
}

void AtomicFile::fileGrew() {
    struct stat status;
    if (fd_ >= 0 && ::fstat(fd_, &status) == 0) grown(static_cast<std::size_t>(status.st_size));
}

void AtomicFile::grown(std::size_t size) {
    if (!flush_ && size >= flushEvery_ && fd_ >= 0) {
        try {
            flush_ = std::make_unique<BackgroundFlush>(fd_, flushEvery_);
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
    const int directory = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
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
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
    temporary_.clear();
}

void AtomicFile::fail(const std::string& reason) const {
    throw OutputFileError("cannot write \"" + target_ + "\": " + reason);
}

}  // namespace arbora
