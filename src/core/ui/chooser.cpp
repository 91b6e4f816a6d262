#include "core/ui/chooser.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"

namespace pulpex {

TForm_Chooser::TForm_Chooser(QWidget* parent)
    : TPulpexDialog(parent, "Form_Chooser", QStringLiteral("Wybieranie z listy"), 0) {
    qLista = QueryDataSet(this, "qLista");
    grid = new TCV_DBGrid(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->SetDataSet(qLista);
    btnOk = MakeButton(this, QStringLiteral("&Ok"), "btnOk", {}, /*isDefault=*/true);
    btnAnuluj = CancelButton(QStringLiteral("Anuluj"), "btnAnuluj");
    connect(btnOk, &QPushButton::clicked, this, &TForm_Chooser::btnOkClick);
    connect(grid, &QAbstractItemView::doubleClicked, this, &TForm_Chooser::btnOkClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid, 1);
    layout->addLayout(ButtonRow({}, {btnOk, btnAnuluj}));
    SetActiveControl(grid);
    resize(420, 360);
}

TForm_Chooser::~TForm_Chooser() = default;

QStringList TForm_Chooser::SqlLines() const {
    return qLista->SQL();
}

void TForm_Chooser::showEvent(QShowEvent* event) {
    result_ = 0;
    qLista->Close();
    qLista->SetDatabaseName(DatabaseName);
    QStringList sql{QStringLiteral("SELECT ") + Fields + QStringLiteral(" ,ID "),
                    QStringLiteral("FROM ") + TableName};
    if (!Condition.isEmpty()) sql << QStringLiteral("WHERE ") + Condition;
    if (!Order.isEmpty()) sql << QStringLiteral("ORDER BY ") + Order;
    qLista->SetSQL(sql);
    // A list that cannot be read is reported; the dialog stays for the user to cancel.
    Guarded([this] { qLista->Open(); });
    grid->SetSearchName(SearchField);
    TPulpexDialog::showEvent(event);
}

void TForm_Chooser::btnOkClick() {
    // Nothing to choose: the dialog stays for the user to cancel.
    if (!qLista->Active() || qLista->IsEmpty()) {
        result_ = 0;
        return;
    }
    result_ = static_cast<int>(qLista->AsInteger(QStringLiteral("ID")));
    accept();
}

void TForm_Chooser::done(int r) {
    if (r != QDialog::Accepted) result_ = 0;
    qLista->Close();
    TPulpexDialog::done(r);
}

int TForm_Chooser::Execute() {
    return exec() == QDialog::Accepted ? result_ : 0;
}

}  // namespace pulpex
