#include "sql_vtab.h"
#include "text.h"

#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>

#include "codepage.h"
#include "error.h"
#include "table.h"

namespace pulpex::engine {

// --- Polish collation

namespace {

// Sort weight of a code point: ASCII keeps its order (times four, leaving room for the Polish
// letters right after their base letter), everything else follows by code point.
std::uint32_t polishWeight(std::uint32_t c) {
    if (c < 0x80) return c * 4;
    switch (c) {
        case 0x104:
            return 'A' * 4 + 1;  // Ą
        case 0x106:
            return 'C' * 4 + 1;  // Ć
        case 0x118:
            return 'E' * 4 + 1;  // Ę
        case 0x141:
            return 'L' * 4 + 1;  // Ł
        case 0x143:
            return 'N' * 4 + 1;  // Ń
        case 0x0D3:
            return 'O' * 4 + 1;  // Ó
        case 0x15A:
            return 'S' * 4 + 1;  // Ś
        case 0x179:
            return 'Z' * 4 + 1;  // Ź
        case 0x17B:
            return 'Z' * 4 + 2;  // Ż
        case 0x105:
            return 'a' * 4 + 1;  // ą
        case 0x107:
            return 'c' * 4 + 1;  // ć
        case 0x119:
            return 'e' * 4 + 1;  // ę
        case 0x142:
            return 'l' * 4 + 1;  // ł
        case 0x144:
            return 'n' * 4 + 1;  // ń
        case 0x0F3:
            return 'o' * 4 + 1;  // ó
        case 0x15B:
            return 's' * 4 + 1;  // ś
        case 0x17A:
            return 'z' * 4 + 1;  // ź
        case 0x17C:
            return 'z' * 4 + 2;  // ż
        default:
            return 0x200 + c;
    }
}

// Decodes one UTF-8 character at s[i] and advances i; a malformed byte stands for itself,
// above every code point.
std::uint32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return 0x110000u + b0;
    }
    std::uint32_t c = b0 & (0x7Fu >> len);
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0x110000u + b0;
        }
        c = (c << 6) | (b & 0x3Fu);
    }
    i += static_cast<std::size_t>(len);
    return c;
}

int polishCollation(void*, int na, const void* pa, int nb, const void* pb) {
    return comparePolish({static_cast<const char*>(pa), static_cast<std::size_t>(na)},
                         {static_cast<const char*>(pb), static_cast<std::size_t>(nb)});
}

}  // namespace

int comparePolish(std::string_view a, std::string_view b) {
    // Identical bytes weigh the same, so start at the first difference, backed up to a
    // position where both strings begin a character; most comparisons end right there on two
    // ASCII bytes.
    auto cont = [](std::string_view s, std::size_t i) {
        return i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
    };
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    if (!cont(a, i) && !cont(b, i)) {
        if (i == n) return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca < 0x80 && cb < 0x80) return ca < cb ? -1 : 1;
    } else {
        while (i > 0) {
            --i;
            if (!cont(a, i)) break;
        }
    }
    std::size_t ia = i, ib = i;
    while (ia < a.size() && ib < b.size()) {
        std::uint32_t wa = polishWeight(nextCodePoint(a, ia));
        std::uint32_t wb = polishWeight(nextCodePoint(b, ib));
        if (wa != wb) return wa < wb ? -1 : 1;
    }
    if (ia < a.size()) return 1;
    if (ib < b.size()) return -1;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void SqliteStmtFinalizer::operator()(sqlite3_stmt* stmt) const {
    sqlite3_finalize(stmt);
}

// --- Connection state shared with the module

namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

std::string quoteIdent(std::string_view name) {
    std::string r = "\"";
    for (char c : name) {
        if (c == '"') r += '"';
        r += c;
    }
    return r + '"';
}

std::string quoteLiteral(std::string_view text) {
    std::string r = "'";
    for (char c : text) {
        if (c == '\'') r += '\'';
        r += c;
    }
    return r + '\'';
}

struct DbfVtab;

}  // namespace

struct SqlConnection::Impl {
    std::string dir;
    bool stale = false;
    std::map<std::string, ScanStats, std::less<>> stats;
    std::map<std::string, const DbfVtab*, std::less<>> vtabs;  // by upper-case name
    std::set<std::string> attached;
    // The database goes before the cached statements are finalized (members are destroyed in
    // reverse order), and the maps above outlive the virtual tables it disconnects.
    std::unique_ptr<sqlite3, DbCloser> db;
    std::unordered_map<std::string, std::vector<SqliteStmtPtr>> idle;
    std::size_t idleCount = 0;

