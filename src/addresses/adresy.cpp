#include "addresses/adresy.h"

#include <algorithm>
#include <exception>

#include "tables/engine/query.h"
#include "tables/fieldio.h"

namespace pulpex {

namespace {

struct StringColumn {
    const char* name;
    QString TRec_Adresy::*member;
};

// Every plain text column with its member, in the table's order (AD_MAIL and the free fields
// live in the AD_WOL array and are handled apart).
const StringColumn kStringColumns[] = {
    {"AD_NAZF", &TRec_Adresy::AD_NAZF}, {"AD_NAZW", &TRec_Adresy::AD_NAZW},
    {"AD_IMIE", &TRec_Adresy::AD_IMIE}, {"AD_ULIC", &TRec_Adresy::AD_ULIC},
    {"AD_DOM", &TRec_Adresy::AD_DOM},   {"AD_LOKA", &TRec_Adresy::AD_LOKA},
    {"AD_KOD", &TRec_Adresy::AD_KOD},   {"AD_MIAS", &TRec_Adresy::AD_MIAS},
    {"AD_TEL1", &TRec_Adresy::AD_TEL1}, {"AD_TEL2", &TRec_Adresy::AD_TEL2},
    {"AD_TEL3", &TRec_Adresy::AD_TEL3}, {"AD_FAX", &TRec_Adresy::AD_FAX},
};

QString freeFieldName(int n) {
    return QStringLiteral("AD_WOL") + QString::number(n);
}

}  // namespace

// ---------------------------------------------------------------- TRec_Adresy

void TRec_Adresy::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldInt(t, QStringLiteral("ID"), ID);
    for (const auto& c : kStringColumns)
        setFieldString(t, QLatin1String(c.name), this->*c.member);
    setFieldString(t, QStringLiteral("AD_MAIL"), AD_WOL[0]);
    setFieldBool(t, QStringLiteral("AD_PRYW"), AD_PRYW);
    for (int n = 1; n <= 5; ++n)
        setFieldString(t, freeFieldName(n), AD_WOL[static_cast<std::size_t>(n)]);
    AD_OPIS.SaveTextToBlob(table, QStringLiteral("AD_OPIS"));
    AD_OLE.SaveToBlob(table, QStringLiteral("AD_OLE"));
    setFieldString(t, QStringLiteral("AD_NIP"), AD_NIP);
    TOT_Record::StoreFields(table);
}

void TRec_Adresy::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    ID = fieldInt(t, QStringLiteral("ID"));
    for (const auto& c : kStringColumns)
        this->*c.member = fieldString(t, QLatin1String(c.name));
    AD_WOL[0] = fieldString(t, QStringLiteral("AD_MAIL"));
    AD_PRYW = fieldBool(t, QStringLiteral("AD_PRYW"));
    for (int n = 1; n <= 5; ++n)
        AD_WOL[static_cast<std::size_t>(n)] = fieldString(t, freeFieldName(n));
    AD_OPIS.LoadTextFromBlob(table, QStringLiteral("AD_OPIS"));
    AD_OLE.LoadFromBlob(table, QStringLiteral("AD_OLE"));
    AD_NIP = fieldString(t, QStringLiteral("AD_NIP"));
    TOT_Record::LoadFields(table);
}

// ---------------------------------------------------------------- TTbl_Adresy

TTbl_Adresy::TTbl_Adresy() : TOT_Table(QStringLiteral("ADRESY")) {
    IDIndexName = QStringLiteral("ADR_ID");
    HousekeepingOn = false;
    // ID is declared auto-increment for compatibility with existing files; its value still comes
    // from OT_AddNew, like every other table's.
    CreateInfo.SetDefinitions(
        {
            {"ID", TFieldType::AutoInc},         {"AD_NAZF", TFieldType::String, 50},
            {"AD_NAZW", TFieldType::String, 25}, {"AD_IMIE", TFieldType::String, 25},
            {"AD_ULIC", TFieldType::String, 25}, {"AD_DOM", TFieldType::String, 25},
            {"AD_LOKA", TFieldType::String, 25}, {"AD_KOD", TFieldType::String, 25},
            {"AD_MIAS", TFieldType::String, 25}, {"AD_TEL1", TFieldType::String, 25},
            {"AD_TEL2", TFieldType::String, 25}, {"AD_TEL3", TFieldType::String, 25},
            {"AD_FAX", TFieldType::String, 25},  {"AD_MAIL", TFieldType::String, 50},
            {"AD_PRYW", TFieldType::Boolean},    {"AD_WOL1", TFieldType::String, 50},
            {"AD_WOL2", TFieldType::String, 50}, {"AD_WOL3", TFieldType::String, 50},
            {"AD_WOL4", TFieldType::String, 50}, {"AD_WOL5", TFieldType::String, 50},
            {"AD_OPIS", TFieldType::Memo, 10},   {"AD_OLE", TFieldType::Memo, 10},
            {"AD_NIP", TFieldType::String, 25},
        },
        {{"ADR_ID", "ID", "", ixPrimary}});
}

