#include "planner/ui/d_n_bud.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/ui/help.h"
#include "planner/alarms.h"
#include "planner/ui/alarm_check.h"
#include "tables/globals.h"

namespace pulpex {

Td_n_budzik::Td_n_budzik(QWidget* parent)
    : TPulpexDialog(parent, "d_n_budzik", QStringLiteral("Nowy alarm"), kHelpNowyAlarm) {
    auto* lbTime = new QLabel(QStringLiteral("&Godzina:"), this);
    lbTime->setObjectName(QStringLiteral("Label1"));
    editTime = new QTimeEdit(this);
    editTime->setObjectName(QStringLiteral("editTime"));
    editTime->setDisplayFormat(QStringLiteral("HH:mm"));
    lbTime->setBuddy(editTime);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setTabChangesFocus(true);
    chbAktywny = new QCheckBox(QStringLiteral("&Aktywny"), this);
    chbAktywny->setObjectName(QStringLiteral("chbAktywny"));
    chbAktywny->setChecked(true);
    chbCodzien = new QCheckBox(QStringLiteral("&Na wszystkie dni"), this);
    chbCodzien->setObjectName(QStringLiteral("chbCodzien"));
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK", {}, /*isDefault=*/true);
    btnCancel = CancelButton(QStringLiteral("Anuluj"), "btnCancel");
    connect(btnOK, &QPushButton::clicked, this, &Td_n_budzik::btnOKClick);

    auto* top = new QHBoxLayout;
    top->addWidget(lbTime);
    top->addWidget(editTime);
    top->addStretch();
    auto* flags = new QHBoxLayout;
    flags->addWidget(chbAktywny);
    flags->addWidget(chbCodzien);
    flags->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Memo1, 1);
    layout->addLayout(flags);
    layout->addLayout(ButtonRow({}, {btnOK, btnCancel}));
    SetActiveControl(editTime);
    resize(320, 220);
}

void Td_n_budzik::showEvent(QShowEvent* event) {
    // Whole minutes: the picker shows no seconds, so the alarm rings at the minute shown.
    const QTime now = QTime::currentTime();
    editTime->setTime(QTime(now.hour(), now.minute()));
    TPulpexDialog::showEvent(event);
}

void Td_n_budzik::FillRecord(TRec_Alarmy& record, const QDate& date) const {
    record.ID = 0;
    record.ALR_DAT = date;
    record.ALR_GDZ = editTime->time();
    record.ALR_AKT = chbAktywny->isChecked();
    record.ALR_CDZ = chbCodzien->isChecked();
    record.ALR_ODC = false;
    record.ALR_OPI.SetText(Memo1->toPlainText());
}

void Td_n_budzik::btnOKClick() {
    const QString failed = QStringLiteral("Nie udało się zapisać alarmu.");
    if (!TblAlarmy || !TblAlarmy->Active()) {
        prompts().message(Severity::Error,
                          failed + QStringLiteral("\r\nTabela alarmów nie jest otwarta."));
        return;
    }
    if (!FitEditorText(Memo1, TblAlarmy->T().codePage(), QStringLiteral("Tekst alarmu"))) return;
    TRec_Alarmy record;
    FillRecord(record, date_);
    const bool stored = Guarded(
        [&] {
            int id = 0;
            TblAlarmy->OT_AddNew(id, record);
        },
        failed);
    if (!stored) return;
    accept();
}

int NowyAlarm(QWidget* owner, const QDate& date) {
    Td_n_budzik dlg(owner);
    dlg.Prepare(date);
    if (dlg.exec() != QDialog::Accepted) return 0;
    emit AlarmNotifier().Changed();
    return 1;
}

}  // namespace pulpex
