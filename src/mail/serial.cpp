#include "mail/serial.h"

#include <QRegularExpression>

#include "addresses/adresy.h"
#include "mail/koresp.h"
#include "tables/globals.h"

namespace pulpex {

bool PrepareSeries(int templateId, const TListaWybranychAdresow& picked, TSerialSeries& series) {
    series = {};
    if (!TblKorespondencja || !TblAdresy) return false;
    // Addresses just edited in the address book, here or at another workstation, are seen.
    TblAdresy->ReopenKeepPosition();
    // This also puts the shared template table on the row that supplies the user values.
    TRec_Korespondencja templ;
    if (!TblKorespondencja->ReadRecordByID(templateId, templ)) return false;
    series.templateId = templateId;
    series.subject = templ.KOR_OPI().trimmed();
    const QString text = templ.KOR_TRS.GetText();
    series.letters.reserve(static_cast<std::size_t>(picked.Count()));
    for (int i = 1; i <= picked.Count(); ++i) {
        TRec_Adresy address;
        if (!TblAdresy->ReadRecordByID(picked.Id(i), address)) {
            ++series.missing;
            continue;
        }
        TSerialLetter letter;
        letter.position = i;
        letter.addressId = address.ID;
        letter.name = address.AD_NAZW.trimmed();
        if (letter.name.isEmpty()) letter.name = address.AD_NAZF.trimmed();
        letter.email = address.AD_MAIL().trimmed();
        letter.text = templ.Substitute(text);
        series.letters.push_back(std::move(letter));
    }
    return true;
}

QStringList WithoutEmail(const TSerialSeries& series) {
    QStringList names;
    for (const TSerialLetter& l : series.letters)
        if (l.email.isEmpty()) names << l.name;
    return names;
}

QStringList LetterLines(const QString& text) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    return text.split(lineEnd);
}

}  // namespace pulpex
