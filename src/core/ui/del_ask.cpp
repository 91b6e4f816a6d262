#include "core/ui/del_ask.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pulpex {

namespace {
// A button that is neither the dialog's default nor a candidate for it: Enter goes to the one
// with the focus.
QPushButton* plainButton(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}
}  // namespace

Tform_AskBeforeDeletion::Tform_AskBeforeDeletion(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("form_AskBeforeDeletion"));
    setWindowTitle(QStringLiteral("Czy na pewno chcesz usunąć?"));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    lbTekst = new QLabel(this);
    lbTekst->setObjectName(QStringLiteral("lbTekst"));
    lbTekst->setWordWrap(true);
    lbTekst->setVisible(false);
    btnTak = plainButton(QStringLiteral("&TAK"), "btnTak", this);
    btnNie = plainButton(QStringLiteral("&NIE"), "btnNie", this);
    btnNie->setDefault(true);
    connect(btnTak, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnNie, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(lbTekst, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnTak);
    buttons->addWidget(btnNie);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

void Tform_AskBeforeDeletion::SetText(const QString& text) {
    lbTekst->setText(text);
    lbTekst->setVisible(!text.isEmpty());
}

bool Tform_AskBeforeDeletion::Ask() {
    return exec() == QDialog::Accepted;
}

void Tform_AskBeforeDeletion::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Every showing starts on "&NIE", whatever had the focus the last time.
    btnNie->setFocus(Qt::OtherFocusReason);
}

TD_us_pas::TD_us_pas(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("D_us_pas"));
    setWindowTitle(QStringLiteral("Uwaga !"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignCenter);
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    btnTak = plainButton(QStringLiteral("&Tak"), "btnTak", this);
    btnNie = plainButton(QStringLiteral("&Nie"), "btnNie", this);
    btnNie->setDefault(true);
    connect(btnTak, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnNie, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnTak);
    buttons->addWidget(btnNie);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

bool TD_us_pas::Ask(const QString& question, const QString& warning) {
    Label1->setText(question);
    Label2->setText(warning);
    return exec() == QDialog::Accepted;
}

void TD_us_pas::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    btnNie->setFocus(Qt::OtherFocusReason);
}

}  // namespace pulpex
