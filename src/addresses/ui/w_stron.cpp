#include "addresses/ui/w_stron.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "addresses/adresy.h"
#include "addresses/ui/d_strona.h"
#include "addresses/ui/pola_adresu.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kPierwszeZapytanie = QStringLiteral(
    "select AD_NAZW, AD_Imie, AD_NAZF, id, AD_PRYW from adresy order by AD_NAZW, "
    "AD_Imie");

// The deletion question; events that name the address are counted first, since they keep its
// identifier and show no correspondent afterwards.
QString PytanieOUsuniecie(int events) {
    const QString question = QStringLiteral("Czy na pewno chcesz usunąć ten adres ?");
    if (events <= 0) return question;
    const int last = events % 10;
    const int lastTwo = events % 100;
    QString line;
    if (events == 1) {
        line = QStringLiteral(
            "Do tego adresu odwołuje się 1 zdarzenie w rejestrze korespondencji."
            "\r\nPo usunięciu adresu zdarzenie pozostanie bez korespondenta.");
    } else {
        const bool few = last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14);
        line = (few ? QStringLiteral("Do tego adresu odwołują się %1 zdarzenia")
                    : QStringLiteral("Do tego adresu odwołuje się %1 zdarzeń"))
                   .arg(events) +
               QStringLiteral(
                   " w rejestrze korespondencji.\r\nPo usunięciu adresu zdarzenia "
                   "pozostaną bez korespondenta.");
    }
    return line + QStringLiteral("\r\n") + question;
}

}  // namespace

TOknoStron::TOknoStron(QWidget* parent)
    : TPulpexDialog(parent, "OknoStron", QStringLiteral("Baza adresów"), kHelpStrony) {
    qAdresy = QueryDataSet(this, "qAdresy", {kPierwszeZapytanie});
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    // No row until the query says which one.
    tAdresy->SetRange(0, 0);

    chbPrywatne = new QCheckBox(QStringLiteral("Osoby prywatne"), this);
    chbPrywatne->setObjectName(QStringLiteral("chbPrywatne"));
    chbPrywatne->setChecked(true);
    chbFirmy = new QCheckBox(QStringLiteral("Firmy i instytucje"), this);
    chbFirmy->setObjectName(QStringLiteral("chbFirmy"));
    chbFirmy->setChecked(true);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto* tsBaza = new QWidget(PageControl1);
    tsBaza->setObjectName(QStringLiteral("tsBaza"));
    buildBaza(tsBaza);
    PageControl1->addTab(tsBaza, QStringLiteral("&Baza adresowa"));
    auto* tsAdres = new QWidget(PageControl1);
    tsAdres->setObjectName(QStringLiteral("tsAdres"));
    buildAdres(tsAdres);
    PageControl1->addTab(tsAdres, QStringLiteral("&Wybrany adres"));

    btnNowy = MakeButton(this, QStringLiteral("Nowy adre&s"), "btnNowy");
    btnOk = MakeButton(this, QStringLiteral("&OK"), "btnOk", {}, /*isDefault=*/true);
    btnAnuluj = CancelButton(QStringLiteral("Anuluj"), "btnAnuluj");

    auto* filters = new QHBoxLayout;
    filters->addWidget(chbPrywatne);
    filters->addWidget(chbFirmy);
    filters->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(ButtonRow({btnNowy}, {btnOk, btnAnuluj, HelpButton()}));

    connect(chbPrywatne, &QCheckBox::clicked, this, &TOknoStron::Filtruj);
    connect(chbFirmy, &QCheckBox::clicked, this, &TOknoStron::Filtruj);
    for (QRadioButton* rb : {rbFirmy, rbNazwiska})
        connect(rb, &QRadioButton::clicked, this, [this] {
            Filtruj();
            dbgAdresy->setFocus(Qt::OtherFocusReason);
        });
    connect(qAdresy, &TDataSet::AfterScroll, this, &TOknoStron::qAdresyAfterScroll);
    connect(qAdresy, &TDataSet::DataSetChange, this, &TOknoStron::UpdateEnabled);
    connect(qAdresy, &TDataSet::AfterClose, this, &TOknoStron::UpdateEnabled);
    connect(btnUsun, &QPushButton::clicked, this, &TOknoStron::btnUsunClick);
    connect(btnNowy, &QPushButton::clicked, this, &TOknoStron::btnNowyClick);
    connect(btnOk, &QPushButton::clicked, this, &TOknoStron::btnOkClick);
    connect(dbgAdresy, &QAbstractItemView::doubleClicked, this, &TOknoStron::GridDoubleClick);

    KeepPosted({tAdresy, qAdresy});
    SetActiveControl(dbgAdresy);
    Prepare(false);
    UpdateEnabled();
    resize(720, 500);
}

TOknoStron::~TOknoStron() = default;

