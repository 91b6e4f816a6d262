#include "planner/ui/d_budzik.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "planner/ui/alarm_check.h"

namespace pulpex {

Td_notatka::Td_notatka(QWidget* parent)
    : TPulpexDialog(parent, "d_notatka", QStringLiteral("Zegarek"), kHelpZegarek) {
    tAlarmy = TableDataSet(this, "tAlarmy", QStringLiteral("ALARM"));
    DBText1 = Bound<TDBText>(this, "DBText1", tAlarmy, QStringLiteral("ALR_GDZ"));
    QFont big = DBText1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 2);
    DBText1->setFont(big);
    DBText1->setAlignment(Qt::AlignCenter);
    DBMemo1 = Bound<TDBMemo>(this, "DBMemo1", tAlarmy, QStringLiteral("ALR_OPI"));
    DBMemo1->setTabChangesFocus(true);
    DBCheckBox1 = Bound<TDBCheckBox>(this, "DBCheckBox1", tAlarmy, QStringLiteral("ALR_AKT"));
    DBCheckBox1->setText(QStringLiteral("&Aktywność"));
    DBCheckBox2 = Bound<TDBCheckBox>(this, "DBCheckBox2", tAlarmy, QStringLiteral("ALR_CDZ"));
    DBCheckBox2->setText(QStringLiteral("&Na wszystkie dni"));
    CheckBox1 = new QCheckBox(QStringLiteral("&Usuń notatkę z bazy"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    BitBtn1 = MakeButton(this, QStringLiteral("&OK"), "BitBtn1", {}, /*isDefault=*/true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &Td_notatka::beepAll);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* flags = new QHBoxLayout;
    flags->addWidget(DBCheckBox1);
    flags->addWidget(DBCheckBox2);
    flags->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DBText1);
    layout->addWidget(DBMemo1, 1);
    layout->addLayout(flags);
    layout->addLayout(ButtonRow({CheckBox1}, {BitBtn1}));
    SetActiveControl(BitBtn1);
    resize(340, 240);
}

void Td_notatka::OpenAlarm(int id) {
    tAlarmy->Close();
    tAlarmy->SetFilter(QStringLiteral("ID = ") + QString::number(id));
    tAlarmy->SetFiltered(true);
    tAlarmy->Open();
}

void Td_notatka::beepAll() {
    for (int i = 0; i < kBeeps; ++i)
        prompts().beep();
}

void Td_notatka::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    beepAll();
    Timer1->start();
}

void Td_notatka::done(int r) {
    // A text the table cannot take is put right with the user, or the dialog stays open with
    // it; a value a control could not write keeps it open too. Engine errors are left for
    // StoreOrDelete, which hands them to the caller.
    if (!CheckBox1->isChecked() && tAlarmy->Editing()) {
        if (!FitEditorText(DBMemo1, tAlarmy->Table()->codePage(), QStringLiteral("Tekst alarmu")))
            return;
        bool engineError = false;
        try {
            tAlarmy->Post();
        } catch (const engine::EDatabaseError&) {
            engineError = true;
        }
        if (!engineError && tAlarmy->Editing()) return;
    }
    // No beep may follow the closing, whichever way the dialog is closed.
    Timer1->stop();
    TPulpexDialog::done(r);
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
    // The lists follow whatever happened to the row, a failed store included.
    struct Tell {
        ~Tell() { emit AlarmNotifier().Changed(); }
    } tell;
    dlg.StoreOrDelete();
    dlg.tAlarmy->Close();
}

}  // namespace pulpex
