#include "io/sqlite.h"

namespace arbora {

int openSqlite(const std::string& fileName, int flags, SqliteDatabase& db) {
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(fileName.c_str(), &opened, flags, nullptr);
    db.reset(opened);
    return result;
}

int prepareSqlite(sqlite3* db, std::string_view sql, SqliteStatement& statement) {
    sqlite3_stmt* prepared = nullptr;
    const int result =
        sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &prepared, nullptr);
    statement.reset(prepared);
    return result;
}

bool closeSqlite(SqliteDatabase& db) {
    if (db == nullptr || sqlite3_close(db.get()) == SQLITE_OK) {
        db.release();
        return true;
    }
    return false;
}

const char* sqliteMessage(sqlite3* db) {
    return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

void bindSqliteText(sqlite3_stmt* statement, int column, std::string_view text, SqliteText how) {
    sqlite3_bind_text(statement, column, text.data(), static_cast<int>(text.size()),
                      how == SqliteText::copied ? SQLITE_TRANSIENT : SQLITE_STATIC);
}

std::string_view sqliteColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (text == nullptr) return {};
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

}  // namespace arbora
