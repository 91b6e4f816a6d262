#include "tables/am_diags.h"

#include "tables/engine/codepage.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kDATKA = QStringLiteral("DATKA");
const QString kOPIS1 = QStringLiteral("OPIS1");
const QString kOPIS2 = QStringLiteral("OPIS2");

// The text with every character the table's code page cannot hold replaced by '?': an entry
// about, say, a file name in another script is worth keeping with a gap in it, whereas the engine
// would refuse the whole row.
QString fitToCodePage(const engine::CodePage& cp, const QString& text) {
    QString out;
    out.reserve(text.size());
    std::string scratch;
    for (char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        scratch.clear();
        out += cp.encode(u8(one), scratch) ? one : QStringLiteral("?");
    }
    return out;
}

}  // namespace

void TRec_Diags::StoreFields(TOT_Table& table) {
    engine::Table& t = table.T();
    setFieldDateTime(t, kDATKA, DATKA);
    setFieldString(t, kOPIS1, OPIS1);
    setFieldString(t, kOPIS2, OPIS2);
    TOT_Record::StoreFields(table);
}

void TRec_Diags::LoadFields(TOT_Table& table) {
    engine::Table& t = table.T();
    DATKA = fieldDateTime(t, kDATKA);
    OPIS1 = fieldString(t, kOPIS1);
    OPIS2 = fieldString(t, kOPIS2);
    TOT_Record::LoadFields(table);
}

// Opened shared like every other table: several workstations log at once, and the engine
// serialises their appends.
TTbl_Diags::TTbl_Diags() : TOT_Table(QStringLiteral("DIAGS")) {
    HousekeepingOn = false;
    CreateInfo.SetDefinitions({{kDATKA, TFieldType::DateTime},
                               {kOPIS1, TFieldType::String, 250},
                               {kOPIS2, TFieldType::String, 250}},
                              {});
}

void TTbl_Diags::AddDiagReg(const QString& text, const QString& detail) {
    engine::Table& t = T();
    TRec_Diags rec;
    rec.OPIS1 = fitToCodePage(t.codePage(), text);
    rec.OPIS2 = fitToCodePage(t.codePage(), detail);
    t.append();
    try {
        rec.StoreFields(*this);
        PostRow();
    } catch (...) {
        CancelRow();
        throw;
    }
}

void LogDiag(const QString& text, const QString& detail) {
    if (!TblDiags) return;
    try {
        TTbl_Diags& diags = *TblDiags;
        if (diags.Active()) diags.AddDiagReg(text, detail);
    } catch (...) {
        // The log never disturbs what it records.
    }
}

}  // namespace pulpex
