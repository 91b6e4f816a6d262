// A serial mailing prepared: the chosen template filled in for every picked correspondent, read
// through the catalogue's shared tables before anything is sent or printed, so that the user can
// be told beforehand how many letters go out and who has no e-mail address.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace pulpex {

class TListaWybranychAdresow;

// One filled-in letter.
struct TSerialLetter {
    int position = 0;  // in the list of picked addresses, from 1
    int addressId = 0;
    QString name;   // how questions name the addressee: the surname, else the company
    QString email;  // AD_MAIL, trimmed
    QString text;   // the template filled in for this addressee
};

struct TSerialSeries {
    int templateId = 0;
    QString subject;  // the template's name (KOR_OPI)
    std::vector<TSerialLetter> letters;
    // Picked identifiers no row has any longer (deleted meanwhile): skipped without a word.
    int missing = 0;
};

// Reads the template `templateId` and, for each identifier of `picked` in turn, the address
// (positioning the shared address and template tables, which supply the placeholder values) and
// fills the template in. False when the template no longer exists. Engine errors pass.
bool PrepareSeries(int templateId, const TListaWybranychAdresow& picked, TSerialSeries& series);

// The names of the letters that have no e-mail address, in list order.
QStringList WithoutEmail(const TSerialSeries& series);

// The lines of a letter as printed: line ends of any platform ("\r\n", "\n", "\r") split.
QStringList LetterLines(const QString& text);

}  // namespace pulpex
