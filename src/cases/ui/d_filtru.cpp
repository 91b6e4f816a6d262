#include "cases/ui/d_filtru.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "addresses/adresy.h"
#include "addresses/ui/w_stron.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "core/utils.h"
#include "planner/ui/w_kaled.h"
#include "register/ui/d_f_k_p.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

QRadioButton* radio(QWidget* parent, const QString& text, const char* name) {
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QLatin1String(name));
    return r;
}

QLineEdit* readOnlyField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    return e;
}

}  // namespace

TF_spraw::TF_spraw(QWidget* parent)
    : TPulpexDialog(parent, "F_spraw", QStringLiteral("Filtrowanie spraw"), kHelpFiltrSpraw) {
    // --- Data zdarzenia
    auto* gbData = new QGroupBox(QStringLiteral(" Data zdarzenia "), this);
    BuildDateRange(gbData, rbWszystkieDaty, rbWybranaData, edOd, edDo, btnOd, btnDo);

    // --- Adres związany ze zdarzeniem
    auto* gbAdres = new QGroupBox(QStringLiteral(" Adres związany ze zdarzeniem "), this);
    rbWszystkieAdresy = radio(gbAdres, QStringLiteral("Wszystkie &adresy"), "rbWszystkieAdresy");
    rbWybranyAdres = radio(gbAdres, QStringLiteral("Wybrany ad&res"), "rbWybranyAdres");
    edAdres = readOnlyField(gbAdres, "edAdres");
    btnWyborStrony = MakeButton(gbAdres, QStringLiteral("..."), "btnWyborStrony",
                                QStringLiteral("Wybór Strony"));
    auto* adresLayout = new QGridLayout(gbAdres);
    adresLayout->addWidget(rbWszystkieAdresy, 0, 0, 1, 2);
    adresLayout->addWidget(rbWybranyAdres, 1, 0, 1, 2);
    adresLayout->addWidget(edAdres, 2, 0);
    adresLayout->addWidget(btnWyborStrony, 2, 1);

    // --- Sprawy
    auto* gbSprawy = new QGroupBox(QStringLiteral(" Sprawy "), this);
    rbZamkniete = radio(gbSprawy, QStringLiteral("&Zamknięte"), "rbZamkniete");
    rbOtwarte = radio(gbSprawy, QStringLiteral("O&twarte"), "rbOtwarte");
    rbWszystkie = radio(gbSprawy, QStringLiteral("W&szystkie"), "rbWszystkie");
    auto* sprawyLayout = new QVBoxLayout(gbSprawy);
    sprawyLayout->addWidget(rbZamkniete);
    sprawyLayout->addWidget(rbOtwarte);
    sprawyLayout->addWidget(rbWszystkie);

    for (QPushButton* b : {btnOd, btnDo, btnWyborStrony})
        b->setFixedWidth(32);
    rbWszystkieDaty->setChecked(true);
    rbWszystkieAdresy->setChecked(true);
    rbWszystkie->setChecked(true);

    btnOK = MakeButton(this, QStringLiteral("O&K"), "btnOK", {}, /*isDefault=*/true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbData);
    layout->addWidget(gbAdres);
    layout->addWidget(gbSprawy);
    layout->addLayout(
        ButtonRow({}, {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QRadioButton* r : {rbWszystkieDaty, rbWybranaData, rbWszystkieAdresy, rbWybranyAdres})
        connect(r, &QRadioButton::toggled, this, &TF_spraw::switchesChanged);
    // The address switch takes effect at once, whether the dialog is confirmed or not.
    connect(rbWszystkieAdresy, &QRadioButton::clicked, this, &TF_spraw::addressSwitchClicked);
    connect(rbWybranyAdres, &QRadioButton::clicked, this, &TF_spraw::addressSwitchClicked);
    connect(btnOd, &QPushButton::clicked, this, [this] { pickDate(edOd); });
    connect(btnDo, &QPushButton::clicked, this, [this] { pickDate(edDo); });
    connect(btnWyborStrony, &QPushButton::clicked, this, &TF_spraw::btnWyborStronyClick);
    connect(btnOK, &QPushButton::clicked, this, &TF_spraw::btnOKClick);
    SetActiveControl(btnOK);
}

void TF_spraw::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    FormShow();
}

void TF_spraw::FormShow() {
    if (!info_) {
        prompts().message(Severity::Warning, QStringLiteral("Nie podano struktury inicjującej !"));
        return;
    }
    rbWszystkieDaty->setChecked(true);
    rbWszystkieAdresy->setChecked(true);
    edOd->setText(DateToStr(info_->Od.date()));
    edDo->setText(DateToStr(info_->Do.date()));
    showAddressName();
    if (info_->ZakresDat) rbWybranaData->setChecked(true);
    if (info_->WybranyAdres) rbWybranyAdres->setChecked(true);
    switch (info_->StanSpraw) {
        case TSprawy_FiltrInfo::Zamkniete:
            rbZamkniete->setChecked(true);
            break;
        case TSprawy_FiltrInfo::Otwarte:
            rbOtwarte->setChecked(true);
            break;
        default:
            rbWszystkie->setChecked(true);
    }
    switchesChanged();
}

void TF_spraw::switchesChanged() {
    btnOd->setEnabled(rbWybranaData->isChecked());
    btnDo->setEnabled(rbWybranaData->isChecked());
    btnWyborStrony->setEnabled(rbWybranyAdres->isChecked());
}

void TF_spraw::addressSwitchClicked() {
    if (info_) info_->WybranyAdres = rbWybranyAdres->isChecked();
}

void TF_spraw::showAddressName() {
    QString name;
    if (info_ && TblAdresy) Guarded([&] { name = TblAdresy->DajNazwe(info_->IdAdresu); });
    edAdres->setText(name);
}

void TF_spraw::pickDate(QLineEdit* dateField) {
    const QDate start = ParseDateTime(dateField->text()).date();
    const QDate chosen = WybierzDate(this, true, true, start);
    if (chosen.isValid() && chosen != start) dateField->setText(DateToStr(chosen));
}

void TF_spraw::btnWyborStronyClick() {
    const int id = OknoStron(this, true);
    if (id == 0 || !info_) return;
    // Kept at once, even when the dialog is then cancelled.
    info_->IdAdresu = id;
    showAddressName();
}

void TF_spraw::btnOKClick() {
    if (!info_) {
        reject();
        return;
    }
    info_->ZakresDat = rbWybranaData->isChecked();
    if (info_->ZakresDat) {
        const QDateTime from = ParseDateTime(edOd->text());
        const QDateTime to = ParseDateTime(edDo->text());
        if (from.isValid()) info_->Od = from;
        if (to.isValid()) info_->Do = to;
    }
    info_->StanSpraw = rbZamkniete->isChecked() ? TSprawy_FiltrInfo::Zamkniete
                       : rbOtwarte->isChecked() ? TSprawy_FiltrInfo::Otwarte
                                                : TSprawy_FiltrInfo::Wszystkie;
    accept();
}

bool PokazFiltrSpraw(QWidget* owner, TSprawy_FiltrInfo& info) {
    TF_spraw dialog(owner);
    dialog.SetInfo(&info);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace pulpex
