#include "register/ui/adres_zd.h"

#include <QGroupBox>
#include <QVBoxLayout>

#include "addresses/ui/pola_adresu.h"
#include "controls/dbcontrols.h"

namespace pulpex {

QVBoxLayout* BudujStroneAdresu(QWidget* page, TTableDataSet* tAdresy) {
    TPolaAdresu p = BudujPolaAdresu(page, tAdresy, {});
    // The free fields belong to the address book only.
    delete p.gbDodatkowe;
    for (TDBEdit* e :
         {p.edNazwisko, p.edFirma, p.edUlica, p.edDom, p.edLokal, p.edKod, p.edMiejscowosc,
          p.edTelefon1, p.edTelefon2, p.edTelefon3, p.edFax, p.edEmail})
        e->setReadOnly(true);
    p.meUwagi->setReadOnly(true);
    // The first name may be corrected here; everything else is kept in the address book.
    p.edNazwisko->SetCharCase(TEditCharCase::ecUpperCase);
    p.edImie->SetCharCase(TEditCharCase::ecUpperCase);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(p.panel, 1);
    return layout;
}

}  // namespace pulpex