void TOknoStron::buildBaza(QWidget* page) {
    dbgAdresy = new TCV_DBGrid(page);
    dbgAdresy->setObjectName(QStringLiteral("dbgAdresy"));
    dbgAdresy->SetDataSet(qAdresy);
    dbgAdresy->AddColumn(QStringLiteral("AD_NAZF"), QStringLiteral("Nazwa firmy"), 260);
    dbgAdresy->AddColumn(QStringLiteral("AD_NAZW"), QStringLiteral("Nazwisko"), 170);
    dbgAdresy->AddColumn(QStringLiteral("AD_IMIE"), QStringLiteral("Imię"), 120);
    dbgAdresy->horizontalHeader()->setStretchLastSection(true);
    dbgAdresy->verticalHeader()->hide();

    auto* order = new QGroupBox(page);
    rbFirmy = new QRadioButton(QStringLiteral("szukaj &firmy"), order);
    rbFirmy->setObjectName(QStringLiteral("rbFirmy"));
    rbNazwiska = new QRadioButton(QStringLiteral("szukaj &nazwiska"), order);
    rbNazwiska->setObjectName(QStringLiteral("rbNazwiska"));
    rbNazwiska->setChecked(true);
    btnUsun = MakeButton(page, QStringLiteral("Usuń"), "btnUsun");

    auto* orderLayout = new QVBoxLayout(order);
    orderLayout->addWidget(rbFirmy);
    orderLayout->addWidget(rbNazwiska);
    auto* side = new QVBoxLayout;
    side->addWidget(order);
    side->addStretch();
    side->addWidget(btnUsun);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(dbgAdresy, 1);
    layout->addLayout(side);
}

void TOknoStron::buildAdres(QWidget* page) {
    pola_ = std::make_unique<TPolaAdresu>(
        BudujPolaAdresu(page, tAdresy, QStringLiteral("Dodatkowe pola")));
    DBNavigator1 = new TDBNavigator(page);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    // It walks the list as the grid shows it; the edits follow.
    DBNavigator1->SetDataSet(qAdresy);
    chbPrywatny = Bound<TDBCheckBox>(page, "chbPrywatny", tAdresy, QStringLiteral("AD_PRYW"));
    chbPrywatny->setText(QStringLiteral("Prywatny"));
    chbPrywatny->setEnabled(false);

    auto* top = new QHBoxLayout;
    top->addWidget(DBNavigator1);
    top->addStretch();
    top->addWidget(chbPrywatny);
    auto* body = new QHBoxLayout;
    body->addWidget(pola_->panel, 3);
    body->addWidget(pola_->gbDodatkowe, 2);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addLayout(body, 1);
}

void TOknoStron::Prepare(bool choosing, TListaWybranychAdresow* list) {
    list_ = list;
    chosen_ = 0;
    btnOk->setVisible(choosing);
    btnAnuluj->setText(choosing ? QStringLiteral("Anuluj") : QStringLiteral("Koniec"));
    dbgAdresy->SetMultiSelect(list != nullptr);
}

// ---------------------------------------------------------------- showing and leaving

void TOknoStron::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    if (qAdresy->Active()) return;
    Guarded([this] {
        tAdresy->Open();
        qAdresy->Open();
    });
    dbgAdresy->SetSearchName(poFirmie_ ? QStringLiteral("AD_NAZF") : QStringLiteral("AD_NAZW"));
    qAdresyAfterScroll();
    UpdateEnabled();
}

void TOknoStron::changeEvent(QEvent* event) {
    TPulpexDialog::changeEvent(event);
    // Leaving for another window stores what was typed; a refusal is told once, not again for
    // each message box it brings up.
    if (event->type() != QEvent::ActivationChange || !isVisible() || isActiveWindow()) return;
    if (posting_ || !tAdresy->Editing() || !qAdresy->Active() || qAdresy->IsEmpty()) return;
    Post();
}

bool TOknoStron::Post() {
    posting_ = true;
    const bool ok = PostPending();
    posting_ = false;
    return ok;
}

void TOknoStron::done(int r) {
    if (r != QDialog::Accepted) chosen_ = 0;
    posting_ = true;
    TPulpexDialog::done(r);
    posting_ = false;
}

// ---------------------------------------------------------------- the list and the edits

void TOknoStron::OpenQuery(const QStringList& sql) {
    Guarded([&] {
        qAdresy->Close();
        qAdresy->SetSQL(sql);
        qAdresy->Open();
    });
    UpdateEnabled();
}

void TOknoStron::Filtruj() {
    if (!chbPrywatne->isChecked() && !chbFirmy->isChecked()) chbFirmy->setChecked(true);
    // What was typed goes first; when it cannot be stored the list stays as it was.
    if (!Post()) {
        chbPrywatne->setChecked(prywatne_);
        chbFirmy->setChecked(firmy_);
        (poFirmie_ ? rbFirmy : rbNazwiska)->setChecked(true);
        return;
    }
    prywatne_ = chbPrywatne->isChecked();
    firmy_ = chbFirmy->isChecked();
    poFirmie_ = rbFirmy->isChecked();
    QString condition = QStringLiteral(" ");
    if (prywatne_ && !firmy_)
        condition = QStringLiteral("where AD_PRYW=\"TRUE\" ");
    else if (!prywatne_ && firmy_)
        condition = QStringLiteral("where AD_PRYW=\"FALSE\" ");
    const QString ordering =
        poFirmie_ ? QStringLiteral("  AD_NAZF") : QStringLiteral("  AD_NAZW, AD_Imie ");
    const int keep = CurrentID();
    OpenQuery({QStringLiteral("select   AD_NAZW, AD_Imie,  AD_NazF, id from   adresy ") +
               condition + QStringLiteral("order by ") + ordering});
    dbgAdresy->SetSearchName(poFirmie_ ? QStringLiteral("AD_NAZF") : QStringLiteral("AD_NAZW"));
    // The address that was current stays so when it is still listed.
    PositionOn(keep);
}