    ScanStats* statsFor(const std::string& name) { return &stats[name]; }
};

// --- The virtual table module

namespace {

enum class ColKind : std::uint8_t { Integer, Float, String, Boolean, Date, DateTime, Memo, Blob };

ColKind kindOf(const FieldInfo& f) {
    switch (f.type) {
        case FieldType::Integer:
        case FieldType::AutoInc:
            return ColKind::Integer;
        case FieldType::Float:
            return ColKind::Float;
        case FieldType::Boolean:
            return ColKind::Boolean;
        case FieldType::Date:
            return ColKind::Date;
        case FieldType::DateTime:
            return ColKind::DateTime;
        case FieldType::Memo:
            return ColKind::Memo;
        case FieldType::Graphic:
            return ColKind::Blob;
        default:
            return ColKind::String;
    }
}

const char* declaredType(ColKind k) {
    switch (k) {
        case ColKind::Integer:
            return "INTEGER";
        case ColKind::Float:
            return "REAL";
        case ColKind::Boolean:
            return "BOOL TEXT COLLATE NOCASE";
        case ColKind::Date:
            return "DATE TEXT";
        case ColKind::DateTime:
            return "DATETIME TEXT";
        case ColKind::Memo:
            return "MEMO TEXT";
        case ColKind::Blob:
            return "BLOB";
        default:
            return "TEXT COLLATE PL";
    }
}

bool sameLayout(const std::vector<FieldInfo>& a, const std::vector<FieldInfo>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const FieldInfo &x = a[i], &y = b[i];
        if (x.name != y.name || x.dbfType != y.dbfType || x.size != y.size ||
            x.decimals != y.decimals || x.type != y.type || x.offset != y.offset)
            return false;
    }
    return true;
}

bool sameTags(const std::vector<TagInfo>& a, const std::vector<TagInfo>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].key != b[i].key || a[i].descending != b[i].descending ||
            a[i].nocase != b[i].nocase)
            return false;
    return true;
}

// Plans xBestIndex hands to xFilter: idxNum = field << 8 | plan.
enum Plan : int { kFullScan = 0, kEqual = 1, kLow = 2, kHigh = 3, kBetween = 4 };

struct DbfVtab : sqlite3_vtab {
    DbfVtab() : sqlite3_vtab{} {}
    ~DbfVtab() { sqlite3_free(zErrMsg); }
    DbfVtab(const DbfVtab&) = delete;
    DbfVtab& operator=(const DbfVtab&) = delete;
    SqlConnection::Impl* conn = nullptr;
    std::string name;  // upper case
    std::string path;
    std::vector<FieldInfo> fields;
    std::vector<TagInfo> tags;
    std::vector<ColKind> kinds;
    std::vector<bool> equalTag;  // a tag serves equality on the field
    std::vector<bool> rangeTag;  // a tag serves ranges on the field
    std::vector<bool> unique;    // that tag is a single-field tag on ID
    double rows = 0;
    SqlConnection::ScanStats* stats = nullptr;

    void setError(const char* text) {
        sqlite3_free(zErrMsg);
        zErrMsg = sqlite3_mprintf("%s", text);
    }
};

struct DbfCursor : sqlite3_vtab_cursor {
    DbfCursor() : sqlite3_vtab_cursor{} {}
    std::unique_ptr<Table> table;
    bool empty = false;  // the constraints cannot match any row
    std::vector<Value> low{Value{}}, high{Value{}};
    std::string encoded;  // scratch for text values in the table's code page
    DbfVtab* vt() const { return static_cast<DbfVtab*>(pVtab); }
};

