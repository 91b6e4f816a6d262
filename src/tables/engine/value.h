// Values that cross the engine's interface: field metadata, dates and a small variant used by
// generic code (ranges, filters, SQL parameters, import and export).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace pulpex::engine {

// Logical field types. A dBase file's own type letters map onto these (see FieldInfo::type).
enum class FieldType {
    String,    // C
    Integer,   // N with no decimals, I
    Float,     // N with decimals, F, O
    Boolean,   // L
    Date,      // D
    Time,      // only in definitions: stored as C(11)
    DateTime,  // @; in definitions stored as C(30)
    Memo,      // M: text in the table's code page
    Graphic,   // B, G: bytes
    AutoInc,   // +; in definitions stored as N(11,0)
};

// A calendar date; year 0 means "no date" (a blank dBase date).
struct Date {
    int year = 0, month = 0, day = 0;
    bool isNull() const { return year == 0; }
    bool operator==(const Date&) const = default;
    auto operator<=>(const Date&) const = default;
    // Julian day number (days since 4713 BC); only for valid dates.
    std::int64_t julianDay() const;
    static Date fromJulianDay(std::int64_t jd);
    static bool isValid(int year, int month, int day);
    // "YYYY-MM-DD"; empty for a null date.
    std::string iso() const;
    // Accepts "YYYY-MM-DD" and "YYYYMMDD"; returns a null date on anything else.
    static Date parse(std::string_view text);
};

struct DateTime {
    Date date;
    int hour = 0, minute = 0, second = 0, msec = 0;
    bool isNull() const { return date.isNull(); }
    bool operator==(const DateTime&) const = default;
    auto operator<=>(const DateTime&) const = default;
    // "YYYY-MM-DD HH:MM:SS" (".zzz" appended when msec is not 0); empty for null.
    std::string iso() const;
    // Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.zzz]]" and the same with a 'T'.
    static DateTime parse(std::string_view text);
};

// A generic value. monostate is SQL NULL / a blank field / "unbounded" in ranges.
using Value = std::variant<std::monostate, std::int64_t, double, std::string, bool, Date, DateTime>;

// Field definition for creating a table.
struct FieldDef {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0;  // strings only; memo and graphic fields may say 10, which is ignored
    // Set (with size and decimals) to write the field in exactly this dBase layout, as an
    // existing file has it (C, N, F, L, D, M, B, G): a rebuilt table keeps its old fields so.
    char dbfType = 0;
    int decimals = 0;
};

// An index tag to create. `key` is either a field list "A;B" or a dBase key expression such as
// "str(RSZ_IDS) + str(ESZ_ZD)", "upper(AD_NAZW)" or "dtos(ZD_DAT)+str(ID)".
struct IndexDef {
    std::string name;
    std::string key;
    bool descending = false;
    bool nocase = false;
};

// A field as it is in a table file.
struct FieldInfo {
    std::string name;  // upper case as stored
    char dbfType = 'C';
    int size = 0;
    int decimals = 0;
    FieldType type = FieldType::String;
    std::uint32_t offset = 0;  // from the start of the record (byte 0 is the deletion flag)
};

// One tag of an open table.
struct TagInfo {
    std::string name;
    std::string key;  // as given at creation
    bool descending = false;
    bool nocase = false;
};

}  // namespace pulpex::engine
