// Fonts by the names the settings store. "Fixedsys", the Windows system font the older program
// saved, does not exist here: it keeps its name (so settings stay as they are) and is matched to
// a monospace font.
#pragma once

#include <QFont>
#include <QString>

namespace pulpex {

QFont StoredFont(const QString& family, int pointSize);

}  // namespace pulpex