int dbfConnect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
               char** err) {
    try {
        if (argc < 4) throw EDatabaseError("Brak ścieżki tabeli w definicji tabeli wirtualnej");
        auto vt = std::make_unique<DbfVtab>();
        vt->conn = static_cast<SqlConnection::Impl*>(aux);
        vt->name = upperAscii(argv[2]);
        std::string_view arg = argv[3];
        if (arg.size() >= 2 && arg.front() == '\'' && arg.back() == '\'') {
            for (std::size_t i = 1; i + 1 < arg.size(); ++i) {
                vt->path += arg[i];
                if (arg[i] == '\'' && arg[i + 1] == '\'') ++i;
            }
        } else {
            vt->path = arg;
        }
        {
            auto t = Table::open(vt->path, {.readOnly = true});
            vt->fields = t->fields();
            vt->tags = t->tags();
            vt->rows = static_cast<double>(t->recordCount());
            const std::size_t n = vt->fields.size();
            vt->kinds.resize(n);
            vt->equalTag.assign(n, false);
            vt->rangeTag.assign(n, false);
            vt->unique.assign(n, false);
            for (std::size_t i = 0; i < n; ++i) {
                const int f = static_cast<int>(i);
                vt->kinds[i] = kindOf(vt->fields[i]);
                const int eq = t->tagForField(f, true);
                vt->equalTag[i] = eq >= 0;
                vt->rangeTag[i] = t->tagForField(f, false) >= 0;
                if (eq >= 0) {
                    const TagInfo& tag = vt->tags[static_cast<std::size_t>(eq)];
                    vt->unique[i] =
                        iequals(vt->fields[i].name, "ID") && iequals(tag.key, "ID") && !tag.nocase;
                }
            }
        }
        std::string ddl = "CREATE TABLE x(";
        for (std::size_t i = 0; i < vt->fields.size(); ++i) {
            if (i) ddl += ", ";
            ddl += quoteIdent(vt->fields[i].name);
            ddl += ' ';
            ddl += declaredType(vt->kinds[i]);
        }
        ddl += ')';
        if (int rc = sqlite3_declare_vtab(db, ddl.c_str()); rc != SQLITE_OK) {
            *err = sqlite3_mprintf("%s", sqlite3_errmsg(db));
            return rc;
        }
        vt->stats = vt->conn->statsFor(vt->name);
        vt->conn->vtabs[vt->name] = vt.get();
        *out = vt.release();
        return SQLITE_OK;
    } catch (const std::exception& e) {
        *err = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
}

int dbfDisconnect(sqlite3_vtab* p) {
    std::unique_ptr<DbfVtab> vt(static_cast<DbfVtab*>(p));
    auto it = vt->conn->vtabs.find(vt->name);
    if (it != vt->conn->vtabs.end() && it->second == vt.get()) vt->conn->vtabs.erase(it);
    return SQLITE_OK;
}

bool collationKeepsEquality(sqlite3_index_info* info, int i, ColKind kind) {
    if (kind != ColKind::String) return true;  // numbers, ISO dates, TRUE/FALSE
    // An index lookup finds the rows whose text equals the value byte for byte (or after
    // upper-casing); that holds every match only for collations that are that strict.
    const char* coll = sqlite3_vtab_collation(info, i);
    return coll == nullptr || iequals(coll, "PL") || iequals(coll, "BINARY");
}

int dbfBestIndex(sqlite3_vtab* p, sqlite3_index_info* info) {
    auto* vt = static_cast<DbfVtab*>(p);
    // Costs assume a table of at least a thousand rows, so that a plan made while a table is
    // small still uses the index when it has grown (statements stay prepared in a cache).
    const double n = std::max(vt->rows, 1000.0);
    const double seek = 10 + std::log2(n);
    double bestCost = n + 10;
    double bestRows = n;
    int bestNum = kFullScan;
    int eqArg = -1, lowArg = -1, highArg = -1;
    bool bestUnique = false;

    // Constraint indexes per field: equality, lower bound, upper bound.
    const int fieldCount = static_cast<int>(vt->fields.size());
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.iColumn < 0 || c.iColumn >= fieldCount) continue;
        const auto f = static_cast<std::size_t>(c.iColumn);
        if (!collationKeepsEquality(info, i, vt->kinds[f])) continue;
        if (c.op == SQLITE_INDEX_CONSTRAINT_EQ && vt->equalTag[f]) {
            const bool uniq = vt->unique[f];
            const double rows = uniq ? 1 : std::min(n, 10.0);
            const double cost = seek + rows;
            if (cost < bestCost) {
                bestCost = cost;
                bestRows = rows;
                bestNum = (c.iColumn << 8) | kEqual;
                bestUnique = uniq;
                eqArg = i;
                lowArg = highArg = -1;
            }
        }
    }
    if (eqArg < 0) {
        // A range on one field: take its bounds together.
        for (int fld = 0; fld < fieldCount; ++fld) {
            const auto f = static_cast<std::size_t>(fld);
            if (!vt->rangeTag[f]) continue;
            int lo = -1, hi = -1;
            for (int i = 0; i < info->nConstraint; ++i) {
                const auto& c = info->aConstraint[i];
                if (!c.usable || c.iColumn != fld || !collationKeepsEquality(info, i, vt->kinds[f]))
                    continue;
                if (c.op == SQLITE_INDEX_CONSTRAINT_GT || c.op == SQLITE_INDEX_CONSTRAINT_GE)
                    lo = i;
                else if (c.op == SQLITE_INDEX_CONSTRAINT_LT || c.op == SQLITE_INDEX_CONSTRAINT_LE)
                    hi = i;
            }
            if (lo < 0 && hi < 0) continue;
            const double rows = (lo >= 0 && hi >= 0) ? n / 9 : n / 3;
            const double cost = seek + rows * 1.2;
            if (cost < bestCost) {
                bestCost = cost;
                bestRows = rows;
                bestNum = (fld << 8) | (lo >= 0 && hi >= 0 ? kBetween : lo >= 0 ? kLow : kHigh);
                lowArg = lo;
                highArg = hi;
            }
        }
    }
    int argv = 1;
    if (eqArg >= 0) info->aConstraintUsage[eqArg].argvIndex = argv++;
    if (lowArg >= 0) info->aConstraintUsage[lowArg].argvIndex = argv++;
    if (highArg >= 0) info->aConstraintUsage[highArg].argvIndex = argv++;
    info->idxNum = bestNum;
    info->estimatedCost = bestCost;
    info->estimatedRows = static_cast<sqlite3_int64>(std::max(1.0, bestRows));
    if (bestUnique) info->idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
    return SQLITE_OK;
}

