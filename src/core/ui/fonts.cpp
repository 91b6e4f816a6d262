#include "core/ui/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace pulpex {

QFont StoredFont(const QString& family, int pointSize) {
    QFont font(family);
    if (family.compare(QLatin1String("Fixedsys"), Qt::CaseInsensitive) == 0) {
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        // The name stays what the settings hold; when no font of that name exists, the system's
        // own fixed font comes next in line, rather than whatever the font matching picks for
        // a monospace hint (which may be a font whose letters differ in width).
        if (!QFontDatabase::hasFamily(family)) {
            const QString fixed =
                QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
            font.setFamilies({family, fixed});
        }
    }
    if (pointSize > 0) font.setPointSize(pointSize);
    return font;
}

}  // namespace pulpex
