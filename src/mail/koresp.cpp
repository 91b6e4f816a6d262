#include "mail/koresp.h"

#include <optional>

#include "addresses/adresy.h"
#include "core/system.h"
#include "core/utils.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

QString userColumn(int n) {
    return QStringLiteral("KOR_US0") + QString::number(n);
}

// A column of the table's current row; empty when there is no table or no row to read.
QString currentValue(TOT_Table* table, const QString& column) {
    if (!table || !table->HasRow()) return {};
    return fieldString(table->T(), column);
}

}  // namespace

const std::vector<TPlaceholder>& Placeholders() {
    static const std::vector<TPlaceholder> table = [] {
        std::vector<TPlaceholder> t = {
            {QStringLiteral("{<1>IMIE}"), 1, QStringLiteral("AD_IMIE")},
            {QStringLiteral("{<1>NAZW}"), 1, QStringLiteral("AD_NAZW")},
            {QStringLiteral("{<1>FIRMA}"), 1, QStringLiteral("AD_NAZF")},
            {QStringLiteral("{<1>EMAIL}"), 1, QStringLiteral("AD_MAIL")},
            {QStringLiteral("{<1>MIASTO}"), 1, QStringLiteral("AD_MIAS")},
            {QStringLiteral("{<1>KOD}"), 1, QStringLiteral("AD_KOD")},
            {QStringLiteral("{<1>ULICA}"), 1, QStringLiteral("AD_ULIC")},
            {QStringLiteral("{<1>DOM}"), 1, QStringLiteral("AD_DOM")},
            {QStringLiteral("{<1>LOKAL}"), 1, QStringLiteral("AD_LOKA")},
            {QStringLiteral("{<1>TELEFON}"), 1, QStringLiteral("AD_TEL1")},
            {QStringLiteral("{<1>FAX}"), 1, QStringLiteral("AD_FAX")},
        };
        for (int n = 1; n <= 5; ++n)
            t.push_back({QStringLiteral("{<1>POLE_%1}").arg(n), 1,
                         QStringLiteral("AD_WOL") + QString::number(n)});
        t.push_back({QStringLiteral("{<2>OPERATOR}"), 2, {}});
        t.push_back({QStringLiteral("{<2>DATA}"), 2, {}});
        t.push_back({QStringLiteral("{<2>GODZINA}"), 2, {}});
        for (int n = 1; n <= 9; ++n)
            t.push_back({QStringLiteral("{<3>UZYTK_%1}").arg(n), 3, userColumn(n)});
        return t;
    }();
    return table;
}

// ---------------------------------------------------------------- TRec_Korespondencja

void TRec_Korespondencja::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    setFieldString(t, QStringLiteral("KOR_OPI"), KOR_US[0]);
    for (int n = 1; n <= 9; ++n)
        setFieldString(t, userColumn(n), KOR_US[static_cast<std::size_t>(n)]);
    KOR_TRS.SaveTextToBlob(table, QStringLiteral("KOR_TRS"));
    TOT_Record::StoreFields(table);
}

void TRec_Korespondencja::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    KOR_US[0] = fieldString(t, QStringLiteral("KOR_OPI"));
    ReadUserFields(t);
    KOR_TRS.LoadTextFromBlob(table, QStringLiteral("KOR_TRS"));
    TOT_Record::LoadFields(table);
}

void TRec_Korespondencja::ReadUserFields(engine::Cursor& data) {
    for (int n = 1; n <= 9; ++n)
        KOR_US[static_cast<std::size_t>(n)] = fieldString(data, userColumn(n));
}

QString TRec_Korespondencja::PlaceholderValue(const QString& token, const QDateTime& now) const {
    for (const auto& p : Placeholders()) {
        if (p.token != token) continue;
        switch (p.group) {
            case 1:
                return currentValue(TblAdresy, p.column);
            case 3:
                return currentValue(TblKorespondencja, p.column);
            default: {
                const QDateTime at = now.isValid() ? now : QDateTime::currentDateTime();
                if (token == QLatin1String("{<2>OPERATOR}"))
                    return System() ? System()->CurrentUserName() : QString();
                if (token == QLatin1String("{<2>DATA}")) return DateToStr(at.date());
                return TimeToStr(at.time());
            }
        }
    }
    return {};
}

// The text is kept as pieces, each either from the template or inserted by a value. Tokens are
// searched in table order, every occurrence replaced, but only in pieces of the template: text a
// value inserted is never searched again. Rescanning it, as a plain "replace until none is left"
// would, never ends for a value holding its own token ("{<1>NAZW}" as a surname) and lets one
// addressee's data pull in another placeholder. Tokens cannot overlap (each holds one "{" and one
// "}"), so the result is the same as replacing them in text order.
QString TRec_Korespondencja::Substitute(const QString& text, const QDateTime& now) const {
    struct Piece {
        QString text;
        bool inserted;
    };
    const QDateTime at = now.isValid() ? now : QDateTime::currentDateTime();
    std::vector<Piece> pieces{{text, false}};
    for (const auto& p : Placeholders()) {
        std::optional<QString> value;  // read once, and only when the token occurs
        std::vector<Piece> out;
        out.reserve(pieces.size());
        for (auto& piece : pieces) {
            if (piece.inserted || !piece.text.contains(p.token)) {
                out.push_back(std::move(piece));
                continue;
            }
            if (!value) value = PlaceholderValue(p.token, at);
            qsizetype from = 0;
            for (qsizetype found = piece.text.indexOf(p.token); found >= 0;
                 found = piece.text.indexOf(p.token, from)) {
                if (found > from) out.push_back({piece.text.mid(from, found - from), false});
                out.push_back({*value, true});
                from = found + p.token.size();
            }
            if (from < piece.text.size()) out.push_back({piece.text.mid(from), false});
        }
        pieces = std::move(out);
    }
    QString result;
    for (const auto& piece : pieces)
        result += piece.text;
    return result;
}

// ---------------------------------------------------------------- TTbl_Korespondencja

TTbl_Korespondencja::TTbl_Korespondencja() : TOT_Table(QStringLiteral("KORESP")) {
    IDIndexName = QStringLiteral("KOR_ID");
    HousekeepingOn = false;
    std::vector<TFieldDefinition> fields = {
        {"ID", TFieldType::Integer},
        {"KOR_OPI", TFieldType::String, 25},
        {"KOR_TRS", TFieldType::Memo, 10},
    };
    for (int n = 1; n <= 9; ++n)
        fields.push_back({userColumn(n), TFieldType::String, 25});
    CreateInfo.SetDefinitions(std::move(fields),
                              {{"KOR_ID", "ID", "", ixPrimary}, {"KOR_OPI", "KOR_OPI", "", 0}});
}

}  // namespace pulpex