int dbfOpen(sqlite3_vtab* p, sqlite3_vtab_cursor** out) {
    auto* vt = static_cast<DbfVtab*>(p);
    try {
        auto cur = std::make_unique<DbfCursor>();
        cur->table = Table::open(vt->path, {.readOnly = true});
        if (!sameLayout(cur->table->fields(), vt->fields) ||
            !sameTags(cur->table->tags(), vt->tags)) {
            vt->conn->stale = true;
            std::string msg = "Struktura tabeli " + vt->name +
                              " zmieniła się od przygotowania zapytania; otwórz je ponownie";
            vt->setError(msg.c_str());
            return SQLITE_ERROR;
        }
        ++vt->stats->cursors;
        *out = cur.release();
        return SQLITE_OK;
    } catch (const std::exception& e) {
        vt->setError(e.what());
        return SQLITE_ERROR;
    }
}

int dbfClose(sqlite3_vtab_cursor* p) {
    std::unique_ptr<DbfCursor> cur(static_cast<DbfCursor*>(p));
    return SQLITE_OK;
}

// The value of a constraint as the field's key wants it. Unusable: no safe conversion (the
// caller falls back to a full scan, which SQLite filters itself); Null: SQL NULL.
enum class Conv { Ok, Null, Unusable };

Conv keyValue(const FieldInfo& f, ColKind kind, sqlite3_value* v, Value& out) {
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) return Conv::Null;
    switch (kind) {
        case ColKind::Integer:
        case ColKind::Float: {
            double x;
            std::int64_t i = 0;
            bool isInt = false;
            if (type == SQLITE_INTEGER) {
                i = sqlite3_value_int64(v);
                x = static_cast<double>(i);
                isInt = true;
            } else if (type == SQLITE_FLOAT) {
                x = sqlite3_value_double(v);
            } else if (type == SQLITE_TEXT) {
                // Integer affinity turns numeric text into a number before comparing.
                const char* s = reinterpret_cast<const char*>(sqlite3_value_text(v));
                const char* e = s + sqlite3_value_bytes(v);
                if (auto r = std::from_chars(s, e, i); r.ec == std::errc() && r.ptr == e) {
                    x = static_cast<double>(i);
                    isInt = true;
                } else if (auto r2 = std::from_chars(s, e, x);
                           r2.ec != std::errc() || r2.ptr != e) {
                    return Conv::Unusable;
                }
            } else {
                return Conv::Unusable;
            }
            if (!std::isfinite(x)) return Conv::Unusable;
            if (kind == ColKind::Integer) {
                if (!isInt) {
                    if (x != std::floor(x) || std::fabs(x) > 9.0e15) return Conv::Unusable;
                    i = static_cast<std::int64_t>(x);
                }
                out = i;
            } else {
                out = x;
            }
            return Conv::Ok;
        }
        case ColKind::String:
            if (type != SQLITE_TEXT) return Conv::Unusable;
            out = std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                              static_cast<std::size_t>(sqlite3_value_bytes(v)));
            return Conv::Ok;
        case ColKind::Date: {
            if (type != SQLITE_TEXT) return Conv::Unusable;
            std::string_view s(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                               static_cast<std::size_t>(sqlite3_value_bytes(v)));
            // Only the exact form the column shows compares like a date.
            Date d = Date::parse(s);
            if (d.isNull() || s.size() != 10 || d.iso() != s) return Conv::Unusable;
            out = d;
            return Conv::Ok;
        }
        case ColKind::DateTime: {
            if (type != SQLITE_TEXT) return Conv::Unusable;
            std::string_view s(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                               static_cast<std::size_t>(sqlite3_value_bytes(v)));
            DateTime dt = DateTime::parse(s);
            if (dt.isNull() || dt.iso() != s) return Conv::Unusable;
            out = dt;
            return Conv::Ok;
        }
        case ColKind::Boolean: {
            if (type != SQLITE_TEXT) return Conv::Unusable;
            std::string_view s(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                               static_cast<std::size_t>(sqlite3_value_bytes(v)));
            if (iequals(s, "TRUE")) {
                out = true;
                return Conv::Ok;
            }
            if (iequals(s, "FALSE")) {
                out = false;
                return Conv::Ok;
            }
            return Conv::Unusable;
        }
        default:
            (void)f;
            return Conv::Unusable;
    }
}

