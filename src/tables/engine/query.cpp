#include "query.h"
#include "text.h"

#include <sqlite3.h>
#include <strings.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "error.h"
#include "sql_dialect.h"
#include "sql_vtab.h"

namespace pulpex::engine {

namespace {

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

struct TypeByDecl {
    const char* decl;
    FieldType type;
    char dbfType;
    int size;
};

// The declared types of the pulpex_dbf columns (see sql_vtab.h).
constexpr TypeByDecl kDeclTypes[] = {
    {"INTEGER", FieldType::Integer, 'N', 11}, {"REAL", FieldType::Float, 'N', 20},
    {"TEXT", FieldType::String, 'C', 254},    {"BOOL TEXT", FieldType::Boolean, 'L', 1},
    {"DATE TEXT", FieldType::Date, 'D', 8},   {"DATETIME TEXT", FieldType::DateTime, '@', 8},
    {"MEMO TEXT", FieldType::Memo, 'M', 10},  {"BLOB", FieldType::Graphic, 'B', 10},
};

}  // namespace

// One value of the result. Text and blob bytes live in the query's arena.
struct Query::Cell {
    std::uint8_t type = SQLITE_NULL;
    std::uint32_t len = 0;
    std::uint64_t bits = 0;  // integer, double bits, or arena offset
};

struct Query::Statement {
    std::string sql;
    SqliteStmtPtr stmt;
};

Query::Query(std::string databaseDir) : dir_(std::move(databaseDir)) {}

Query::~Query() {
    close();
}

void Query::setSql(std::string text) {
    close();
    sql_.clear();
    std::size_t start = 0;
    while (true) {
        auto nl = text.find('\n', start);
        if (nl == std::string::npos) {
            sql_.push_back(text.substr(start));
            break;
        }
        sql_.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
}

std::string Query::sqlText() const {
    std::string text;
    for (std::size_t i = 0; i < sql_.size(); ++i) {
        if (i) text += '\n';
        text += sql_[i];
    }
    return text;
}

void Query::setParam(std::string_view name, Value value) {
    if (!name.empty() && name.front() == ':') name.remove_prefix(1);
    std::string key = upperAscii(name);
    for (auto& [n, v] : params_) {
        if (n == key) {
            v = std::move(value);
            return;
        }
    }
    params_.emplace_back(std::move(key), std::move(value));
}

void Query::clearParams() {
    params_.clear();
}

void Query::open() {
    close();
    const TranslatedSql tr = translateSql(sqlText());
    for (int attempt = 0;; ++attempt) {
        conn_ = SqlConnection::forDirectory(dir_);
        conn_->attachTables(tr.tables);
        stmt_ = std::make_unique<Statement>();
        stmt_->sql = tr.sql;
        try {
            stmt_->stmt = conn_->acquire(tr.sql);
        } catch (const EDatabaseError&) {
            stmt_.reset();
            // "no such column" may come from a table restructured since it was attached.
            if (attempt == 0 && conn_->checkLayouts(tr.tables)) continue;
            throw;
        }
        columns_ = static_cast<std::size_t>(sqlite3_column_count(stmt_->stmt.get()));
        bool got = false;
        try {
            bindParams();
            got = stepRow();
        } catch (const EDatabaseError&) {
            const bool stale = conn_->stale();
            finishStatement();
            cells_.clear();
            arena_.clear();
            rows_ = 0;
            // A table was restructured since its virtual table was made: the next
            // forDirectory() builds a fresh connection.
            if (stale && attempt == 0) continue;
            throw;
        }
        buildFields(tr.columnNames);
        if (!got) finishStatement();
        break;
    }
    open_ = true;
    onRow_ = false;
    eof_ = bof_ = true;
    first();
}

void Query::close() {
    finishStatement();
    open_ = false;
    std::vector<Cell>().swap(cells_);
    std::string().swap(arena_);
    fields_.clear();
    columns_ = 0;
    rows_ = 0;
    pos_ = 0;
    onRow_ = false;
    eof_ = bof_ = true;
}

void Query::finishStatement() {
    if (!stmt_) return;
    if (conn_) conn_->release(stmt_->sql, std::move(stmt_->stmt));
    stmt_.reset();
}

void Query::bindParams() {
    sqlite3_stmt* s = stmt_->stmt.get();
    const int n = sqlite3_bind_parameter_count(s);
    for (int i = 1; i <= n; ++i) {
        const char* raw = sqlite3_bind_parameter_name(s, i);
        if (raw == nullptr)
            throw EDatabaseError("Błąd zapytania SQL: parametr bez nazwy (użyj :nazwa)");
        std::string_view name = raw + 1;  // past ':', '@' or '$'
        const Value* value = nullptr;
        for (const auto& [pn, pv] : params_)
            if (iequals(pn, name)) value = &pv;
        if (!value) throw EDatabaseError("Brak wartości parametru " + std::string(raw));
        int rc = SQLITE_OK;
        if (const auto* v = std::get_if<std::int64_t>(value)) {
            rc = sqlite3_bind_int64(s, i, *v);
        } else if (const auto* x = std::get_if<double>(value)) {
            rc = sqlite3_bind_double(s, i, *x);
        } else if (const auto* t = std::get_if<std::string>(value)) {
            rc = sqlite3_bind_text64(s, i, t->data(), t->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else if (const auto* b = std::get_if<bool>(value)) {
            rc = sqlite3_bind_text(s, i, *b ? "TRUE" : "FALSE", -1, SQLITE_STATIC);
        } else if (const auto* dt = std::get_if<Date>(value)) {
            std::string iso = dt->iso();
            rc = iso.empty() ? sqlite3_bind_null(s, i)
                             : sqlite3_bind_text(s, i, iso.c_str(), -1, SQLITE_TRANSIENT);
        } else if (const auto* ts = std::get_if<DateTime>(value)) {
            std::string iso = ts->iso();
            rc = iso.empty() ? sqlite3_bind_null(s, i)
                             : sqlite3_bind_text(s, i, iso.c_str(), -1, SQLITE_TRANSIENT);
        } else {
            rc = sqlite3_bind_null(s, i);
        }
        if (rc != SQLITE_OK)
            throw EDatabaseError(std::string("Błąd zapytania SQL: ") +
                                 sqlite3_errmsg(conn_->handle()));
    }
}

bool Query::stepRow() {
    sqlite3_stmt* s = stmt_->stmt.get();
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW)
        throw EDatabaseError(std::string("Błąd zapytania SQL: ") + sqlite3_errmsg(conn_->handle()));
    for (std::size_t c = 0; c < columns_; ++c) {
        const int col = static_cast<int>(c);
        Cell cell;
        cell.type = static_cast<std::uint8_t>(sqlite3_column_type(s, col));
        switch (cell.type) {
            case SQLITE_INTEGER:
                cell.bits = static_cast<std::uint64_t>(sqlite3_column_int64(s, col));
                break;
            case SQLITE_FLOAT:
                cell.bits = std::bit_cast<std::uint64_t>(sqlite3_column_double(s, col));
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                const void* p = cell.type == SQLITE_TEXT
                                    ? static_cast<const void*>(sqlite3_column_text(s, col))
                                    : sqlite3_column_blob(s, col);
                const int n = sqlite3_column_bytes(s, col);
                cell.bits = arena_.size();
                cell.len = static_cast<std::uint32_t>(n);
                if (n > 0) arena_.append(static_cast<const char*>(p), static_cast<std::size_t>(n));
                break;
            }
            default:
                break;
        }
        cells_.push_back(cell);
    }
    ++rows_;
    return true;
}

bool Query::fetchTo(std::size_t index) {
    while (index >= rows_ && stmt_) {
        bool got;
        try {
            got = stepRow();
        } catch (...) {
            finishStatement();
            throw;
        }
        if (!got) finishStatement();
    }
    return index < rows_;
}

void Query::fetchAll() {
    fetchTo(std::numeric_limits<std::size_t>::max() - 1);
}

void Query::buildFields(const std::vector<std::string>& written) {
    sqlite3_stmt* s = stmt_->stmt.get();
    fields_.clear();
    fields_.reserve(columns_);
    for (std::size_t c = 0; c < columns_; ++c) {
        const int col = static_cast<int>(c);
        FieldInfo f;
        if (written.size() == columns_ && !written[c].empty())
            f.name = written[c];
        else if (const char* n = sqlite3_column_name(s, col))
            f.name = n;
        bool known = false;
        const char* table = sqlite3_column_table_name(s, col);
        const char* origin = sqlite3_column_origin_name(s, col);
        if (table && origin) {
            if (const FieldInfo* src = conn_->fieldOf(table, origin)) {
                f.type = src->type;
                f.dbfType = src->dbfType;
                f.size = src->size;
                f.decimals = src->decimals;
                known = true;
            }
        }
        if (!known) {
            if (const char* decl = sqlite3_column_decltype(s, col)) {
                for (const auto& d : kDeclTypes) {
                    if (iequals(decl, d.decl)) {
                        f.type = d.type;
                        f.dbfType = d.dbfType;
                        f.size = d.size;
                        known = true;
                        break;
                    }
                }
            }
        }
        if (!known && rows_ > 0) {
            switch (cells_[c].type) {
                case SQLITE_INTEGER:
                    f.type = FieldType::Integer;
                    f.dbfType = 'N';
                    f.size = 20;
                    break;
                case SQLITE_FLOAT:
                    f.type = FieldType::Float;
                    f.dbfType = 'N';
                    f.size = 20;
                    f.decimals = 6;
                    break;
                case SQLITE_BLOB:
                    f.type = FieldType::Graphic;
                    f.dbfType = 'B';
                    f.size = 10;
                    break;
                default:
                    f.size = 254;
                    break;
            }
        } else if (!known) {
            f.size = 254;
        }
        fields_.push_back(std::move(f));
    }
    // Repeated names (SPRAWY.ID, REL_SZD.ID) stay addressable by name.
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        int suffix = 0;
        for (std::size_t j = 0; j < i; ++j) {
            if (!iequals(fields_[j].name, fields_[i].name)) continue;
            std::string base = fields_[i].name;
            bool clash = true;
            while (clash) {
                fields_[i].name = base + "_" + std::to_string(++suffix);
                clash = false;
                for (std::size_t k = 0; k < fields_.size(); ++k)
                    if (k != i && iequals(fields_[k].name, fields_[i].name)) clash = true;
            }
            break;
        }
    }
}

// --- Navigation

void Query::requireOpen() const {
    if (!open_) throw EDatabaseError("Zapytanie nie jest otwarte");
}

bool Query::passes(std::size_t row) {
    if (!filtered()) return true;
    const std::size_t savePos = pos_;
    const bool saveOn = onRow_;
    pos_ = row;
    onRow_ = true;
    bool ok = false;
    try {
        ok = passesRecordFilter();
    } catch (...) {
        pos_ = savePos;
        onRow_ = saveOn;
        throw;
    }
    pos_ = savePos;
    onRow_ = saveOn;
    return ok;
}

void Query::first() {
    requireOpen();
    for (std::size_t r = 0; fetchTo(r); ++r) {
        if (passes(r)) {
            pos_ = r;
            onRow_ = true;
            eof_ = bof_ = false;
            return;
        }
    }
    onRow_ = false;
    eof_ = bof_ = true;
}

void Query::last() {
    requireOpen();
    fetchAll();
    for (std::size_t r = rows_; r > 0; --r) {
        if (passes(r - 1)) {
            pos_ = r - 1;
            onRow_ = true;
            eof_ = bof_ = false;
            return;
        }
    }
    onRow_ = false;
    eof_ = bof_ = true;
}

void Query::next() {
    requireOpen();
    if (!onRow_) {
        eof_ = true;
        return;
    }
    bof_ = false;
    for (std::size_t r = pos_ + 1; fetchTo(r); ++r) {
        if (passes(r)) {
            pos_ = r;
            eof_ = false;
            return;
        }
    }
    eof_ = true;  // stays on the last row
}

void Query::prior() {
    requireOpen();
    if (!onRow_) {
        bof_ = true;
        return;
    }
    eof_ = false;
    for (std::size_t r = pos_; r > 0; --r) {
        if (passes(r - 1)) {
            pos_ = r - 1;
            bof_ = false;
            return;
        }
    }
    bof_ = true;  // stays on the first row
}

std::uint64_t Query::recordCount() {
    requireOpen();
    fetchAll();
    if (!filtered()) return rows_;
    std::uint64_t n = 0;
    for (std::size_t r = 0; r < rows_; ++r)
        if (passes(r)) ++n;
    return n;
}

Bookmark Query::bookmark() {
    requireOpen();
    return onRow_ ? Bookmark{pos_ + 1} : Bookmark{};
}

void Query::gotoBookmark(const Bookmark& b) {
    requireOpen();
    if (b.position == 0 || !fetchTo(static_cast<std::size_t>(b.position - 1)))
        throw EDatabaseError("Niepoprawna zakładka wiersza zapytania");
    pos_ = static_cast<std::size_t>(b.position - 1);
    onRow_ = true;
    eof_ = bof_ = false;
}

void Query::filterChanged() {
    if (open_) first();
}

// --- Field access

const Query::Cell& Query::cell(int field) const {
    requireOpen();
    if (field < 0 || static_cast<std::size_t>(field) >= columns_)
        throw EDatabaseError("Niepoprawny numer pola zapytania: " + std::to_string(field));
    if (!onRow_) throw EDatabaseError("Brak bieżącego wiersza zapytania");
    return cells_[pos_ * columns_ + static_cast<std::size_t>(field)];
}

std::string_view Query::textOf(const Cell& c) const {
    return {arena_.data() + c.bits, c.len};
}

bool Query::isNull(int field) {
    return cell(field).type == SQLITE_NULL;
}

std::int64_t Query::asInteger(int field) {
    const Cell& c = cell(field);
    switch (c.type) {
        case SQLITE_INTEGER:
            return static_cast<std::int64_t>(c.bits);
        case SQLITE_FLOAT: {
            double x = std::bit_cast<double>(c.bits);
            if (!std::isfinite(x) || std::fabs(x) > 9.2e18) return 0;
            return static_cast<std::int64_t>(x);
        }
        case SQLITE_TEXT: {
            std::string_view t = textOf(c);
            while (!t.empty() && t.front() == ' ')
                t.remove_prefix(1);
            t = trimRight(t);
            std::int64_t v = 0;
            auto r = std::from_chars(t.data(), t.data() + t.size(), v);
            if (r.ec == std::errc() && r.ptr == t.data() + t.size()) return v;
            if (auto b = asBoolean(field)) return *b ? 1 : 0;
            double x = 0;
            std::from_chars(t.data(), t.data() + t.size(), x);
            return std::isfinite(x) && std::fabs(x) < 9.2e18 ? static_cast<std::int64_t>(x) : 0;
        }
        default:
            return 0;
    }
}

double Query::asFloat(int field) {
    const Cell& c = cell(field);
    switch (c.type) {
        case SQLITE_INTEGER:
            return static_cast<double>(static_cast<std::int64_t>(c.bits));
        case SQLITE_FLOAT:
            return std::bit_cast<double>(c.bits);
        case SQLITE_TEXT: {
            std::string_view t = textOf(c);
            while (!t.empty() && t.front() == ' ')
                t.remove_prefix(1);
            double x = 0;
            std::from_chars(t.data(), t.data() + t.size(), x);
            return x;
        }
        default:
            return 0;
    }
}

std::string Query::asString(int field) {
    const Cell& c = cell(field);
    switch (c.type) {
        case SQLITE_INTEGER:
            return std::to_string(static_cast<std::int64_t>(c.bits));
        case SQLITE_FLOAT: {
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, std::bit_cast<double>(c.bits));
            return std::string(buf, r.ptr);
        }
        case SQLITE_TEXT:
            if (fields_[static_cast<std::size_t>(field)].type == FieldType::Memo)
                return std::string(textOf(c));
            return std::string(trimRight(textOf(c)));
        case SQLITE_BLOB:
            return std::string(textOf(c));
        default:
            return {};
    }
}

