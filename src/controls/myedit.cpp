#include "controls/myedit.h"

#include <QDate>
#include <QStackedWidget>
#include <QTabWidget>
#include <algorithm>
#include <optional>

#include "core/prompts.h"

namespace pulpex {

namespace {

quint64 nextSerial = 0;

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

std::optional<qint64> parseInteger(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok) return std::nullopt;
    return v;
}

// Both the Polish decimal comma and the point are accepted.
std::optional<double> parseFloat(const QString& text) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok) return std::nullopt;
    return v;
}

std::optional<QDate> parseDate(const QString& text) {
    const QDate d = QDate::fromString(text.trimmed(), kDateFormat);
    if (!d.isValid()) return std::nullopt;
    return d;
}

// A bound that does not parse as the field's type limits nothing: the default bounds "0" and
// "100" are no dates, and a date field without bounds of its own must still accept dates.
template <typename T>
bool inRange(const T& v, const std::optional<T>& lo, const std::optional<T>& hi) {
    return (!lo || !(v < *lo)) && (!hi || !(*hi < v));
}

}  // namespace

TMyEdit::TMyEdit(QWidget* parent) : QLineEdit(parent), serial_(nextSerial++) {
    SetItemType(meit_Integer);
}

void TMyEdit::SetItemType(ItemType t) {
    itemType_ = t;
    switch (t) {
        case meit_Integer:
        case meit_Float:
            setText(QStringLiteral("0"));
            break;
        case meit_Date:
            setText(QDate::currentDate().toString(kDateFormat));
            break;
        case meit_Text:
            clear();
            break;
    }
}

QString TMyEdit::failure() const {
    const QString range = minVal_ + QStringLiteral(" - ") + maxVal_;
    switch (itemType_) {
        case meit_Integer: {
            const auto v = parseInteger(text());
            if (!v) return QStringLiteral("To nie jest liczba całkowita");
            if (!inRange(*v, parseInteger(minVal_), parseInteger(maxVal_)))
                return QStringLiteral("Liczba powinna być z przedziału : ") + range;
            return {};
        }
        case meit_Float: {
            const auto v = parseFloat(text());
            if (!v) return QStringLiteral("To nie jest liczba");
            if (!inRange(*v, parseFloat(minVal_), parseFloat(maxVal_)))
                return QStringLiteral("Liczba powinna być z przedziału : ") + range;
            return {};
        }
        case meit_Date: {
            const auto v = parseDate(text());
            if (!v) return QStringLiteral("To nie jest poprawna data");
            if (!inRange(*v, parseDate(minVal_), parseDate(maxVal_)))
                return QStringLiteral("Data powinna być z przedziału : ") + range;
            return {};
        }
        case meit_Text: {
            const qint64 len = text().length();
            const auto lo = parseInteger(minVal_);
            const auto hi = parseInteger(maxVal_);
            if (lo && len < *lo)
                return QStringLiteral("Tekst musi mieć co najmniej ") + minVal_ +
                       QStringLiteral(" znaków !");
            if (hi && len > *hi)
                return QStringLiteral("Tekst może mieć co najwyżej ") + maxVal_ +
                       QStringLiteral(" znaków !");
            return {};
        }
    }
    return {};
}

bool TMyEdit::Check() {
    reason_ = failure();
    if (reason_.isEmpty()) return true;
    if (showComment_)
        prompts().message(Severity::Error, komentarz_ + QStringLiteral("\r\n") + reason_);
    return false;
}

namespace {

// Turns every tab page between `w` and `form` to the page that holds `w`, outermost first so
// that an inner notebook is visible when its page is chosen.
void showPagesOf(QWidget* w, QWidget* form) {
    std::vector<std::pair<QTabWidget*, QWidget*>> turns;
    for (QWidget* child = w; child && child != form; child = child->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(child->parentWidget());
        if (!stack) continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
            turns.emplace_back(tabs, child);
    }
    for (auto it = turns.rbegin(); it != turns.rend(); ++it)
        it->first->setCurrentWidget(it->second);
}

}  // namespace

bool ValidateForm(QWidget* form) {
    if (!form) return true;
    QList<TMyEdit*> edits = form->findChildren<TMyEdit*>();
    std::sort(edits.begin(), edits.end(), [](const TMyEdit* a, const TMyEdit* b) {
        return a->CreationSerial() < b->CreationSerial();
    });
    for (TMyEdit* e : edits) {
        if (e->Check()) continue;
        showPagesOf(e, form);
        e->setFocus(Qt::OtherFocusReason);
        return false;
    }
    return true;
}

}  // namespace pulpex
