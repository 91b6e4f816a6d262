#include "planner/ui/d_budzik.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "tables/tbase.h"

namespace pulpex {

namespace {


}  // namespace

Td_notatka::Td_notatka(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("d_notatka"));
    setWindowTitle(QStringLiteral("Zegarek"));
    SetHelpContext(this, kHelpZegarek);

    tAlarmy = new TTableDataSet(this);
    tAlarmy->setObjectName(QStringLiteral("tAlarmy"));
    tAlarmy->SetTableName(QStringLiteral("ALARM"));

    DBText1 = new TDBText(this);
    DBText1->setObjectName(QStringLiteral("DBText1"));
    DBText1->SetDataSet(tAlarmy);
    DBText1->SetDataField(QStringLiteral("ALR_GDZ"));
    QFont big = DBText1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 2);
    DBText1->setFont(big);
    DBText1->setAlignment(Qt::AlignCenter);
    DBMemo1 = new TDBMemo(this);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->SetDataSet(tAlarmy);
    DBMemo1->SetDataField(QStringLiteral("ALR_OPI"));
    DBMemo1->setTabChangesFocus(true);
    DBCheckBox1 = new TDBCheckBox(this);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setText(QStringLiteral("&Aktywność"));
    DBCheckBox1->SetDataSet(tAlarmy);
    DBCheckBox1->SetDataField(QStringLiteral("ALR_AKT"));
    DBCheckBox2 = new TDBCheckBox(this);
    DBCheckBox2->setObjectName(QStringLiteral("DBCheckBox2"));
    DBCheckBox2->setText(QStringLiteral("&Na wszystkie dni"));
    DBCheckBox2->SetDataSet(tAlarmy);
    DBCheckBox2->SetDataField(QStringLiteral("ALR_CDZ"));
    CheckBox1 = new QCheckBox(QStringLiteral("&Usuń notatkę z bazy"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    BitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &Td_notatka::beepAll);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* flags = new QHBoxLayout;
    flags->addWidget(DBCheckBox1);
    flags->addWidget(DBCheckBox2);
    flags->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckBox1);
    bottom->addStretch();
    bottom->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DBText1);
    layout->addWidget(DBMemo1, 1);
    layout->addLayout(flags);
    layout->addLayout(bottom);
    resize(340, 240);
}

void Td_notatka::OpenAlarm(int id) {
    tAlarmy->Close();
    tAlarmy->SetDatabaseName(System() ? System()->DataDir : QString());
    tAlarmy->SetFilter(QStringLiteral("ID = ") + QString::number(id));
    tAlarmy->SetFiltered(true);
    tAlarmy->Open();
}

void Td_notatka::beepAll() {
    for (int i = 0; i < kBeeps; ++i)
        prompts().beep();
}

void Td_notatka::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    beepAll();
    Timer1->start();
    BitBtn1->setFocus(Qt::OtherFocusReason);
}

void Td_notatka::done(int r) {
    // A text the table cannot take is refused by its control, which tells the user so; the
    // dialog stays open with the text instead of dropping the changes. Engine errors are left
    // for StoreOrDelete, which hands them to the caller.
    if (!CheckBox1->isChecked() && tAlarmy->State() == TDataSetState::Edit) {
        bool engineError = false;
        try {
            tAlarmy->Post();
        } catch (const EDatabaseError&) {
            engineError = true;
        }
        if (!engineError && tAlarmy->State() == TDataSetState::Edit) return;
    }
    // No beep may follow the closing, whichever way the dialog is closed.
    Timer1->stop();
    QDialog::done(r);
}

void Td_notatka::StoreOrDelete() {
    if (!tAlarmy->Active()) return;
    // Deleted meanwhile at another workstation: nothing to keep, and editing an empty view
    // would start a new row.
    if (tAlarmy->IsEmpty()) {
        tAlarmy->Cancel();
        return;
    }
    if (CheckBox1->isChecked()) {
        tAlarmy->Cancel();
        tAlarmy->Delete();
    } else {
        tAlarmy->Edit();
        tAlarmy->Post();
    }
}

void PokazAlarm(QWidget* owner, int id) {
    Td_notatka dlg(owner);
    dlg.OpenAlarm(id);
    dlg.exec();
    dlg.StoreOrDelete();
    dlg.tAlarmy->Close();
}

}  // namespace pulpex
