#include "tables/fieldio.h"

#include <span>

namespace pulpex {

QDate toQDate(const engine::Date& d) {
    if (d.isNull()) return {};
    return QDate(d.year, d.month, d.day);
}

engine::Date toEngineDate(const QDate& d) {
    if (!d.isValid()) return {};
    return {d.year(), d.month(), d.day()};
}

QDateTime toQDateTime(const engine::DateTime& dt) {
    if (dt.isNull()) return {};
    return QDateTime(toQDate(dt.date), QTime(dt.hour, dt.minute, dt.second, dt.msec));
}

engine::DateTime toEngineDateTime(const QDateTime& dt) {
    if (!dt.isValid()) return {};
    const QTime t = dt.time();
    return {toEngineDate(dt.date()), t.hour(), t.minute(), t.second(), t.msec()};
}

QString fieldString(engine::Cursor& c, const QString& field) {
    return qs(c.asString(u8(field)));
}

int fieldInt(engine::Cursor& c, const QString& field) {
    return static_cast<int>(c.asInteger(u8(field)));
}

bool fieldBool(engine::Cursor& c, const QString& field) {
    return c.asBoolean(u8(field)).value_or(false);
}

QDate fieldDate(engine::Cursor& c, const QString& field) {
    return toQDate(c.asDate(u8(field)));
}

QDateTime fieldDateTime(engine::Cursor& c, const QString& field) {
    return toQDateTime(c.asDateTime(u8(field)));
}

QByteArray fieldBytes(engine::Cursor& c, const QString& field) {
    auto bytes = c.readBlob(u8(field));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

void setFieldString(engine::Table& t, const QString& field, const QString& v) {
    t.setString(u8(field), u8(v));
}

void setFieldInt(engine::Table& t, const QString& field, int v) {
    t.setInteger(u8(field), v);
}

void setFieldBool(engine::Table& t, const QString& field, bool v) {
    t.setBoolean(u8(field), v);
}

void setFieldDate(engine::Table& t, const QString& field, const QDate& v) {
    if (!v.isValid())
        t.setNull(u8(field));
    else
        t.setDate(u8(field), toEngineDate(v));
}

void setFieldDateTime(engine::Table& t, const QString& field, const QDateTime& v) {
    if (!v.isValid())
        t.setNull(u8(field));
    else
        t.setDateTime(u8(field), toEngineDateTime(v));
}

void setFieldBytes(engine::Table& t, const QString& field, const QByteArray& v) {
    t.writeBlob(u8(field),
                std::as_bytes(std::span(v.constData(), static_cast<std::size_t>(v.size()))));
}

}  // namespace pulpex