void TOknoStron::qAdresyAfterScroll() {
    if (following_ || !tAdresy->Active()) return;
    const bool rows = qAdresy->Active() && !qAdresy->IsEmpty();
    const int id = rows ? static_cast<int>(qAdresy->AsInteger(QStringLiteral("ID"))) : 0;
    if (tAdresy->Editing()) {
        const int edited = static_cast<int>(tAdresy->AsInteger(QStringLiteral("ID")));
        if (edited == id) return;
        if (!Post()) {
            // The row typed into stays current, with what was typed.
            following_ = true;
            Guarded([&] { qAdresy->Locate(QStringLiteral("ID"), edited); });
            following_ = false;
            return;
        }
    }
    Guarded([&] { tAdresy->SetRange(id, id); });
}

void TOknoStron::UpdateEnabled() {
    const bool rows = qAdresy->Active() && !qAdresy->IsEmpty();
    pola_->panel->setEnabled(rows);
    pola_->gbDodatkowe->setEnabled(rows);
    DBNavigator1->setEnabled(rows);
    btnUsun->setEnabled(rows);
}

int TOknoStron::CurrentID() const {
    if (!tAdresy->Active() || tAdresy->IsEmpty()) return 0;
    return static_cast<int>(tAdresy->AsInteger(QStringLiteral("ID")));
}

bool TOknoStron::PositionOn(int id) {
    if (id == 0 || !qAdresy->Active()) return false;
    bool found = false;
    Guarded([&] { found = qAdresy->Locate(QStringLiteral("ID"), id); });
    return found;
}

// ---------------------------------------------------------------- buttons

void TOknoStron::btnUsunClick() {
    const int id = CurrentID();
    // The sample correspondent of a new installation stays.
    if (id <= 1) return;
    if (!TblAdresy) {
        prompts().message(Severity::Error, QStringLiteral("Tabela adresów nie jest otwarta."));
        return;
    }
    int events = 0;
    if (!Guarded([&] { events = TblAdresy->IleZdarzen(id); })) return;
    if (!ConfirmDeletion(PytanieOUsuniecie(events))) return;
    const qlonglong row = qAdresy->GetBookmark().position;
    if (!Guarded([&] {
            // What was typed into the row goes with it.
            tAdresy->Cancel();
            tAdresy->Delete();
        }))
        return;
    OpenQuery(qAdresy->SQL());
    // The row that took its place becomes current.
    Guarded([&] {
        if (!qAdresy->Active() || qAdresy->IsEmpty()) return;
        qAdresy->First();
        qAdresy->MoveBy(static_cast<int>(row) - 1);
    });
}

void TOknoStron::btnNowyClick() {
    if (!Post()) return;
    const int id = NowaStrona(this);
    if (id == 0) return;
    OpenQuery(qAdresy->SQL());
    if (PositionOn(id)) return;
    // Hidden by the filter: the new address is shown all the same.
    chbPrywatne->setChecked(true);
    chbFirmy->setChecked(true);
    Filtruj();
    PositionOn(id);
}

void TOknoStron::btnOkClick() {
    if (!Post()) return;
    const bool rows = qAdresy->Active() && !qAdresy->IsEmpty();
    chosen_ = rows ? CurrentID() : 0;
    if (rows && chosen_ == 0) {
        prompts().message(Severity::Warning,
                          QStringLiteral("Wybrany adres został usunięty na innym stanowisku."));
        OpenQuery(qAdresy->SQL());
        return;
    }
    if (list_) {
        int left = 0;
        const bool filled = Guarded([&] {
            list_->Clear();
            if (!rows) return;
            const auto reader = qAdresy->CreateReader();
            if (reader) left = list_->Fill(dbgAdresy->SelectedBookmarks(), *reader);
        });
        if (!filled) return;
        if (left > 0)
            prompts().message(
                Severity::Information,
                QStringLiteral("Lista adresów mieści najwyżej %1 pozycje. Na listę trafiło "
                               "pierwszych %1 z %2 zaznaczonych adresów.")
                    .arg(TListaWybranychAdresow::kCapacity)
                    .arg(list_->Count() + left));
    }
    accept();
}

void TOknoStron::GridDoubleClick() {
    if (btnOk->isVisible()) {
        btnOkClick();
        return;
    }
    PageControl1->setCurrentIndex(1);
}

int OknoStron(QWidget* owner, bool choosing, TListaWybranychAdresow* list) {
    TOknoStron w(owner);
    w.Prepare(choosing, list);
    w.exec();
    return choosing ? w.ChosenID() : 0;
}

}  // namespace pulpex
