// Settings of the installation (section "config" of PULPEX.INI) and of the current user
// (section "config_" + user identifier), and the numbering patterns of new register entries.
#pragma once

#include <QDate>
#include <QString>

namespace pulpex {

// Reads the key (at most 255 characters; the default when absent). A missing key is stored with
// its default; a key that is there is left as it is in the file.
QString ReadConfig(const QString& key, const QString& def);
// False when the file cannot be written (or there is no system object).
bool WriteConfig(const QString& key, const QString& value);
QString ReadUserConfig(const QString& key, const QString& def);
bool WriteUserConfig(const QString& key, const QString& value);

// The pattern for event type 1, 2 or 3 ("P/{R4}/{MSC}/{NZ}" …); empty for other types.
QString PatternForType(int eventType);
// The pattern with its tokens replaced; counters are taken (take) or only looked at. A counter
// that cannot be taken (or read) gives 0 in its place.
QString ExpandPattern(int eventType, bool take);
// As ExpandPattern with take, but false when a counter could not be taken: the generator gave 0,
// there is no generator, or the engine failed (`error`, when given, says which in Polish). It
// stops at the first such counter, so no further numbers are used up; `out` then holds the text
// expanded so far, the failed counter as 0.
bool ExpandPatternChecked(int eventType, QString& out, QString* error = nullptr);
// One token's value ("{R2}", "{R4}", "{MSC}", "{NZ}", "{NP}", "{NK}"); empty for anything else.
QString TokenValue(const QString& token, bool take);

// The date the date tokens use: today, unless a date was set (tests, a register kept for
// another day). A null date goes back to the system clock. Returns the date set before (null
// when none was).
QDate PatternToday();
QDate SetPatternToday(const QDate& date);

}  // namespace pulpex
