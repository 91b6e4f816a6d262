#include "core/ui/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>
#include <cmath>

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

bool HasFixedPitch(const QFont& font) {
    const QFontMetricsF metrics(font);
    // Narrow and wide letters, the table's lines and blank, Polish letters.
    const QString probe = QStringLiteral("iWml1|- .ąŁŻźM");
    const qreal width = metrics.horizontalAdvance(probe.at(0));
    for (const QChar c : probe)
        if (std::abs(metrics.horizontalAdvance(c) - width) > 0.01 * width + 0.01) return false;
    return width > 0;
}

}  // namespace pulpex
