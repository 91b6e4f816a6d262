#include "cursor.h"

#include <charconv>
#include <cstdio>
#include <strings.h>

#include "error.h"

namespace pulpex::engine {

int Cursor::fieldIndex(std::string_view name) const {
    const auto& fs = fields();
    for (std::size_t i = 0; i < fs.size(); ++i) {
        const std::string& f = fs[i].name;
        if (f.size() == name.size() && ::strncasecmp(f.data(), name.data(), f.size()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int Cursor::fieldNo(std::string_view name) const {
    int i = fieldIndex(name);
    if (i < 0) throw EDatabaseError("Nie znaleziono pola " + std::string(name));
    return i;
}


std::string Cursor::asText(int field) {
    const FieldInfo& f = fields().at(static_cast<std::size_t>(field));
    if (isNull(field) && f.type != FieldType::Memo && f.type != FieldType::String) return {};
    switch (f.type) {
        case FieldType::Integer:
        case FieldType::AutoInc: return std::to_string(asInteger(field));
        case FieldType::Float: {
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, asFloat(field));
            return std::string(buf, r.ptr);
        }
        case FieldType::Boolean: {
            auto b = asBoolean(field);
            return b ? (*b ? "T" : "F") : "";
        }
        case FieldType::Date: return asDate(field).iso();
        case FieldType::DateTime: return asDateTime(field).iso();
        case FieldType::Graphic: {
            auto bytes = readBlob(field);
            return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        default: return asString(field);
    }
}

Value Cursor::asValue(int field) {
    const FieldInfo& f = fields().at(static_cast<std::size_t>(field));
    if (isNull(field)) return std::monostate{};
    switch (f.type) {
        case FieldType::Integer:
        case FieldType::AutoInc: return asInteger(field);
        case FieldType::Float: return asFloat(field);
        case FieldType::Boolean: {
            auto b = asBoolean(field);
            if (!b) return std::monostate{};
            return *b;
        }
        case FieldType::Date: return asDate(field);
        case FieldType::DateTime: return asDateTime(field);
        case FieldType::Graphic: return asText(field);
        default: return asString(field);
    }
}

void Cursor::setRecordFilter(std::function<bool(Cursor&)> filter) {
    recordFilter_ = std::move(filter);
    filterChanged();
}

void Cursor::setFiltered(bool on) {
    filterOn_ = on;
    filterChanged();
}

bool Cursor::passesRecordFilter() {
    if (!filterOn_ || !recordFilter_) return true;
    return recordFilter_(*this);
}

}  // namespace pulpex::engine
