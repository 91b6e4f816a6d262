// The day's printed registers as plain text with drawn table lines: the incoming letters, on which
// each recipient signs for what was handed over, and the outgoing letters for the post office,
// unregistered and registered ones apart. The window "Wydruk" shows, edits and prints them; the
// texts are built here from ZDARZ and ADRESY.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

namespace pulpex {

namespace engine {
class Cursor;
}

// `text` right-padded with blanks to `width` characters; a longer text is kept whole.
QString KomorkaZestawienia(const QString& text, int width);

struct TKomorka {
    QString text;
    int width = 0;
};
// "|" followed by each cell in its width and "|".
QString LiniaTabeli(const std::vector<TKomorka>& cells);

// The two lines of a correspondent, from the current row of an ADRESY cursor. Name: surname
// and first name of a private person (AD_PRYW), otherwise the company name. Address: town, postal
// code, street, house and flat, joined by blanks.
QString LiniaNazwy(engine::Cursor& adresy);
QString LiniaAdresu(engine::Cursor& adresy);

// The incoming letters (ZD_TYP 1) of `date` in the database directory `dataDir`: a title, the
// table with the columns "Numer", "Nadawca", "Symbol", "Odbiorca" and the empty "Odebrano" for
// the signature, two lines per letter (the sender's name, then its address). No lines at all
// when the day has no incoming letter. Engine errors pass as EDatabaseError.
QStringList Kor_p_w(const QString& dataDir, const QDate& date);

// The outgoing letters (ZD_TYP 2) of `date`: the unregistered ones, two empty lines, then the
// registered ones (ZD_POL), each section with its title and the columns "Odbiorca", "Numer
// polecenia" and "Cena". A section without letters has no lines, not even its title.
QStringList Kor_w_w(const QString& dataDir, const QDate& date);

}  // namespace pulpex
