#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "inventory/projection_output.h"
#include "io/atomic_file.h"
#include "io/descriptors.h"
#include "io/sqlite.h"
#include "test_support.h"

namespace arbora::io_test {
namespace {

// A system call is made again after EINTR only: any other failure, and any success, is
// given back as it came.
TEST(Descriptors, OnlyAnInterruptedCallIsMadeAgain) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> outcomes;  // result, errno of each call
        int result;
        std::size_t calls;
    };
    const Case cases[] = {
        {"done at once", {{7, 0}}, 7, 1},
        {"interrupted twice", {{-1, EINTR}, {-1, EINTR}, {0, 0}}, 0, 3},
        {"failed otherwise", {{-1, EIO}, {5, 0}}, -1, 1},
        {"interrupted, then failed", {{-1, EINTR}, {-1, ENOSPC}, {5, 0}}, -1, 2},
    };
    for (const Case& c : cases) {
        std::size_t calls = 0;
        const int result = retryInterrupted([&] {
            const auto [value, error] = c.outcomes[calls++];
            errno = error;
            return value;
        });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(calls, c.calls) << c.name;
    }
}

class IoFailures : public testing::InTempDir {};

// Every way an output file fails names the file and says why, as SQLite or the system
// tells it.
TEST_F(IoFailures, EveryFailureNamesTheFileAndTheReason) {
    constexpr OutputColumn column[] = {{"x", OutputType::integer}};
    const OutputTable secondStands{"stands", column};
    const OutputTable* const clash[] = {&secondStands};
    struct Case {
        const char* name;
        std::function<void()> write;
        std::string message;
    };
    const Case cases[] = {
        {"a device", [] { AtomicFile("/dev/null"); },
         "cannot write \"/dev/null\": is not a regular file"},
        {"a missing folder", [] { AtomicFile("missing/out.csv"); },
         "cannot write \"missing/out.csv\": No such file or directory"},
        {"an unknown kind", [] { openProjectionOutput("out.txt"); },
         "\"out.txt\" is neither a .sqlite, .db nor a .csv file name"},
        {"a table made twice", [&] { openProjectionOutput("out.sqlite", clash); },
         "cannot write \"out.sqlite\": table stands already exists"},
        {"a stand written twice",
         [] {
             const auto output = openProjectionOutput("out.sqlite");
             InventoryStand stand;
             stand.standId = "A";
             output->addStand(stand);
             output->addStand(stand);
         },
         "cannot write \"out.sqlite\": UNIQUE constraint failed: stands.stand_id"},
    };
    for (const Case& c : cases) {
        try {
            c.write();
            ADD_FAILURE() << c.name << ": no failure";
        } catch (const OutputFileError& e) {
            EXPECT_EQ(e.what(), c.message) << c.name;
        }
        EXPECT_TRUE(std::filesystem::is_empty(".")) << c.name << ": a file is left";
    }
}

// SQLite's refusals are told by the connection, which stays open to tell them.
TEST_F(IoFailures, SqliteRefusalsAreToldByTheConnection) {
    SqliteDatabase db;
    EXPECT_EQ(openSqlite("missing/x.db", SQLITE_OPEN_READONLY, db), SQLITE_CANTOPEN);
    EXPECT_STREQ(sqliteMessage(db.get()), "unable to open database file");

    ASSERT_EQ(openSqlite(":memory:", SQLITE_OPEN_READWRITE, db), SQLITE_OK);
    SqliteStatement statement;
    EXPECT_EQ(prepareSqlite(db.get(), "SELEC 1", statement), SQLITE_ERROR);
    EXPECT_EQ(statement, nullptr);
    EXPECT_STREQ(sqliteMessage(db.get()), "near \"SELEC\": syntax error");

    ASSERT_EQ(prepareSqlite(db.get(), "SELECT 1", statement), SQLITE_OK);
    EXPECT_FALSE(closeSqlite(db));
    ASSERT_NE(db, nullptr);
    EXPECT_STREQ(sqliteMessage(db.get()),
                 "unable to close due to unfinalized statements or unfinished backups");
    statement.reset();
    EXPECT_TRUE(closeSqlite(db));
    EXPECT_EQ(db, nullptr);
}

}  // namespace
}  // namespace arbora::io_test
