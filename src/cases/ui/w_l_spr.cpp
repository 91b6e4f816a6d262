#include "cases/ui/w_l_spr.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "cases/ui/d_n_spr.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/ui/help.h"

namespace pulpex {

TW_LSpraw::TW_LSpraw(QWidget* parent)
    : TPulpexDialog(parent, "W_LSpraw", QStringLiteral("Lista spraw"), kHelpListaSpraw) {
    qSprawy = QueryDataSet(
        this, "qSprawy",
        {QStringLiteral(
            "select SP_NAZ, ID, SP_OPI from SPRAWY where SP_ZAMK = \"False\" order by SP_NAZ")});
    grdSprawy = new TCV_DBGrid(this);
    grdSprawy->setObjectName(QStringLiteral("grdSprawy"));
    grdSprawy->SetDataSet(qSprawy);
    grdSprawy->AddColumn(QStringLiteral("SP_NAZ"), QStringLiteral("Nazwa Sprawy"));
    grdSprawy->SetSearchName(QStringLiteral("SP_NAZ"));
    grdSprawy->SetSearchCaseSens(false);
    grdSprawy->horizontalHeader()->setStretchLastSection(true);
    grdSprawy->verticalHeader()->hide();
    grdSprawy->setEditTriggers(QAbstractItemView::NoEditTriggers);
    memOpis = Bound<TDBMemo>(this, "memOpis", qSprawy, QStringLiteral("SP_OPI"));
    memOpis->setReadOnly(true);
    memOpis->setTabChangesFocus(true);
    auto* lbOpis = new QLabel(QStringLiteral("Opis sprawy:"), this);
    lbOpis->setBuddy(memOpis);
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK", {}, /*isDefault=*/true);
    btnNowa = MakeButton(this, QStringLiteral("&Utwórz nową sprawę"), "btnNowa");
    connect(btnOK, &QPushButton::clicked, this, &TW_LSpraw::btnOKClick);
    connect(btnNowa, &QPushButton::clicked, this, &TW_LSpraw::btnNowaClick);
    connect(grdSprawy, &QAbstractItemView::doubleClicked, this, [this] {
        if (btnOK->isEnabled()) btnOK->click();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdSprawy, 3);
    layout->addWidget(lbOpis);
    layout->addWidget(memOpis, 1);
    layout->addLayout(ButtonRow(
        {btnNowa}, {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));
    resize(460, 420);
    SetActiveControl(grdSprawy);
}

void TW_LSpraw::Prepare() {
    reopen(0);
}

void TW_LSpraw::reopen(int keepId) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Guarded([&] {
        qSprawy->Close();
        qSprawy->Open();
        if (keepId != 0) qSprawy->Locate(QStringLiteral("ID"), keepId);
    });
    QApplication::restoreOverrideCursor();
    qSprawyAfterOpen();
}

void TW_LSpraw::qSprawyAfterOpen() {
    const bool rows = qSprawy->Active() && !qSprawy->IsEmpty();
    memOpis->setEnabled(rows);
    btnOK->setEnabled(rows);
}

void TW_LSpraw::btnOKClick() {
    if (!qSprawy->Active() || qSprawy->IsEmpty()) return;
    result_ = static_cast<int>(qSprawy->AsInteger(QStringLiteral("ID")));
    accept();
}

void TW_LSpraw::btnNowaClick() {
    const int id = NowaSprawa(this);
    if (id != 0) reopen(id);
}

int ListaSpraw(QWidget* owner) {
    TW_LSpraw dialog(owner);
    dialog.Prepare();
    if (dialog.exec() != QDialog::Accepted) return 0;
    return dialog.Result();
}

}  // namespace pulpex
