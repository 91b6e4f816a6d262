#include "core/config.h"

#include <array>
#include <utility>

#include "core/system.h"
#include "core/utils.h"
#include "tables/engine/error.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/id_gener.h"

namespace pulpex {

namespace {

const QString kSection = QStringLiteral("config");

QDate gToday;

QString userSection() {
    return QStringLiteral("config_") + QString::number(System() ? System()->CurrentUserID() : 0);
}

QString readKey(const QString& section, const QString& key, const QString& def) {
    TAM_System* sys = System();
    if (!sys) return def;
    const QString value = IniReadString(section, key, def, sys->IniFile);
    // A second read with another default tells a missing key from one that holds the default,
    // so that a key that is there is never rewritten (a rewrite would cut a longer value and
    // race with other workstations' writes). The defaults differ in their first character, so
    // the 255-character cut cannot make them equal.
    const QString other = (def.startsWith(u'_') ? QStringLiteral("-") : QStringLiteral("_")) + def;
    if (IniReadString(section, key, other, sys->IniFile) != value)
        IniWriteString(section, key, value, sys->IniFile);
    return value;
}

bool writeKey(const QString& section, const QString& key, const QString& value) {
    TAM_System* sys = System();
    return sys && IniWriteString(section, key, value, sys->IniFile);
}

// Table order, not position in the text.
const std::array<QString, 6> kTokens = {
    QStringLiteral("{R2}"), QStringLiteral("{R4}"), QStringLiteral("{MSC}"),
    QStringLiteral("{NZ}"), QStringLiteral("{NP}"), QStringLiteral("{NK}"),
};

bool isCounter(const QString& token) {
    return token == QLatin1String("{NZ}") || token == QLatin1String("{NP}") ||
           token == QLatin1String("{NK}");
}

struct TokenResult {
    QString text;
    bool ok = true;
    QString error;
};

TokenResult value(QString text) {
    return {std::move(text), true, {}};
}
// A counter that could not be taken or read stands as 0.
TokenResult failed(QString error) {
    return {QStringLiteral("0"), false, std::move(error)};
}

TokenResult tokenValue(const QString& token, bool take) {
    const QDate today = PatternToday();
    if (token == QLatin1String("{R2}"))
        return value(QStringLiteral("%1").arg(today.year() % 100, 2, 10, QLatin1Char('0')));
    if (token == QLatin1String("{R4}")) return value(QString::number(today.year()));
    if (token == QLatin1String("{MSC}")) return value(QString::number(today.month()));
    if (!isCounter(token)) return value({});

    if (!TblID)
        return failed(QStringLiteral("Brak tabeli liczników: nie można pobrać numeru ") + token);
    try {
        const int n = take ? TblID->GenerateID(token) : TblID->ConsultnextID(token);
        if (n == 0)
            return failed(QStringLiteral("Nie można pobrać kolejnego numeru licznika ") + token +
                          QStringLiteral(" (licznik jest zablokowany przez inne stanowisko "
                                         "lub nie można go zapisać)"));
        return value(QString::number(n));
    } catch (const engine::EDatabaseError& e) {
        return failed(QStringLiteral("Błąd licznika ") + token + QStringLiteral(": ") +
                      qs(e.what()));
    }
}

// Each replacement removes one "{" and puts in digits only, so the loop ends after at most as
// many rounds as the pattern has "{". Stops at the first failed counter when asked to.
bool expand(int eventType, bool take, bool stopOnFailure, QString& text, QString* error) {
    text = PatternForType(eventType);
    bool allOk = true;
    for (;;) {
        const QString* found = nullptr;
        qsizetype at = -1;
        for (const QString& token : kTokens) {
            at = text.indexOf(token);
            if (at >= 0) {
                found = &token;
                break;
            }
        }
        if (!found) break;
        TokenResult r = tokenValue(*found, take);
        text.replace(at, found->size(), r.text);
        if (!r.ok) {
            if (allOk && error) *error = r.error;
            allOk = false;
            if (stopOnFailure) break;
        }
    }
    return allOk;
}

}  // namespace

QString ReadConfig(const QString& key, const QString& def) {
    return readKey(kSection, key, def);
}

bool WriteConfig(const QString& key, const QString& value) {
    return writeKey(kSection, key, value);
}

QString ReadUserConfig(const QString& key, const QString& def) {
    return readKey(userSection(), key, def);
}

bool WriteUserConfig(const QString& key, const QString& value) {
    return writeKey(userSection(), key, value);
}

QString PatternForType(int eventType) {
    switch (eventType) {
        case 1:
            return ReadConfig(QStringLiteral("smb_przychodzace"),
                              QStringLiteral("P/{R4}/{MSC}/{NZ}"));
        case 2:
            return ReadConfig(QStringLiteral("smb_wychodzace"),
                              QStringLiteral("W/{R4}/{MSC}/{NZ}"));
        case 3:
            return ReadConfig(QStringLiteral("smb_inne"), QStringLiteral("I/{R4}/{MSC}/{NZ}"));
        default:
            return {};
    }
}

QString ExpandPattern(int eventType, bool take) {
    QString text;
    expand(eventType, take, false, text, nullptr);
    return text;
}

bool ExpandPatternChecked(int eventType, QString& out, QString* error) {
    return expand(eventType, true, true, out, error);
}

QString TokenValue(const QString& token, bool take) {
    return tokenValue(token, take).text;
}

QDate PatternToday() {
    return gToday.isNull() ? QDate::currentDate() : gToday;
}

QDate SetPatternToday(const QDate& date) {
    return std::exchange(gToday, date);
}

}  // namespace pulpex