int dbfFilter(sqlite3_vtab_cursor* p, int idxNum, const char*, int argc, sqlite3_value** argv) {
    auto* cur = static_cast<DbfCursor*>(p);
    DbfVtab* vt = cur->vt();
    try {
        Table& t = *cur->table;
        cur->empty = false;
        const int plan = idxNum & 0xFF;
        const int field = idxNum >> 8;
        bool indexed = false;
        if (plan != kFullScan && field < static_cast<int>(vt->fields.size())) {
            const auto f = static_cast<std::size_t>(field);
            const int tag = t.tagForField(field, plan == kEqual);
            Value lo, hi;
            Conv cl = Conv::Ok, ch = Conv::Ok;
            int arg = 0;
            if (plan == kEqual || plan == kLow || plan == kBetween) {
                cl = arg < argc ? keyValue(vt->fields[f], vt->kinds[f], argv[arg++], lo)
                                : Conv::Unusable;
            }
            if (plan == kEqual) {
                hi = lo;
                ch = cl;
            } else if (plan == kHigh || plan == kBetween) {
                ch = arg < argc ? keyValue(vt->fields[f], vt->kinds[f], argv[arg++], hi)
                                : Conv::Unusable;
            }
            if (vt->kinds[f] == ColKind::String && cl == Conv::Ok) {
                // Text the field cannot hold (a character outside the code page, or longer
                // than the field) equals no row; the key could not express it either.
                const auto* text = std::get_if<std::string>(&lo);
                cur->encoded.clear();
                if (text && (!t.codePage().encode(*text, cur->encoded) ||
                             cur->encoded.size() > static_cast<std::size_t>(vt->fields[f].size)))
                    cl = ch = Conv::Null;
            }
            if (cl == Conv::Null || ch == Conv::Null) {
                // A comparison with NULL is never true; neither is one with such text.
                cur->empty = true;
                return SQLITE_OK;
            }
            if (tag >= 0 && cl == Conv::Ok && ch == Conv::Ok) {
                cur->low[0] = std::move(lo);
                cur->high[0] = std::move(hi);
                t.setIndexNo(tag);
                t.setRange(cur->low, cur->high);
                indexed = true;
            }
        }
        if (indexed) {
            ++vt->stats->indexScans;
        } else {
            t.setIndexNo(-1);
            t.first();
            ++vt->stats->fullScans;
        }
        if (!t.eof()) ++vt->stats->rowsRead;
        return SQLITE_OK;
    } catch (const std::exception& e) {
        vt->setError(e.what());
        return SQLITE_ERROR;
    }
}

