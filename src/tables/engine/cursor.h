// The navigation and field access shared by tables and query results, so that data sets and the
// command-line tool can work with either.
//
// Fields are addressed by number (fast, for loops over many rows) or by name (case-insensitive).
// Reading a field of a cursor that stands on no row (eof() && bof(), or an empty result) throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace pulpex::engine {

struct Bookmark {
    std::uint64_t position = 0;  // table: physical record number; query: row number (1-based)
    bool operator==(const Bookmark&) const = default;
};

class Cursor {
public:
    virtual ~Cursor() = default;

    virtual void first() = 0;
    virtual void last() = 0;
    virtual void next() = 0;
    virtual void prior() = 0;
    // eof: next() went past the last row (or no rows). bof: prior() went before the first row
    // (or no rows). After first() on a non-empty cursor both are false.
    virtual bool eof() const = 0;
    virtual bool bof() const = 0;
    // Rows visible through the cursor (deleted rows, filters and ranges excluded).
    virtual std::uint64_t recordCount() = 0;

    virtual const std::vector<FieldInfo>& fields() const = 0;
    // -1 when there is no such field. Case-insensitive.
    int fieldIndex(std::string_view name) const;
    // Like fieldIndex but throws EDatabaseError("Nie znaleziono pola ...").
    int fieldNo(std::string_view name) const;

    virtual bool isNull(int field) = 0;
    virtual std::int64_t asInteger(int field) = 0;          // 0 when null
    virtual double asFloat(int field) = 0;                  // 0 when null
    virtual std::string asString(int field) = 0;            // UTF-8, trailing blanks removed
    virtual std::optional<bool> asBoolean(int field) = 0;   // nullopt when unknown
    virtual Date asDate(int field) = 0;
    virtual DateTime asDateTime(int field) = 0;
    virtual std::vector<std::byte> readBlob(int field) = 0;  // memo and graphic bytes
    // Canonical text: integers in decimal, floats shortest round-trip, booleans "T"/"F" (empty
    // when unknown), dates "YYYY-MM-DD", date-times "YYYY-MM-DD HH:MM:SS", memo text as text.
    virtual std::string asText(int field);
    virtual Value asValue(int field);

    virtual Bookmark bookmark() = 0;
    virtual void gotoBookmark(const Bookmark& b) = 0;
    void freeBookmark(const Bookmark&) {}

    // A record-filter callback: rows for which it returns false are skipped by navigation.
    // Called with the cursor standing on the candidate row.
    void setRecordFilter(std::function<bool(Cursor&)> filter);
    bool filtered() const { return filterOn_; }
    void setFiltered(bool on);

    // By-name conveniences.
    bool isNull(std::string_view name) { return isNull(fieldNo(name)); }
    std::int64_t asInteger(std::string_view name) { return asInteger(fieldNo(name)); }
    double asFloat(std::string_view name) { return asFloat(fieldNo(name)); }
    std::string asString(std::string_view name) { return asString(fieldNo(name)); }
    std::optional<bool> asBoolean(std::string_view name) { return asBoolean(fieldNo(name)); }
    Date asDate(std::string_view name) { return asDate(fieldNo(name)); }
    DateTime asDateTime(std::string_view name) { return asDateTime(fieldNo(name)); }
    std::vector<std::byte> readBlob(std::string_view name) { return readBlob(fieldNo(name)); }
    std::string asText(std::string_view name) { return asText(fieldNo(name)); }

protected:
    // Whether the current row passes the record filter (true when none is set or it is off).
    bool passesRecordFilter();
    virtual void filterChanged() {}

private:
    std::function<bool(Cursor&)> recordFilter_;
    bool filterOn_ = false;
};

}  // namespace pulpex::engine
