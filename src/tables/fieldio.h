// Field access in Qt types over the engine's cursors: the table layer and the windows hold
// texts as QString and dates as QDate / QDateTime, the engine speaks UTF-8 and its own dates.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <string>

#include "tables/engine/cursor.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"

namespace pulpex {

inline std::string u8(const QString& s) {
    return s.toStdString();
}
inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QDate toQDate(const engine::Date& d);
engine::Date toEngineDate(const QDate& d);
QDateTime toQDateTime(const engine::DateTime& dt);
engine::DateTime toEngineDateTime(const QDateTime& dt);

// Reads; a blank field gives an empty text, 0, false or an invalid date.
QString fieldString(engine::Cursor& c, const QString& field);
int fieldInt(engine::Cursor& c, const QString& field);
bool fieldBool(engine::Cursor& c, const QString& field);
QDate fieldDate(engine::Cursor& c, const QString& field);
QDateTime fieldDateTime(engine::Cursor& c, const QString& field);
QByteArray fieldBytes(engine::Cursor& c, const QString& field);  // memo / graphic bytes as stored

// Writes (the table must be in edit or insert state). An invalid date clears the field.
void setFieldString(engine::Table& t, const QString& field, const QString& v);
void setFieldInt(engine::Table& t, const QString& field, int v);
void setFieldBool(engine::Table& t, const QString& field, bool v);
void setFieldDate(engine::Table& t, const QString& field, const QDate& v);
void setFieldDateTime(engine::Table& t, const QString& field, const QDateTime& v);
void setFieldBytes(engine::Table& t, const QString& field, const QByteArray& v);

}  // namespace pulpex
