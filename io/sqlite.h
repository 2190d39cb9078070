#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>

// SQLite's handles, each owned by one std::unique_ptr that closes it, and the few calls
// the readers and writers make with them, which give SQLite's result code as SQLite's
// own functions do.
namespace arbora {

// A connection whose statements are not all finalized yet is closed when the last is.
struct CloseSqliteDatabase {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct FinalizeSqliteStatement {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
// A connection; its statements must go first.
using SqliteDatabase = std::unique_ptr<sqlite3, CloseSqliteDatabase>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, FinalizeSqliteStatement>;

// Opens a database with sqlite3_open_v2's flags. `db` holds the connection even when the
// open fails, so that it can tell why; it is null only when SQLite had no memory for one.
int openSqlite(const std::string& fileName, int flags, SqliteDatabase& db);
// Prepares one statement; `statement` is null when it fails.
int prepareSqlite(sqlite3* db, std::string_view sql, SqliteStatement& statement);
// Closes the connection, whose statements must be finalized first; false when SQLite
// refuses (a statement is still open), and `db` keeps the connection to tell why.
bool closeSqlite(SqliteDatabase& db);
// Why the connection's last call failed; "out of memory" without a connection.
const char* sqliteMessage(sqlite3* db);

// How a text is bound: `copied` when it may go before the statement is stepped.
enum class SqliteText { copied, kept };
void bindSqliteText(sqlite3_stmt* statement, int column, std::string_view text, SqliteText how);
// A column of the current row as text (empty for NULL).
std::string_view sqliteColumnText(sqlite3_stmt* statement, int column);

}  // namespace arbora