void TTbl_Adresy::PreInit() {
    const bool wasOpen = Active();
    try {
        Open();
        if (T().recordCount() == 0) {
            TRec_Adresy r;
            r.AD_NAZF = QStringLiteral("Biuro Rachunkowe „Żuraw” Sp. z o.o.");
            r.AD_IMIE = QStringLiteral("Grzegorz");
            r.AD_NAZW = QStringLiteral("Brzęczyszczykiewicz");
            r.AD_ULIC = QStringLiteral("ul. Piotrkowska");
            r.AD_DOM = QStringLiteral("112");
            r.AD_LOKA = QStringLiteral("3");
            r.AD_KOD = QStringLiteral("90-602");
            r.AD_MIAS = QStringLiteral("Łódź");
            r.AD_TEL1 = QStringLiteral("42 630 12 34");
            r.AD_MAIL() = QStringLiteral("sekretariat@zuraw.com.pl");
            r.AD_WOL[1] = QStringLiteral("NIP 725-184-43-02");
            r.AD_OPIS.SetText(
                QStringLiteral("Przykładowy kontrahent, dodany przy zakładaniu bazy adresów.\n"
                               "Osoba kontaktowa: Grzegorz Brzęczyszczykiewicz, główny księgowy.\n"
                               "Można go poprawić albo usunąć."));
            r.AD_NIP = QStringLiteral("725-184-43-02");
            r.AD_PRYW = false;
            int id = 0;
            OT_AddNew(id, r);
        }
    } catch (const std::exception&) {
        // Without the sample the book simply starts empty.
    }
    if (!wasOpen) Close();
}

std::unique_ptr<TRec_Adresy> TTbl_Adresy::DajGoscia(int id) {
    auto r = std::make_unique<TRec_Adresy>();
    if (!ReadRecordByID(id, *r)) return nullptr;
    return r;
}

QString TTbl_Adresy::DajNazwe(int id) {
    const auto r = DajGoscia(id);
    if (!r) return {};
    return r->AD_NAZF + QStringLiteral("; ") + r->AD_IMIE + QLatin1Char(' ') + r->AD_NAZW;
}

QString TTbl_Adresy::DajEMail(int id) {
    const auto r = DajGoscia(id);
    return r ? r->AD_MAIL() : QString();
}

int TTbl_Adresy::IleZdarzen(int id) {
    engine::Query q(u8(DatabaseName));
    q.sql() = {"select count(*) as ILE from ZDARZ where ZD_ADR = :adr"};
    q.setParam("adr", engine::Value{std::int64_t{id}});
    q.open();
    q.first();
    return q.eof() ? 0 : static_cast<int>(q.asInteger(0));
}

// ---------------------------------------------------------------- TListaWybranychAdresow

void TListaWybranychAdresow::Clear() {
    std::fill(ids_.begin(), ids_.begin() + count_, 0);
    count_ = 0;
}

int TListaWybranychAdresow::Fill(const std::vector<engine::Bookmark>& selected,
                                 engine::Cursor& data) {
    Clear();
    const std::size_t taken = std::min<std::size_t>(selected.size(), kCapacity);
    for (std::size_t k = 0; k < taken; ++k) {
        data.gotoBookmark(selected[k]);
        ids_[k] = static_cast<int>(data.asInteger("ID"));
        count_ = static_cast<int>(k) + 1;
    }
    return static_cast<int>(selected.size() - taken);
}

int TListaWybranychAdresow::Id(int k) const {
    if (k < 1 || k > count_) return 0;
    return ids_[static_cast<std::size_t>(k - 1)];
}

}  // namespace pulpex
