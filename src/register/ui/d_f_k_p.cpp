#include "register/ui/d_f_k_p.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
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
#include "tables/globals.h"

namespace pulpex {

namespace {

QRadioButton* radio(QWidget* parent, const QString& text, const char* name) {
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QLatin1String(name));
    return r;
}

QLineEdit* field(QWidget* parent, const char* name, bool readOnly) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(readOnly);
    return e;
}

QString quoted(QString text) {
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString addressName(int id) {
    QString name;
    if (TblAdresy) Guarded([&] { name = TblAdresy->DajNazwe(id); });
    return name;
}

}  // namespace

void BuildDateRange(QGroupBox* box, QRadioButton*& all, QRadioButton*& chosen, QLineEdit*& from,
                    QLineEdit*& to, QPushButton*& btnFrom, QPushButton*& btnTo) {
    all = radio(box, QStringLiteral("&Wszystkie daty"), "rbWszystkieDaty");
    chosen = radio(box, QStringLiteral("W&ybrana data"), "rbWybranaData");
    from = field(box, "edOd", true);
    to = field(box, "edDo", true);
    btnFrom = MakeButton(box, QStringLiteral("..."), "btnOd", QStringLiteral("Wstawianie daty"));
    btnTo = MakeButton(box, QStringLiteral("..."), "btnDo", QStringLiteral("Wstawianie daty"));
    auto* lbOd = new QLabel(QStringLiteral("&Od:"), box);
    lbOd->setBuddy(from);
    auto* lbDo = new QLabel(QStringLiteral("&Do:"), box);
    lbDo->setBuddy(to);
    auto* layout = new QGridLayout(box);
    layout->addWidget(all, 0, 0, 1, 3);
    layout->addWidget(chosen, 1, 0, 1, 3);
    layout->addWidget(lbOd, 2, 0);
    layout->addWidget(from, 2, 1);
    layout->addWidget(btnFrom, 2, 2);
    layout->addWidget(lbDo, 3, 0);
    layout->addWidget(to, 3, 1);
    layout->addWidget(btnTo, 3, 2);
}

QString WarunekFiltru(const TZdarzenia_FiltrInfo& info) {
    QString w;
    if (info.ZakresDat)
        w += QStringLiteral(" and ZD_DAT>=") + SqlDate(info.Od.date()) + QStringLiteral(" ") +
             QStringLiteral(" and ") + QStringLiteral("ZD_DAT") + QStringLiteral("<=") +
             SqlDate(info.Do.date());
    if (info.WybranyAdres)
        w += QStringLiteral(" and ") + QStringLiteral("ZD_ADR") + QStringLiteral(" = ") +
             QString::number(info.IdAdresu) + QStringLiteral(" ");
    if (info.WybranyOdbiorca)
        w += QStringLiteral(" and ") + QStringLiteral("ZD_ODB") + QStringLiteral(" = ") +
             quoted(info.Odbiorca) + QStringLiteral(" ");
    return w;
}

