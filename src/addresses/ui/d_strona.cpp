#include "addresses/ui/d_strona.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "addresses/adresy.h"
#include "addresses/ui/pola_adresu.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "tables/globals.h"

namespace pulpex {

TNowaStrona::TNowaStrona(QWidget* parent)
    : TPulpexDialog(parent, "NowaStrona", QStringLiteral("Nowa Strona"), kHelpNowaStrona) {
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    pola_ = std::make_unique<TPolaAdresu>(
        BudujPolaAdresu(this, tAdresy, QStringLiteral("&Dodatkowe pola")));

    rgPrywatny = Bound<TDBRadioGroup>(this, "rgPrywatny", tAdresy, QStringLiteral("AD_PRYW"));
    rgPrywatny->SetItems(
        {QStringLiteral("Firma lub instytucja"), QStringLiteral("Osoba prywatna")});
    rgPrywatny->SetValues({QStringLiteral("False"), QStringLiteral("True")});

    btnOk = MakeButton(this, QStringLiteral("&OK"), "btnOk", {}, /*isDefault=*/true);
    btnOk->setEnabled(false);
    connect(btnOk, &QPushButton::clicked, this, &TNowaStrona::btnOkClick);
    connect(pola_->edFirma, &QLineEdit::textChanged, this, &TNowaStrona::FieldsChange);
    connect(pola_->edNazwisko, &QLineEdit::textChanged, this, &TNowaStrona::FieldsChange);

    auto* right = new QVBoxLayout;
    right->addWidget(rgPrywatny);
    right->addWidget(pola_->gbDodatkowe, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(pola_->panel, 3);
    body->addLayout(right, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(
        ButtonRow({}, {btnOk, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));

    KeepPosted({tAdresy});
    SetActiveControl(pola_->edNazwisko);
    resize(760, 420);
}

TNowaStrona::~TNowaStrona() = default;

bool TNowaStrona::Prepare() {
    if (!TblAdresy) {
        prompts().message(Severity::Error, QStringLiteral("Tabela adresów nie jest otwarta."));
        return false;
    }
    int id = 0;
    if (!Guarded([&] {
            TRec_Adresy empty;
            TblAdresy->OT_AddNew(id, empty);
        }))
        return false;
    id_ = id;
    // The view holds that one row, so that nothing else can be edited here by mistake.
    bool found = false;
    Guarded([&] {
        tAdresy->SetRange(id_, id_);
        tAdresy->Open();
        found = !tAdresy->IsEmpty();
        if (found) tAdresy->Edit();
    });
    if (!found) {
        prompts().beep();
        reject();
        return false;
    }
    FieldsChange();
    return true;
}

void TNowaStrona::FieldsChange() {
    btnOk->setEnabled(!pola_->edFirma->text().trimmed().isEmpty() ||
                      !pola_->edNazwisko->text().trimmed().isEmpty());
}

void TNowaStrona::btnOkClick() {
    // The same rule as the button's: Enter in an edit must not get round it.
    FieldsChange();
    if (btnOk->isEnabled()) accept();
}

void TNowaStrona::reject() {
    // What was typed is dropped, and the row stored for it goes again.
    Guarded([&] {
        if (tAdresy->Active()) {
            tAdresy->Cancel();
            tAdresy->Close();
        }
        if (id_ != 0 && TblAdresy) TblAdresy->DeleteByID(id_);
    });
    id_ = 0;
    TPulpexDialog::reject();
}

int NowaStrona(QWidget* owner) {
    TNowaStrona d(owner);
    if (!d.Prepare()) return 0;
    return d.exec() == QDialog::Accepted ? d.NewID() : 0;
}

}  // namespace pulpex
