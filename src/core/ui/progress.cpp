#include "core/ui/progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/window.h"

namespace pulpex {

TProgressDlg_v3::TProgressDlg_v3(QWidget* owner) : QDialog(nullptr), owner_(owner) {
    setObjectName(QStringLiteral("ProgressDlg_v3"));
    setWindowTitle(QStringLiteral("Obliczenia"));
    // Not modal: the caller's loop keeps running; the active window is disabled instead.
    setModal(false);
    lbTekst = new QLabel(this);
    lbTekst->setObjectName(QStringLiteral("lbTekst"));
    lbTekst->setVisible(false);
    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    btnPrzerwij = MakeButton(this, QStringLiteral("Przerwij"), "btnPrzerwij");
    connect(btnPrzerwij, &QPushButton::clicked, this, &TProgressDlg_v3::requestCancel);

    auto* buttons = ButtonRow({}, {btnPrzerwij});
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbTekst);
    layout->addWidget(Gauge);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

TProgressDlg_v3::~TProgressDlg_v3() {
    // An operation left by an exception must not leave its window disabled.
    Finish();
}

void TProgressDlg_v3::Start(int max, bool allowCancel) {
    if (!running_) {
        QWidget* active = QApplication::activeWindow();
        if (active && active != this && active->isEnabled()) {
            active->setEnabled(false);
            disabled_ = active;
        }
    }
    running_ = true;
    allowCancel_ = allowCancel;
    cancelRequested_ = false;
    Gauge->setRange(0, max > 0 ? max : 0);
    Gauge->setValue(0);
    btnPrzerwij->setEnabled(allowCancel);
    adjustSize();
    if (QWidget* over = owner_ ? owner_->window() : disabled_.data())
        move(over->geometry().center() - rect().center());
    show();
    raise();
    QCoreApplication::processEvents();
}

void TProgressDlg_v3::Step(int n) {
    SetPosition(Gauge->value() + n);
}

void TProgressDlg_v3::SetPosition(int position) {
    Gauge->setValue(qBound(Gauge->minimum(), position, Gauge->maximum()));
    QCoreApplication::processEvents();
}

int TProgressDlg_v3::Position() const {
    return Gauge->value();
}

void TProgressDlg_v3::SetText(const QString& text) {
    lbTekst->setText(text);
    lbTekst->setVisible(!text.isEmpty());
}

void TProgressDlg_v3::Finish() {
    if (!running_) return;
    running_ = false;
    hide();
    if (disabled_) {
        disabled_->setEnabled(true);
        disabled_->activateWindow();
    }
    disabled_.clear();
}

void TProgressDlg_v3::requestCancel() {
    if (allowCancel_ && running_) cancelRequested_ = true;
}

void TProgressDlg_v3::closeEvent(QCloseEvent* event) {
    // The window stays until the operation finishes; closing it asks to stop, when allowed.
    if (running_) {
        requestCancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TProgressDlg_v3::reject() {
    // Escape: the same as the button.
    if (running_) {
        requestCancel();
        return;
    }
    QDialog::reject();
}

}  // namespace pulpex
