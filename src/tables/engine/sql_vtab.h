// The SQLite side of the local SQL: a connection per database directory in which every table
// the queries name is a virtual table of the module "pulpex_dbf", reading the engine's table
// files in place.
//
// Virtual tables live in the temp schema of an in-memory database and hold no files open
// between statements: each SQLite cursor opens its own read-only Table, so an idle connection
// never stands in the way of an exclusive open elsewhere. Columns are declared so that
// sqlite3_column_decltype tells the source type while the affinity stays harmless:
//   integer "INTEGER", float "REAL", string "TEXT COLLATE PL", logical "BOOL TEXT COLLATE
//   NOCASE" ('TRUE' / 'FALSE', NULL when unknown), date "DATE TEXT" ('YYYY-MM-DD'), date-time
//   "DATETIME TEXT" ('YYYY-MM-DD HH:MM:SS'), memo "MEMO TEXT", graphic "BLOB".
// Blank numbers, dates and logicals are NULL; blank strings and memos are ''.
//
// Equality (and, where a tag allows it, range) constraints on a field that one of the table's
// tags serves become index ranges on that tag; SQLite still checks every row it gets, so an
// index range only has to hold all matching rows.
//
// A connection belongs to the thread that made it (SqlConnection::forDirectory keeps one per
// directory and thread).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pulpex::engine {

// The "PL" collation: Polish letter order (a ą b c ć d e ę … l ł … n ń o ó … s ś … z ź ż),
// upper case before lower case as in BINARY, other characters by code point; equal weights
// are decided bytewise, so only identical strings compare equal.
int comparePolish(std::string_view a, std::string_view b);

struct SqliteStmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const;
};
using SqliteStmtPtr = std::unique_ptr<sqlite3_stmt, SqliteStmtFinalizer>;

class SqlConnection {
  public:
    // Work done by the virtual tables of one table, for diagnostics and tests.
    struct ScanStats {
        std::uint64_t cursors = 0;     // SQLite cursors opened (one Table open each)
        std::uint64_t fullScans = 0;   // scans in physical order
        std::uint64_t indexScans = 0;  // index ranges (one per lookup in a join)
        std::uint64_t rowsRead = 0;    // rows handed to SQLite
    };

    // This thread's connection for `dir`, made on first use (or when the previous one went
    // stale).
    static std::shared_ptr<SqlConnection> forDirectory(const std::string& dir);
    // Forgets this thread's connections; queries that are open keep theirs until they close.
    static void releaseAll();

    explicit SqlConnection(std::string dir);
    ~SqlConnection();
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    const std::string& directory() const;
    sqlite3* handle() const;

    // Creates the virtual table of every named table whose file exists in the directory and
    // has none yet. Names without a file are left to SQLite ("no such table").
    void attachTables(const std::vector<std::string>& names);

    // A prepared statement for one SQLite statement: an idle one from the cache or a new one.
    // Throws EDatabaseError with SQLite's message on a syntax error or unknown name.
    SqliteStmtPtr acquire(const std::string& sql);
    // Resets the statement (closing its table cursors) and keeps it for the next acquire.
    void release(const std::string& sql, SqliteStmtPtr stmt);

    // True once a table file's layout (fields or tags) was found to differ from its virtual
    // table; forDirectory then hands out a new connection.
    bool stale() const;

    // Compares the files of the named tables that have virtual tables with those tables'
    // layouts; on a difference (or a vanished file) marks the connection stale and returns
    // true. For use after an error: a statement naming a field that a restructured table has
    // gained fails before any cursor could notice.
    bool checkLayouts(const std::vector<std::string>& names);

    // The field behind a column of one of the connection's virtual tables; nullptr when the
    // table or column is unknown.
    const FieldInfo* fieldOf(std::string_view table, std::string_view column) const;

    ScanStats stats(std::string_view table) const;
    void resetStats();

    struct Impl;

  private:
    std::unique_ptr<Impl> d;
};

}  // namespace pulpex::engine
