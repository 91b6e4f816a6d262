#include "cases/ui/d_n_spr.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "cases/sprawy.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "tables/globals.h"

namespace pulpex {

Td_n_sprawa::Td_n_sprawa(QWidget* parent)
    : TPulpexDialog(parent, "d_n_sprawa", QStringLiteral("Nowa sprawa"), kHelpNowaSprawa) {
    tSprawy = TableDataSet(this, "tSprawy", QStringLiteral("SPRAWY"), QStringLiteral("SPRAW_ID"));
    edNazwa = Bound<TDBEdit>(this, "edNazwa", tSprawy, QStringLiteral("SP_NAZ"));
    edNazwa->SetMaxLength(40);
    edNumer = Bound<TDBEdit>(this, "edNumer", tSprawy, QStringLiteral("SP_NUM"));
    edNumer->SetMaxLength(16);
    memOpis = Bound<TDBMemo>(this, "memOpis", tSprawy, QStringLiteral("SP_OPI"));
    memOpis->setTabChangesFocus(true);
    btnOK = MakeButton(this, QStringLiteral("O&K"), "btnOK", {}, /*isDefault=*/true);
    connect(btnOK, &QPushButton::clicked, this, &Td_n_sprawa::btnOKClick);
    connect(edNazwa, &QLineEdit::textChanged, this, &Td_n_sprawa::namesChanged);
    connect(edNumer, &QLineEdit::textChanged, this, &Td_n_sprawa::namesChanged);

    auto* form = new QFormLayout;
    auto* lbNazwa = new QLabel(QStringLiteral("&Nazwa:"), this);
    lbNazwa->setBuddy(edNazwa);
    auto* lbNumer = new QLabel(QStringLiteral("N&umer:"), this);
    lbNumer->setBuddy(edNumer);
    auto* lbOpis = new QLabel(QStringLiteral("O&pis:"), this);
    lbOpis->setBuddy(memOpis);
    form->addRow(lbNazwa, edNazwa);
    form->addRow(lbNumer, edNumer);
    form->addRow(lbOpis, memOpis);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(
        ButtonRow({}, {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));
    resize(420, 300);

    KeepPosted({tSprawy});
    SetActiveControl(edNazwa);
    namesChanged();
}

bool Td_n_sprawa::Prepare() {
    const bool stored = Guarded(
        [&] {
            if (!TblSprawy) throw EDatabaseError("Brak tabeli SPRAWY w katalogu");
            OpenForCall open(*TblSprawy);
            TRec_Sprawy rec;
            id_ = 0;
            TblSprawy->OT_AddNew(rec.ID, rec);
            id_ = rec.ID;
        },
        QStringLiteral("Nie można utworzyć nowej sprawy."));
    if (!stored) return false;
    const bool opened = Guarded([&] {
        // The dialog works on its own row only.
        tSprawy->SetRange(id_, id_);
        tSprawy->Open();
        tSprawy->Edit();
        tSprawy->SetFieldValue(QStringLiteral("SP_NUM"), QString::number(id_));
        tSprawy->Post();
    });
    if (!opened) {
        reject();
        return false;
    }
    namesChanged();
    return true;
}

void Td_n_sprawa::namesChanged() {
    btnOK->setEnabled(!edNazwa->text().trimmed().isEmpty() && !edNumer->text().trimmed().isEmpty());
}

void Td_n_sprawa::btnOKClick() {
    if (!btnOK->isEnabled()) return;
    bool taken = false;
    if (!Guarded([&] {
            OpenForCall open(*TblSprawy);
            taken = TblSprawy->IstniejeNazwa(edNazwa->text(), id_);
        }))
        return;
    if (taken) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Istnieje sprawa o takiej nazwie.\r\nZmień nazwę sprawy"));
        edNazwa->setFocus(Qt::OtherFocusReason);
        return;
    }
    accept();  // done() posts the row
}

void Td_n_sprawa::reject() {
    Guarded([&] {
        if (tSprawy->Editing()) tSprawy->Cancel();
        tSprawy->Close();
    });
    if (id_ != 0 && TblSprawy) {
        Guarded(
            [&] {
                OpenForCall open(*TblSprawy);
                TblSprawy->DeleteByID(id_);
            },
            QStringLiteral("Nie usunięto porzuconej sprawy."));
    }
    TPulpexDialog::reject();
}

int NowaSprawa(QWidget* owner) {
    Td_n_sprawa dialog(owner);
    if (!dialog.Prepare()) return 0;
    dialog.exec();
    return dialog.Result();
}

}  // namespace pulpex