int dbfNext(sqlite3_vtab_cursor* p) {
    auto* cur = static_cast<DbfCursor*>(p);
    try {
        cur->table->next();
        if (!cur->table->eof()) ++cur->vt()->stats->rowsRead;
        return SQLITE_OK;
    } catch (const std::exception& e) {
        cur->vt()->setError(e.what());
        return SQLITE_ERROR;
    }
}

int dbfEof(sqlite3_vtab_cursor* p) {
    auto* cur = static_cast<DbfCursor*>(p);
    return cur->empty || cur->table->eof();
}

void resultIso(sqlite3_context* ctx, const Date& d) {
    char buf[10];
    auto put = [&](int at, int v, int digits) {
        for (int k = digits - 1; k >= 0; --k) {
            buf[at + k] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
    };
    put(0, d.year, 4);
    buf[4] = '-';
    put(5, d.month, 2);
    buf[7] = '-';
    put(8, d.day, 2);
    sqlite3_result_text(ctx, buf, 10, SQLITE_TRANSIENT);
}

int dbfColumn(sqlite3_vtab_cursor* p, sqlite3_context* ctx, int col) {
    auto* cur = static_cast<DbfCursor*>(p);
    DbfVtab* vt = cur->vt();
    try {
        Table& t = *cur->table;
        switch (vt->kinds[static_cast<std::size_t>(col)]) {
            // A blank number reads as 0, so only a 0 needs the second look.
            case ColKind::Integer: {
                const std::int64_t v = t.asInteger(col);
                if (v == 0 && t.isNull(col))
                    sqlite3_result_null(ctx);
                else
                    sqlite3_result_int64(ctx, v);
                break;
            }
            case ColKind::Float: {
                const double v = t.asFloat(col);
                if (v == 0 && t.isNull(col))
                    sqlite3_result_null(ctx);
                else
                    sqlite3_result_double(ctx, v);
                break;
            }
            case ColKind::Boolean: {
                auto b = t.asBoolean(col);
                if (!b)
                    sqlite3_result_null(ctx);
                else
                    sqlite3_result_text(ctx, *b ? "TRUE" : "FALSE", -1, SQLITE_STATIC);
                break;
            }
            case ColKind::Date: {
                Date d = t.asDate(col);
                if (d.isNull())
                    sqlite3_result_null(ctx);
                else
                    resultIso(ctx, d);
                break;
            }
            case ColKind::DateTime: {
                DateTime dt = t.asDateTime(col);
                if (dt.isNull()) {
                    sqlite3_result_null(ctx);
                } else {
                    std::string s = dt.iso();
                    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()),
                                        SQLITE_TRANSIENT);
                }
                break;
            }
            case ColKind::Blob: {
                auto bytes = t.readBlob(col);
                if (bytes.empty())
                    sqlite3_result_null(ctx);
                else
                    sqlite3_result_blob64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
                break;
            }
            default: {  // String, Memo
                std::string s = t.asString(col);
                sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
        }
        return SQLITE_OK;
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
        return SQLITE_ERROR;
    }
}

int dbfRowid(sqlite3_vtab_cursor* p, sqlite3_int64* rowid) {
    *rowid = static_cast<DbfCursor*>(p)->table->recno();
    return SQLITE_OK;
}

sqlite3_module makeModule() {
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = dbfConnect;
    m.xConnect = dbfConnect;
    m.xBestIndex = dbfBestIndex;
    m.xDisconnect = dbfDisconnect;
    m.xDestroy = dbfDisconnect;
    m.xOpen = dbfOpen;
    m.xClose = dbfClose;
    m.xFilter = dbfFilter;
    m.xNext = dbfNext;
    m.xEof = dbfEof;
    m.xColumn = dbfColumn;
    m.xRowid = dbfRowid;
    return m;
}

const sqlite3_module kModule = makeModule();

[[noreturn]] void throwSql(sqlite3* db) {
    throw EDatabaseError(std::string("Błąd zapytania SQL: ") + sqlite3_errmsg(db));
}

std::string normalDir(const std::string& dir) {
    std::string d = dir.empty() ? std::string(".") : dir;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    if (char* real = ::realpath(d.c_str(), nullptr)) {
        d = real;
        std::free(real);
    }
    return d;
}

thread_local std::unordered_map<std::string, std::shared_ptr<SqlConnection>> tlsConnections;

constexpr std::size_t kMaxIdleStatements = 64;

}  // namespace

