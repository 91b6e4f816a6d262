#include "core/ui/fonts.h"

namespace pulpex {

QFont StoredFont(const QString& family, int pointSize) {
    QFont font(family);
    if (pointSize > 0) font.setPointSize(pointSize);
    if (family.compare(QLatin1String("Fixedsys"), Qt::CaseInsensitive) == 0) {
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
    }
    return font;
}

}  // namespace pulpex
