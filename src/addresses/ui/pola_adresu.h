// The edits of one address, as both address windows show them: every column of ADRESY a window
// edits, bound to one data set and named after the design, laid out once.
#pragma once

#include <QString>
#include <array>

class QGroupBox;
class QWidget;

namespace pulpex {

class TDataSet;
class TDBEdit;
class TDBMemo;

struct TPolaAdresu {
    QWidget* panel = nullptr;  // names, street, town, telephones, e-mail and remarks
    TDBEdit* edNazwisko = nullptr;
    TDBEdit* edImie = nullptr;
    TDBEdit* edFirma = nullptr;
    TDBEdit* edUlica = nullptr;
    TDBEdit* edDom = nullptr;
    TDBEdit* edLokal = nullptr;
    TDBEdit* edKod = nullptr;
    TDBEdit* edMiejscowosc = nullptr;
    TDBEdit* edTelefon1 = nullptr;
    TDBEdit* edTelefon2 = nullptr;
    TDBEdit* edTelefon3 = nullptr;
    TDBEdit* edFax = nullptr;
    TDBEdit* edEmail = nullptr;
    TDBMemo* meUwagi = nullptr;
    QGroupBox* gbDodatkowe = nullptr;  // AD_WOL1 .. AD_WOL5, captioned `extraCaption`
    std::array<TDBEdit*, 5> edWol{};
};

// Builds the edits as children of `parent`, bound to `ds`.
TPolaAdresu BudujPolaAdresu(QWidget* parent, TDataSet* ds, const QString& extraCaption);

}  // namespace pulpex
