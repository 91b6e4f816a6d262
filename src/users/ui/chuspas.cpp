#include "users/ui/chuspas.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "core/ui/help.h"
#include "tables/password.h"
#include "tables/ui/entr_psw.h"

namespace pulpex {

namespace {

QLineEdit* passwordEdit(QWidget* parent, const char* name, QObject* styleOwner) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    MaskWithStars(e, styleOwner);
    return e;
}

}  // namespace

TformChangeUserPassword::TformChangeUserPassword(QWidget* parent)
    : TPulpexDialog(parent, "formChangeUserPassword", QStringLiteral("Zmiana hasła"),
                    kHelpPasswordChange) {
    edStare = passwordEdit(this, "edStare", this);
    edNowe = passwordEdit(this, "edNowe", this);
    edNowe2 = passwordEdit(this, "edNowe2", this);
    btnOk = MakeButton(this, QStringLiteral("&OK"), "btnOk", {}, /*isDefault=*/true);
    btnWroc = CancelButton(QStringLiteral("&Wróć"), "btnWroc");
    btnPomoc = HelpButton(QStringLiteral("&Pomoc"));
    connect(btnOk, &QPushButton::clicked, this, &TformChangeUserPassword::btnOkClick);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Stare hasło"), edStare);
    form->addRow(QStringLiteral("Nowe hasło"), edNowe);
    form->addRow(QStringLiteral("Nowe hasło 2"), edNowe2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(ButtonRow({}, {btnOk, btnWroc, btnPomoc}));
    SetActiveControl(edStare);
}

TformChangeUserPassword::~TformChangeUserPassword() = default;

void TformChangeUserPassword::showEvent(QShowEvent* event) {
    edStare->clear();
    edNowe->clear();
    edNowe2->clear();
    TPulpexDialog::showEvent(event);
}

bool TformChangeUserPassword::Execute(int storedValue, const QString& storedHash) {
    storedValue_ = storedValue;
    storedHash_ = storedHash;
    newPassword_.clear();
    const bool ok = exec() == QDialog::Accepted;
    edStare->clear();
    edNowe->clear();
    edNowe2->clear();
    return ok;
}

void TformChangeUserPassword::btnOkClick() {
    if (!PasswordMatches(storedValue_, storedHash_, edStare->text())) {
        prompts().message(Severity::Error, QStringLiteral("Podano błędne hasło "));
        edStare->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The texts are compared, not their old values: two different passwords of the same
    // character sum are two different passwords.
    if (edNowe->text() != edNowe2->text()) {
        prompts().message(Severity::Warning, QStringLiteral("Proszę wpisać dwa identyczne hasła"));
        edNowe2->setFocus(Qt::OtherFocusReason);
        return;
    }
    newPassword_ = edNowe->text();
    accept();
}

}  // namespace pulpex