std::optional<bool> Query::asBoolean(int field) {
    const Cell& c = cell(field);
    switch (c.type) {
        case SQLITE_INTEGER:
            return c.bits != 0;
        case SQLITE_FLOAT:
            return std::bit_cast<double>(c.bits) != 0;
        case SQLITE_TEXT: {
            std::string_view t = trimRight(textOf(c));
            if (iequals(t, "TRUE") || iequals(t, "T") || iequals(t, "Y") || iequals(t, "1"))
                return true;
            if (iequals(t, "FALSE") || iequals(t, "F") || iequals(t, "N") || iequals(t, "0"))
                return false;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

Date Query::asDate(int field) {
    return asDateTime(field).date;
}

DateTime Query::asDateTime(int field) {
    const Cell& c = cell(field);
    if (c.type != SQLITE_TEXT) return {};
    return DateTime::parse(trimRight(textOf(c)));
}

std::vector<std::byte> Query::readBlob(int field) {
    const Cell& c = cell(field);
    if (c.type == SQLITE_TEXT || c.type == SQLITE_BLOB) {
        std::string_view t = textOf(c);
        const auto* p = reinterpret_cast<const std::byte*>(t.data());
        return std::vector<std::byte>(p, p + t.size());
    }
    std::string s = asString(field);
    const auto* p = reinterpret_cast<const std::byte*>(s.data());
    return std::vector<std::byte>(p, p + s.size());
}

}  // namespace pulpex::engine
