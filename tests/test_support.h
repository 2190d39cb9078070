#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_channel.h"
#include "run/inventory_run.h"

namespace arbora::testing {

// Whether this build runs under AddressSanitizer, which reserves terabytes of address
// space for its shadow memory at start: a limit on the address space cannot apply then.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

// Runs each test in a fresh empty working directory, where report files land.
class InTempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "arbora-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }
    std::filesystem::path dir_;

  private:
    std::filesystem::path previous_;
};

// The rows a query returns, each as its values' texts joined by "|".
inline std::vector<std::string> query(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::vector<std::string> rows;
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int n, char** values, char**) {
            std::string row;
            for (int i = 0; i < n; ++i)
                row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
            static_cast<std::vector<std::string>*>(out)->push_back(row);
            return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows;
}

// The rows of a query, values joined by "|", each REAL as the hexadecimal of its bits so
// that equal texts mean equal doubles.
inline std::vector<std::string> rowsOf(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    std::vector<std::string> rows;
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            row += i ? "|" : "";
            if (sqlite3_column_type(statement, i) == SQLITE_FLOAT) {
                char bits[24];
                std::snprintf(bits, sizeof bits, "%016llx",
                              static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(
                                  sqlite3_column_double(statement, i))));
                row += bits;
            } else if (const auto* text = sqlite3_column_text(statement, i)) {
                row += reinterpret_cast<const char*>(text);
            } else {
                row += "NULL";
            }
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The inventory command run in this process: its exit status and what it printed.
struct InventoryOutcome {
    int status = 0;
    std::string out, err;
};

inline InventoryOutcome runInventoryHere(const InventoryOptions& options) {
    std::ostringstream out, err;
    InventoryRun run;
    const int status = runInventory(options, out, err, run);
    return {status, out.str(), err.str()};
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of a report file, each without its CR LF; fails the test if a line is
// not ended by CR LF.
inline std::vector<std::string> fileLines(const std::filesystem::path& path) {
    const std::string bytes = readBytes(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << path << ": bytes after the last CR LF";
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Each report command, by its runner name, with the report file it writes, in the
// order of the command catalogue.
struct ReportShape {
    std::string_view command;
    std::string_view fileName;
};

constexpr ReportShape reportShapes[] = {
    {"normal-yield-table", "normal stand yield table.txt"},
    {"site-index-table", "site index table.txt"},
    {"standard-volume-table", "standard volume table.txt"},
    {"merchantable-volume-table", "merchantable volume table.txt"},
    {"biomass-table", "biomass table.txt"},
    {"growth-and-yield", "Sim1.txt"},
    {"biomass-and-carbon", "Sim2.txt"},
};

inline std::string reportFileOf(std::string_view command) {
    for (const auto& shape : reportShapes) {
        if (shape.command == command) return std::string(shape.fileName);
    }
    ADD_FAILURE() << "no report command " << command;
    return {};
}

// A channel whose screen lines are recorded, and a record of every line in the order
// the two sinks received it ("S:" screen, "F:" file, as seen after each file write).
struct RecordedScreen {
    std::vector<std::string> lines;
    ScreenSink sink() {
        return [this](std::string_view line) { lines.emplace_back(line); };
    }
};

}  // namespace arbora::testing
