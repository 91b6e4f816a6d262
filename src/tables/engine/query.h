// A read-only query over the tables of one database directory, written in the program's SQL
// dialect (see sql_dialect.h) and run by SQLite through the pulpex_dbf virtual tables.
//
//   Query q(dir);
//   q.sql() = {"select ZD_NMR, ZD_DAT from ZDARZ", "where ZD_ADR = :adr", "order by ZD_DAT"};
//   q.setParam("adr", std::int64_t{7});
//   q.open();
//   for (q.first(); !q.eof(); q.next()) use(q.asString(0), q.asDate("ZD_DAT"));
//
// Rows are fetched as navigation needs them and kept, so prior(), last() and bookmarks (row
// numbers, 1-based) work; recordCount() fetches the rest. The result reflects the tables as
// they were when the rows were read: reopen to see later changes. Fields are named as in the
// select list (the alias, or the column name as written; a repeated name gets "_1", "_2"...);
// their types come from the columns' source fields, for expressions from the first value.
//
// Errors (syntax, unknown table or field, a missing parameter, a bad date) throw
// EDatabaseError with a Polish message; SQLite's own message is included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cursor.h"
#include "value.h"

namespace pulpex::engine {

class SqlConnection;

class Query final : public Cursor {
  public:
    explicit Query(std::string databaseDir);
    ~Query() override;
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const std::string& databaseDir() const { return dir_; }

    // The statement as lines; open() joins them with "\n".
    std::vector<std::string>& sql() { return sql_; }
    const std::vector<std::string>& sql() const { return sql_; }
    // Replaces the lines by `text` split at its line breaks. Closes an open query.
    void setSql(std::string text);
    std::string sqlText() const;

    // The value of parameter :name (case-insensitive; a leading ':' is allowed). Strings bind
    // as text, booleans as 'TRUE' / 'FALSE', dates as 'YYYY-MM-DD', monostate as NULL.
    // Parameters persist across open() calls.
    void setParam(std::string_view name, Value value);
    void clearParams();

    void open();
    void close();
    bool isOpen() const { return open_; }

    // --- Cursor
    using Cursor::asBoolean;
    using Cursor::asDate;
    using Cursor::asDateTime;
    using Cursor::asFloat;
    using Cursor::asInteger;
    using Cursor::asString;
    using Cursor::asText;
    using Cursor::isNull;
    using Cursor::readBlob;

    void first() override;
    void last() override;
    void next() override;
    void prior() override;
    bool eof() const override { return eof_; }
    bool bof() const override { return bof_; }
    std::uint64_t recordCount() override;
    const std::vector<FieldInfo>& fields() const override { return fields_; }

    bool isNull(int field) override;
    std::int64_t asInteger(int field) override;
    double asFloat(int field) override;
    std::string asString(int field) override;
    std::optional<bool> asBoolean(int field) override;
    Date asDate(int field) override;
    DateTime asDateTime(int field) override;
    std::vector<std::byte> readBlob(int field) override;

    Bookmark bookmark() override;
    void gotoBookmark(const Bookmark& b) override;

    // The connection the query ran on (its scan counters show how the tables were read);
    // null before the first open().
    std::shared_ptr<SqlConnection> connection() const { return conn_; }

  private:
    struct Cell;
    struct Statement;

    std::string dir_;
    std::vector<std::string> sql_;
    std::vector<std::pair<std::string, Value>> params_;  // names in upper case

    std::shared_ptr<SqlConnection> conn_;
    std::unique_ptr<Statement> stmt_;  // while rows remain to be fetched
    bool open_ = false;

    std::vector<FieldInfo> fields_;
    std::size_t columns_ = 0;
    std::vector<Cell> cells_;  // row-major, columns_ per row
    std::string arena_;        // text and blob bytes of all cells
    std::size_t rows_ = 0;     // rows fetched so far
    std::size_t pos_ = 0;      // current row (0-based) when onRow_
    bool onRow_ = false;
    bool eof_ = true, bof_ = true;

    void bindParams();
    // Fetches rows until row `index` exists or the statement is done; true when it exists.
    bool fetchTo(std::size_t index);
    void fetchAll();
    bool stepRow();  // one row into the cache; false when done
    void finishStatement();
    void buildFields(const std::vector<std::string>& writtenNames);
    bool passes(std::size_t row);
    const Cell& cell(int field) const;
    std::string_view textOf(const Cell& c) const;
    void requireOpen() const;
    void filterChanged() override;
};

}  // namespace pulpex::engine
