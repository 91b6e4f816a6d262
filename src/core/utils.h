// Common helpers without windows: INI files read and written like the Windows private-profile
// functions, messages, directories, dates in the system formats, file copies by mask and the
// Polish day and month names.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <stdexcept>

namespace pulpex {

// A text that should hold a number does not. what() is the Polish message, in UTF-8.
class EConvertError : public std::runtime_error {
  public:
    explicit EConvertError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// --- INI files (UTF-8 text), with the semantics of GetPrivateProfileString & co.

// The value of `key` in `section` of `file`, at most 255 characters; `def` (cut the same way,
// trailing blanks dropped) when the file, the section or the key is absent. Section and key names
// are case-insensitive, blanks around keys and values are trimmed, a value enclosed in matching
// double or single quotes loses them, lines beginning with ';' are comments. Lines before the
// first section belong to no section.
QString IniReadString(const QString& section, const QString& key, const QString& def,
                      const QString& file);
// IniReadString with `def` written in decimal, converted to an integer (optional sign, decimal
// digits; "$1F" and "0x1F" in hex). Throws EConvertError when the text is not a number.
int IniReadInt(const QString& section, const QString& key, int def, const QString& file);
// Writes key=value. The file (with missing parent directories) and the section are created on
// first write; an existing key is replaced in place keeping its spelling; every other line is kept
// byte for byte. The new file replaces the old one atomically. False when it cannot write: no
// permission, a read-only file, or names and values that cannot stand in an INI line (an empty
// key or section, line breaks, '=' in a key, ']' in a section).
bool IniWriteString(const QString& section, const QString& key, const QString& value,
                    const QString& file);

// $XDG_CONFIG_HOME/pulpex/win.ini, XDG_CONFIG_HOME defaulting to $HOME/.config: stands for WIN.INI.
QString WinIniPath();
// $XDG_CONFIG_HOME/pulpex/Pulpex.ini: stands for the Pulpex.ini that Windows finds by bare name
// (not the installation's PULPEX.INI).
QString UserIniPath();
bool WinIniWrite(const QString& section, const QString& key, const QString& value);

// --- Messages

// Level 0 a warning, 1 an error, 2 a critical error after which the application quits; any other
// level shows an empty message.
void ShowWarning(int level, const QString& text);
// Tells that a function is not there yet (only when `flag` is true).
void NotImplemented(bool flag, const QString& text);

// --- Directories and files

// Creates every missing directory of `path` (absolute or relative), level by level. False when one
// cannot be created (no permission, or a component is an existing file).
bool ForceDirs(const QString& path);
// Adds a trailing "/" when missing.
QString AddSlash(const QString& path);
// Removes one trailing "/".
QString RemoveSlash(const QString& path);

// The regular files (hidden ones included) matching `mask`, sorted full paths. The last component
// of the mask may hold * and ? and is matched case-insensitively, as on Windows; a trailing ".*"
// also matches names without an extension ("*.*" is every file).
QStringList FilesByMask(const QString& mask);
// Copies every file matching `mask` under its own name into `directory`. Without `replace` a file
// of that name (in any letter case) in `directory` makes the copy fail; with it the file is
// replaced, even when read-only. Stops at the first failure. True when at least one file was
// copied and none failed. Each copy is written under a temporary name and renamed, so a failed
// copy never leaves a partial file under the real name.
bool CopyFilesByMask(const QString& mask, const QString& directory, bool replace);
// Deletes every file matching `mask`, read-only ones included.
void DeleteFilesByMask(const QString& mask);

// --- Dates in the system formats: date "yyyy-MM-dd", long time "hh:mm:ss", short time "hh:mm"

// A null QDateTime (the zero date) for an empty text, one shorter than 10 characters, or one that
// is not a date optionally followed by a blank and a time ("hh:mm" or "hh:mm:ss").
QDateTime ParseDateTime(const QString& text);
QString DateToStr(const QDate& date);
QString TimeToStr(const QTime& time);
QString ShortTimeToStr(const QTime& time);
// Date and long time; the date alone at midnight.
QString DateTimeToStr(const QDateTime& dateTime);
// "hh:mm" or "hh:mm:ss"; an invalid QTime otherwise.
QTime StrToTime(const QString& text);
// A date literal for the local SQL: ` cast("M/D/YYYY" as date) `. A null date stands for the zero
// date, 1899-12-30.
QString SqlDate(const QDate& date);

// --- Polish names (days Sunday first)

const QStringList& ShortDayNames();
const QStringList& LongDayNames();
const QStringList& ShortMonthNames();
const QStringList& LongMonthNames();
// The long day name; empty for an invalid date.
QString DayName(const QDate& date);
// The long month name of 1..12; empty otherwise.
QString MonthName(int month);

}  // namespace pulpex