// --- SqlConnection

std::shared_ptr<SqlConnection> SqlConnection::forDirectory(const std::string& dir) {
    std::string key = normalDir(dir);
    auto& slot = tlsConnections[key];
    if (!slot || slot->stale()) slot = std::make_shared<SqlConnection>(key);
    return slot;
}

void SqlConnection::releaseAll() {
    tlsConnections.clear();
}

SqlConnection::SqlConnection(std::string dir) : d(std::make_unique<Impl>()) {
    d->dir = std::move(dir);
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(":memory:", &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    d->db.reset(raw);
    if (rc != SQLITE_OK)
        throw EDatabaseError(std::string("Nie można utworzyć połączenia SQL: ") +
                             (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    if (sqlite3_create_collation_v2(raw, "PL", SQLITE_UTF8, nullptr, polishCollation, nullptr) !=
            SQLITE_OK ||
        sqlite3_create_module_v2(raw, "pulpex_dbf", &kModule, d.get(), nullptr) != SQLITE_OK)
        throwSql(raw);
}

SqlConnection::~SqlConnection() = default;

const std::string& SqlConnection::directory() const {
    return d->dir;
}
sqlite3* SqlConnection::handle() const {
    return d->db.get();
}
bool SqlConnection::stale() const {
    return d->stale;
}

void SqlConnection::attachTables(const std::vector<std::string>& names) {
    for (const std::string& raw : names) {
        std::string name = upperAscii(raw);
        if (d->attached.count(name)) continue;
        std::string path = Table::resolve(d->dir, name + ".DBF");
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::string sql = "CREATE VIRTUAL TABLE temp." + quoteIdent(name) + " USING pulpex_dbf(" +
                          quoteLiteral(path) + ")";
        char* err = nullptr;
        if (sqlite3_exec(d->db.get(), sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : sqlite3_errmsg(d->db.get());
            sqlite3_free(err);
            throw EDatabaseError("Błąd zapytania SQL: " + msg);
        }
        d->attached.insert(name);
    }
}

bool SqlConnection::checkLayouts(const std::vector<std::string>& names) {
    for (const std::string& raw : names) {
        auto it = d->vtabs.find(upperAscii(raw));
        if (it == d->vtabs.end()) continue;
        const DbfVtab& vt = *it->second;
        bool same = false;
        try {
            auto t = Table::open(vt.path, {.readOnly = true});
            same = sameLayout(t->fields(), vt.fields) && sameTags(t->tags(), vt.tags);
        } catch (const EDatabaseError&) {
            same = false;
        }
        if (!same) d->stale = true;
    }
    return d->stale;
}

SqliteStmtPtr SqlConnection::acquire(const std::string& sql) {
    auto it = d->idle.find(sql);
    if (it != d->idle.end() && !it->second.empty()) {
        SqliteStmtPtr s = std::move(it->second.back());
        it->second.pop_back();
        --d->idleCount;
        return s;
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(d->db.get(), sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &raw, &tail);
    SqliteStmtPtr stmt(raw);
    if (rc != SQLITE_OK) throwSql(d->db.get());
    if (!stmt) throw EDatabaseError("Błąd zapytania SQL: puste zapytanie");
    for (const char* c = tail; c && *c; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r' && *c != ';')
            throw EDatabaseError("Błąd zapytania SQL: zapytanie może zawierać jedno polecenie");
    return stmt;
}

void SqlConnection::release(const std::string& sql, SqliteStmtPtr stmt) {
    if (!stmt) return;
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    if (d->stale || d->idleCount >= kMaxIdleStatements) return;  // finalized here
    d->idle[sql].push_back(std::move(stmt));
    ++d->idleCount;
}

const FieldInfo* SqlConnection::fieldOf(std::string_view table, std::string_view column) const {
    auto it = d->vtabs.find(upperAscii(table));
    if (it == d->vtabs.end()) return nullptr;
    for (const FieldInfo& f : it->second->fields)
        if (iequals(f.name, column)) return &f;
    return nullptr;
}

SqlConnection::ScanStats SqlConnection::stats(std::string_view table) const {
    auto it = d->stats.find(upperAscii(table));
    return it == d->stats.end() ? ScanStats{} : it->second;
}

void SqlConnection::resetStats() {
    for (auto& [name, s] : d->stats)
        s = {};
}

}  // namespace pulpex::engine
