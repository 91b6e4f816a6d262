#include "core/ui/del_ask.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pulpex {

Tform_AskBeforeDeletion::Tform_AskBeforeDeletion(QWidget* parent)
    : TPulpexDialog(parent, "form_AskBeforeDeletion", QStringLiteral("Czy na pewno chcesz usunąć?"),
                    0) {
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    lbTekst = new QLabel(this);
    lbTekst->setObjectName(QStringLiteral("lbTekst"));
    lbTekst->setWordWrap(true);
    lbTekst->setVisible(false);
    // Enter goes to the button with the focus, which every showing puts on "&NIE".
    btnTak = MakeButton(this, QStringLiteral("&TAK"), "btnTak");
    btnNie = CancelButton(QStringLiteral("&NIE"), "btnNie");
    btnNie->setDefault(true);
    connect(btnTak, &QPushButton::clicked, this, &QDialog::accept);
    SetActiveControl(btnNie);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(lbTekst, 1);
    auto* buttons = ButtonRow({}, {btnTak, btnNie});
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

TD_us_pas::TD_us_pas(QWidget* parent)
    : TPulpexDialog(parent, "D_us_pas", QStringLiteral("Uwaga !"), 0) {
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
    btnTak = MakeButton(this, QStringLiteral("&Tak"), "btnTak");
    btnNie = CancelButton(QStringLiteral("&Nie"), "btnNie");
    btnNie->setDefault(true);
    connect(btnTak, &QPushButton::clicked, this, &QDialog::accept);
    SetActiveControl(btnNie);

    auto* buttons = ButtonRow({}, {btnTak, btnNie});
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

}  // namespace pulpex
