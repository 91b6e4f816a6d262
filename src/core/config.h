// Settings of the installation (section "config" of PULPEX.INI) and of the current user
// (section "config_" + user identifier), and the numbering patterns of new register entries.
#pragma once

#include <QString>

namespace pulpex {

// Reads the key (at most 255 characters; the default when absent) and writes the value back,
// so that a missing key is stored with its default.
QString ReadConfig(const QString& key, const QString& def);
void WriteConfig(const QString& key, const QString& value);
QString ReadUserConfig(const QString& key, const QString& def);
void WriteUserConfig(const QString& key, const QString& value);

// The pattern for event type 1, 2 or 3 ("P/{R4}/{MSC}/{NZ}" …); empty for other types.
QString PatternForType(int eventType);
// The pattern with its tokens replaced; counters are taken (take) or only looked at.
QString ExpandPattern(int eventType, bool take);
// One token's value ("{R2}", "{R4}", "{MSC}", "{NZ}", "{NP}", "{NK}").
QString TokenValue(const QString& token, bool take);

}  // namespace pulpex
