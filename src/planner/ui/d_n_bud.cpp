#include "planner/ui/d_n_bud.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/ui/help.h"
#include "planner/alarms.h"
#include "tables/globals.h"

namespace pulpex {

namespace {


}  // namespace

Td_n_budzik::Td_n_budzik(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("d_n_budzik"));
    setWindowTitle(QStringLiteral("Nowy alarm"));
    SetHelpContext(this, kHelpNowyAlarm);

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
    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Anuluj"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(lbTime);
    top->addWidget(editTime);
    top->addStretch();
    auto* flags = new QHBoxLayout;
    flags->addWidget(chbAktywny);
    flags->addWidget(chbCodzien);
    flags->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Memo1, 1);
    layout->addLayout(flags);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(320, 220);
}

void Td_n_budzik::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Whole minutes: the picker shows no seconds, so the alarm rings at the minute shown.
    const QTime now = QTime::currentTime();
    editTime->setTime(QTime(now.hour(), now.minute()));
    editTime->setFocus(Qt::OtherFocusReason);
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

int NowyAlarm(QWidget* owner, const QDate& date) {
    Td_n_budzik dlg(owner);
    if (dlg.exec() != QDialog::Accepted) return 0;
    TRec_Alarmy record;
    dlg.FillRecord(record, date);
    const QString failed = QStringLiteral("Nie udało się zapisać alarmu.");
    if (!TblAlarmy) {
        prompts().message(Severity::Error,
                          failed + QStringLiteral("\r\nTabela alarmów nie jest otwarta."));
        return 0;
    }
    try {
        int id = 0;
        TblAlarmy->OT_AddNew(id, record);
    } catch (const EDatabaseError& e) {
        prompts().message(Severity::Error,
                          failed + QStringLiteral("\r\n") + QString::fromUtf8(e.what()));
        return 0;
    }
    return 1;
}

}  // namespace pulpex
