// Fonts by the names the settings store. "Fixedsys", the Windows system font the older program
// saved, does not exist here: it keeps its name (so settings stay as they are) and is matched to
// a monospace font.
#pragma once

#include <QFont>
#include <QString>

namespace pulpex {

QFont StoredFont(const QString& family, int pointSize);

// Whether every character of `font` is equally wide, so that text laid out in columns stays
// aligned. Judged by the widths of the characters themselves: a font may be monospaced without
// saying so (QFontInfo::fixedPitch()).
bool HasFixedPitch(const QFont& font);

}  // namespace pulpex
