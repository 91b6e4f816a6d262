#include "register/ui/adres_zd.h"

#include <QGridLayout>
#include <QLabel>

#include "controls/dbcontrols.h"
#include "core/ui/window.h"

namespace pulpex {

namespace {

TDBEdit* field(QWidget* page, const char* name, TTableDataSet* ds, const char* fieldName) {
    auto* e = Bound<TDBEdit>(page, name, ds, QLatin1String(fieldName));
    e->setReadOnly(true);
    return e;
}

QLabel* label(QWidget* page, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, page);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

QGridLayout* BudujStroneAdresu(QWidget* page, TTableDataSet* tAdresy) {
    auto* edNazwisko = field(page, "edNazwisko", tAdresy, "AD_NAZW");
    edNazwisko->SetCharCase(TEditCharCase::ecUpperCase);
    // The first name may be corrected here; everything else is kept in the address book.
    auto* edImie = Bound<TDBEdit>(page, "edImie", tAdresy, QStringLiteral("AD_IMIE"));
    edImie->SetCharCase(TEditCharCase::ecUpperCase);
    auto* edFirma = field(page, "edFirma", tAdresy, "AD_NAZF");
    auto* edUlica = field(page, "edUlica", tAdresy, "AD_ULIC");
    auto* edDom = field(page, "edDom", tAdresy, "AD_DOM");
    auto* edLokal = field(page, "edLokal", tAdresy, "AD_LOKA");
    auto* edKod = field(page, "edKod", tAdresy, "AD_KOD");
    auto* edMiejscowosc = field(page, "edMiejscowosc", tAdresy, "AD_MIAS");
    auto* edTelefon1 = field(page, "edTelefon1", tAdresy, "AD_TEL1");
    auto* edTelefon2 = field(page, "edTelefon2", tAdresy, "AD_TEL2");
    auto* edTelefon3 = field(page, "edTelefon3", tAdresy, "AD_TEL3");
    auto* edFax = field(page, "edFax", tAdresy, "AD_FAX");
    auto* edEmail = field(page, "edEmail", tAdresy, "AD_MAIL");
    auto* memUwagi = Bound<TDBMemo>(page, "memUwagi", tAdresy, QStringLiteral("AD_OPIS"));
    memUwagi->setReadOnly(true);
    memUwagi->setTabChangesFocus(true);

    auto* g = new QGridLayout(page);
    int row = 0;
    g->addWidget(label(page, QStringLiteral("&Nazwisko"), edNazwisko), row, 0);
    g->addWidget(edNazwisko, row, 1, 1, 3);
    g->addWidget(edImie, row, 4, 1, 2);
    ++row;
    g->addWidget(label(page, QStringLiteral("&Firma"), edFirma), row, 0);
    g->addWidget(edFirma, row, 1, 1, 5);
    ++row;
    g->addWidget(label(page, QStringLiteral("&Ulica"), edUlica), row, 0);
    g->addWidget(edUlica, row, 1);
    g->addWidget(label(page, QStringLiteral("Dom"), edDom), row, 2);
    g->addWidget(edDom, row, 3);
    g->addWidget(label(page, QStringLiteral("Lokal"), edLokal), row, 4);
    g->addWidget(edLokal, row, 5);
    ++row;
    g->addWidget(label(page, QStringLiteral("&Kod"), edKod), row, 0);
    g->addWidget(edKod, row, 1);
    g->addWidget(label(page, QStringLiteral("&Miejscowość"), edMiejscowosc), row, 2);
    g->addWidget(edMiejscowosc, row, 3, 1, 3);
    ++row;
    g->addWidget(label(page, QStringLiteral("&Telefon 1"), edTelefon1), row, 0);
    g->addWidget(edTelefon1, row, 1);
    g->addWidget(label(page, QStringLiteral("Telefon 2"), edTelefon2), row, 2);
    g->addWidget(edTelefon2, row, 3);
    g->addWidget(label(page, QStringLiteral("Telefon 3"), edTelefon3), row, 4);
    g->addWidget(edTelefon3, row, 5);
    ++row;
    g->addWidget(label(page, QStringLiteral("Fa&x"), edFax), row, 0);
    g->addWidget(edFax, row, 1);
    g->addWidget(label(page, QStringLiteral("&e:mail"), edEmail), row, 2);
    g->addWidget(edEmail, row, 3, 1, 3);
    ++row;
    g->addWidget(label(page, QStringLiteral("Uwag&i"), memUwagi), row, 0, Qt::AlignTop);
    g->addWidget(memUwagi, row, 1, 1, 5);
    g->setRowStretch(row, 1);
    return g;
}

}  // namespace pulpex
