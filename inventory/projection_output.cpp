#include "inventory/projection_output.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <type_traits>

#include "inventory/number_text.h"
#include "inventory/stand_columns.h"
#include "io/sqlite.h"
#include "io/stop_request.h"

namespace arbora {
namespace {

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
    {"npv_with_liquidation", OutputType::real},
    {"npv_with_liquidation_difference", OutputType::real},
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
            if (openSqlite(file_.temporaryName(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                           db_) != SQLITE_OK) {
                fail();
            }
            // A stop request ends a statement that runs long, the last COMMIT above all.
            sqlite3_progress_handler(
                db_.get(), 1000, [](void*) { return stopRequest() != 0 ? 1 : 0; }, nullptr);
            std::string schema = settings;
            for (const OutputTable* table : {&standsTable, &projectionTable, &summaryTable,
                                             &comparisonTable, &rejectedTable}) {
                schema += createTable(table->name, table->columns, table->primaryKey);
            }
            for (const OutputTable* table : furtherTables)
                schema += createTable(table->name, table->columns, table->primaryKey);
            schema += "BEGIN;\n";
            check(sqlite3_exec(db_.get(), schema.c_str(), nullptr, nullptr, nullptr));
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
                                      std::string_view(r.column), std::string_view(r.message),
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
            const OutputValue values[] = {
                std::string_view(c.scenario),
                std::int64_t{c.year},
                c.carbon,
                c.co2e,
                c.cumulativeRemovedCarbon,
                c.carbonDifference,
                c.co2eDifference,
                c.cumulativeRemovedCarbonDifference,
                c.productsCarbon,
                c.carbonWithProductsDifference,
                c.npvWithLiquidation ? OutputValue{*c.npvWithLiquidation} : OutputValue{},
                c.npvWithLiquidationDifference ? OutputValue{*c.npvWithLiquidationDifference}
                                               : OutputValue{}};
            insert(comparisonTable, values);
        }
        writeRun(record);
        check(sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr));
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
        check(sqlite3_exec(db_.get(), createTable("run", columns, {}).c_str(), nullptr, nullptr,
                           nullptr));
        const OutputTable run{"run", columns};
        insert(run, values);
    }

    sqlite3_stmt* statementFor(const OutputTable& table) {
        SqliteStatement& statement = statements_[std::string(table.name)];
        if (statement == nullptr) {
            std::string sql = "INSERT INTO " + std::string(table.name) + " VALUES (";
            for (std::size_t i = 0; i < table.columns.size(); ++i)
                sql += i == 0 ? "?" : ",?";
            check(prepareSqlite(db_.get(), sql + ")", statement));
        }
        return statement.get();
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
            bindSqliteText(statement, column, *text, SqliteText::kept);
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
        file_.fail(sqliteMessage(db_.get()));
    }
    bool close() {
        statements_.clear();
        return closeSqlite(db_);
    }

    AtomicFile file_;
    SqliteDatabase db_;
    std::map<std::string, SqliteStatement> statements_;  // INSERT of each table, closed first
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

}  // namespace arbora