TF_k_przy::TF_k_przy(QWidget* parent)
    : TPulpexDialog(parent, "F_k_przy", QStringLiteral("Filtrowanie zdarzeń"), kHelpFiltrKorPrzy) {
    // --- Data
    auto* gbData = new QGroupBox(QStringLiteral(" Data "), this);
    BuildDateRange(gbData, rbWszystkieDaty, rbWybranaData, edOd, edDo, btnOd, btnDo);

    // --- Adres
    auto* gbAdres = new QGroupBox(QStringLiteral(" Adres "), this);
    rbWszystkieAdresy = radio(gbAdres, QStringLiteral("Wszystkie &adresy"), "rbWszystkieAdresy");
    rbWybranyAdres = radio(gbAdres, QStringLiteral("Wy&brany adres"), "rbWybranyAdres");
    edAdres = field(gbAdres, "edAdres", true);
    btnWyborStrony = MakeButton(gbAdres, QStringLiteral("..."), "btnWyborStrony",
                                QStringLiteral("Wybór Strony"));
    auto* adresLayout = new QGridLayout(gbAdres);
    adresLayout->addWidget(rbWszystkieAdresy, 0, 0, 1, 2);
    adresLayout->addWidget(rbWybranyAdres, 1, 0, 1, 2);
    adresLayout->addWidget(edAdres, 2, 0);
    adresLayout->addWidget(btnWyborStrony, 2, 1);

    // --- Odbiorca
    auto* gbOdbiorca = new QGroupBox(QStringLiteral(" Odbiorca "), this);
    rbWszyscyOdbiorcy = radio(gbOdbiorca, QStringLiteral("Wszy&scy odbiorcy"), "rbWszyscyOdbiorcy");
    rbWybranyOdbiorca = radio(gbOdbiorca, QStringLiteral("Wybrany odbior&ca"), "rbWybranyOdbiorca");
    edOdbiorca = field(gbOdbiorca, "edOdbiorca", false);
    edOdbiorca->setMaxLength(20);
    auto* odbiorcaLayout = new QVBoxLayout(gbOdbiorca);
    odbiorcaLayout->addWidget(rbWszyscyOdbiorcy);
    odbiorcaLayout->addWidget(rbWybranyOdbiorca);
    odbiorcaLayout->addWidget(edOdbiorca);

    for (QPushButton* b : {btnOd, btnDo, btnWyborStrony})
        b->setFixedWidth(32);
    // Each group's two choices exclude each other only within the group.
    rbWszystkieDaty->setChecked(true);
    rbWszystkieAdresy->setChecked(true);
    rbWszyscyOdbiorcy->setChecked(true);

    btnOK = MakeButton(this, QStringLiteral("O&K"), "btnOK", {}, /*isDefault=*/true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbData);
    layout->addWidget(gbAdres);
    layout->addWidget(gbOdbiorca);
    layout->addLayout(ButtonRow({}, {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj")}));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QRadioButton* r : {rbWszystkieDaty, rbWybranaData, rbWszystkieAdresy, rbWybranyAdres,
                            rbWszyscyOdbiorcy, rbWybranyOdbiorca})
        connect(r, &QRadioButton::toggled, this, &TF_k_przy::switchesChanged);
    connect(btnOd, &QPushButton::clicked, this, &TF_k_przy::btnOdClick);
    connect(btnDo, &QPushButton::clicked, this, &TF_k_przy::btnDoClick);
    connect(btnWyborStrony, &QPushButton::clicked, this, &TF_k_przy::btnWyborStronyClick);
    connect(btnOK, &QPushButton::clicked, this, &TF_k_przy::btnOKClick);
    // The recipient is kept in capitals, as the register writes it.
    connect(edOdbiorca, &QLineEdit::textEdited, this, [this](const QString& typed) {
        const QString upper = typed.toUpper();
        if (upper == typed) return;
        const int pos = edOdbiorca->cursorPosition();
        edOdbiorca->setText(upper);
        edOdbiorca->setCursorPosition(pos);
    });
    SetActiveControl(btnOK);
}

void TF_k_przy::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    FormShow();
}

void TF_k_przy::FormShow() {
    if (!info_) {
        prompts().message(Severity::Warning, QStringLiteral("Nie podano struktury inicjującej !"));
        return;
    }
    rbWszystkieDaty->setChecked(true);
    edOd->setText(DateToStr(info_->Od.date()));
    edDo->setText(DateToStr(info_->Do.date()));
    rbWszystkieAdresy->setChecked(true);
    showAddressName();
    rbWszyscyOdbiorcy->setChecked(true);
    edOdbiorca->setText(info_->Odbiorca);

    if (info_->ZakresDat) rbWybranaData->setChecked(true);
    if (info_->WybranyAdres) rbWybranyAdres->setChecked(true);
    if (info_->WybranyOdbiorca) rbWybranyOdbiorca->setChecked(true);
    switchesChanged();
}

void TF_k_przy::switchesChanged() {
    btnOd->setEnabled(rbWybranaData->isChecked());
    btnDo->setEnabled(rbWybranaData->isChecked());
    btnWyborStrony->setEnabled(rbWybranyAdres->isChecked());
    edOdbiorca->setEnabled(rbWybranyOdbiorca->isChecked());
}

void TF_k_przy::showAddressName() {
    edAdres->setText(info_ ? addressName(info_->IdAdresu) : QString());
}

void TF_k_przy::pickDate(QLineEdit* dateField) {
    const QDate start = ParseDateTime(dateField->text()).date();
    const QDate chosen = WybierzDate(this, true, true, start);
    if (chosen.isValid() && chosen != start) dateField->setText(DateToStr(chosen));
}

void TF_k_przy::btnOdClick() {
    pickDate(edOd);
}

void TF_k_przy::btnDoClick() {
    pickDate(edDo);
}

void TF_k_przy::btnWyborStronyClick() {
    const int id = OknoStron(this, true);
    if (id == 0 || !info_) return;
    // Kept at once, as the address of the filter even when the dialog is then cancelled.
    info_->IdAdresu = id;
    showAddressName();
}

void TF_k_przy::btnOKClick() {
    if (!info_) {
        reject();
        return;
    }
    info_->ZakresDat = rbWybranaData->isChecked();
    if (info_->ZakresDat) {
        info_->Od = ParseDateTime(edOd->text());
        info_->Do = ParseDateTime(edDo->text());
    }
    info_->WybranyAdres = rbWybranyAdres->isChecked();
    info_->WybranyOdbiorca = rbWybranyOdbiorca->isChecked();
    if (info_->WybranyOdbiorca) info_->Odbiorca = edOdbiorca->text();
    accept();
}

bool PokazFiltr(QWidget* owner, TZdarzenia_FiltrInfo& info) {
    TF_k_przy dialog(owner);
    dialog.SetInfo(&info);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace pulpex
