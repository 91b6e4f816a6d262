#include "core/ui/chooser.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/grid/cvdbgrid.h"

namespace pulpex {

TForm_Chooser::TForm_Chooser(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form_Chooser"));
    setWindowTitle(QStringLiteral("Wybieranie z listy"));
    qLista = new TQueryDataSet(this);
    qLista->setObjectName(QStringLiteral("qLista"));
    grid = new TCV_DBGrid(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->SetDataSet(qLista);
    btnOk = new QPushButton(QStringLiteral("&Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnAnuluj = new QPushButton(QStringLiteral("Anuluj"), this);
    btnAnuluj->setObjectName(QStringLiteral("btnAnuluj"));
    btnAnuluj->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, &TForm_Chooser::btnOkClick);
    connect(btnAnuluj, &QPushButton::clicked, this, &QDialog::reject);
    connect(grid, &QAbstractItemView::doubleClicked, this, &TForm_Chooser::btnOkClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnAnuluj);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid, 1);
    layout->addLayout(buttons);
    resize(420, 360);
}

TForm_Chooser::~TForm_Chooser() = default;

QStringList TForm_Chooser::SqlLines() const {
    return qLista->SQL();
}

void TForm_Chooser::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    result_ = 0;
    qLista->Close();
    qLista->SetDatabaseName(DatabaseName);
    QStringList sql{QStringLiteral("SELECT ") + Fields + QStringLiteral(" ,ID "),
                    QStringLiteral("FROM ") + TableName};
    if (!Condition.isEmpty()) sql << QStringLiteral("WHERE ") + Condition;
    if (!Order.isEmpty()) sql << QStringLiteral("ORDER BY ") + Order;
    qLista->SetSQL(sql);
    qLista->Open();
    grid->SetSearchName(SearchField);
    grid->setFocus(Qt::OtherFocusReason);
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
    QDialog::done(r);
}

int TForm_Chooser::Execute() {
    return exec() == QDialog::Accepted ? result_ : 0;
}

}  // namespace pulpex
