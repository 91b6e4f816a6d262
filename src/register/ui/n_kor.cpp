#include "register/ui/n_kor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "addresses/ui/w_stron.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/config.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "core/ui/text_file.h"
#include "core/utils.h"
#include "documents/ui/w_pism.h"
#include "planner/ui/w_kaled.h"
#include "register/numeracja.h"
#include "register/ui/adres_zd.h"
#include "register/ui/w_kor_p.h"
#include "register/ui/w_tresc.h"
#include "register/zdarzen.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

QLabel* label(QWidget* parent, const QString& text, QWidget* buddy, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
}

// The identifier of the correspondent whose e-mail address is exactly `email`; 0 when none.
int addressOfMail(const QString& email) {
    std::unique_ptr<TQueryDataSet> q(QueryDataSet(
        nullptr, "qMail", {QStringLiteral("select ID from ADRESY where AD_MAIL = :mail")}));
    q->SetParam(QStringLiteral("mail"), email);
    int id = 0;
    Guarded([&] {
        q->Open();
        if (!q->IsEmpty()) id = static_cast<int>(q->AsInteger(QStringLiteral("ID")));
    });
    return id;
}

}  // namespace

TNowaKor::TNowaKor(QWidget* parent)
    : TPulpexDialog(parent, "NowaKor", QStringLiteral("Nowe zdarzenie"), kHelpNowaKor) {
    tZdarzenia =
        TableDataSet(this, "tZdarzenia", QStringLiteral("ZDARZ"), QStringLiteral("ZDARZ_ID"));
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    tAdresy->SetMaster(tZdarzenia, QStringLiteral("ZD_ADR"));
    tZdarzenie_DOP_TO_NUMER = TableDataSet(this, "tZdarzenie_DOP_TO_NUMER", QStringLiteral("ZDARZ"),
                                           QStringLiteral("ZDARZ_ID"));
    tZdarzenie_DOP_TO_NUMER->SetMaster(tZdarzenia, QStringLiteral("ZD_DOP"));
    tZdarzenie_DOP_TO_NUMER->SetReadOnly(true);

    // --- the kind
    auto* kindBar = new QHBoxLayout;
    rbPrzychodzace = new QRadioButton(QStringLiteral("Pismo &przychodzące"), this);
    rbPrzychodzace->setObjectName(QStringLiteral("rbPrzychodzace"));
    rbWychodzace = new QRadioButton(QStringLiteral("Pismo &wychodzące"), this);
    rbWychodzace->setObjectName(QStringLiteral("rbWychodzace"));
    rbInne = new QRadioButton(QStringLiteral("&Inne"), this);
    rbInne->setObjectName(QStringLiteral("rbInne"));
    rbPrzychodzace->setChecked(true);
    for (QRadioButton* r : {rbPrzychodzace, rbWychodzace, rbInne}) {
        kindBar->addWidget(r);
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on) kindChanged();
        });
    }
    kindBar->addStretch(1);

    // --- the pages
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildEventPage(), QStringLiteral("&Zdarzenie"));
    PageControl1->addTab(buildContentPage(), QStringLiteral("&Treść"));
    tsAdres = buildAddressPage();
    PageControl1->addTab(tsAdres, QStringLiteral("&Adres"));
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (Kind() == 3 && PageControl1->currentWidget() == tsAdres)
            PageControl1->setCurrentIndex(0);
    });

    // --- the buttons
    auto* btnKalendarz =
        MakeButton(this, QStringLiteral("Kalendarz"), "btnKalendarz", QStringLiteral("Kalendarz"));
    connect(btnKalendarz, &QPushButton::clicked, this, &TNowaKor::btnKalendarzClick);
    auto* btnBazaAdresow = MakeButton(this, QStringLiteral("Baza adresów"), "btnBazaAdresow",
                                      QStringLiteral("Baza adresów"));
    connect(btnBazaAdresow, &QPushButton::clicked, this, &TNowaKor::btnBazaAdresowClick);
    auto* btnRysunki = MakeButton(this, QStringLiteral("Rysunki"), "btnRysunki",
                                  QStringLiteral("Rysunki i Obiekty"));
    connect(btnRysunki, &QPushButton::clicked, this, &TNowaKor::btnRysunkiClick);
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK");
    btnOK->setEnabled(false);
    connect(btnOK, &QPushButton::clicked, this, &TNowaKor::btnOKClick);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(kindBar);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(
        ButtonRow({btnKalendarz, btnBazaAdresow, btnRysunki},
                  {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));
    setFixedSize(620, 430);

    KeepPosted({tZdarzenia, tAdresy});
    SetActiveControl(edNumer);
}

QWidget* TNowaKor::buildEventPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsZdarzenie"));
    edNumer = Bound<TDBEdit>(page, "edNumer", tZdarzenia, QStringLiteral("ZD_NMR"));
    edNumer->SetMaxLength(16);
    edSymbol = Bound<TDBEdit>(page, "edSymbol", tZdarzenia, QStringLiteral("ZD_SMB"));
    edSymbol->SetMaxLength(16);
    lbSymbol = label(page, QStringLiteral("&Symbol"), edSymbol, "lbSymbol");
    edData = Bound<TDBEdit>(page, "edData", tZdarzenia, QStringLiteral("ZD_DAT"));
    edData->setReadOnly(true);
    auto* btnData =
        MakeButton(page, QStringLiteral("..."), "btnData", QStringLiteral("Wstawienie daty"));
    connect(btnData, &QPushButton::clicked, this, &TNowaKor::btnDataClick);
    chbPolecone = Bound<TDBCheckBox>(page, "chbPolecone", tZdarzenia, QStringLiteral("ZD_POL"));
    chbPolecone->setText(QStringLiteral("Pismo polecone"));
    edOdbiorca = Bound<TDBEdit>(page, "edOdbiorca", tZdarzenia, QStringLiteral("ZD_ODB"));
    edOdbiorca->SetCharCase(TEditCharCase::ecUpperCase);
    edOdbiorca->SetMaxLength(20);
    lbOdbiorca = label(page, QStringLiteral("Odbiorca"), edOdbiorca, "lbOdbiorca");
    edDoPisma =
        Bound<TDBEdit>(page, "edDoPisma", tZdarzenie_DOP_TO_NUMER, QStringLiteral("ZD_NMR"));
    edDoPisma->setReadOnly(true);
    btnDoPisma = MakeButton(page, QStringLiteral("..."), "btnDoPisma",
                            QStringLiteral("Wybór pisma Przychodzącego"));
    connect(btnDoPisma, &QPushButton::clicked, this, &TNowaKor::btnDoPismaClick);
    btnData->setFixedWidth(32);
    btnDoPisma->setFixedWidth(32);
    memOpis = Bound<TDBMemo>(page, "memOpis", tZdarzenia, QStringLiteral("ZD_OPIS"));
    memOpis->setTabChangesFocus(true);

    connect(edNumer, &QLineEdit::textChanged, this, &TNowaKor::updateOk);
    connect(edSymbol, &QLineEdit::textChanged, this, &TNowaKor::updateOk);

    auto* g = new QGridLayout(page);
    g->addWidget(label(page, QStringLiteral("&Numer"), edNumer), 0, 0);
    g->addWidget(edNumer, 0, 1, 1, 2);
    g->addWidget(lbSymbol, 0, 3);
    g->addWidget(edSymbol, 0, 4);
    g->addWidget(label(page, QStringLiteral("&Data"), edData), 1, 0);
    g->addWidget(edData, 1, 1);
    g->addWidget(btnData, 1, 2);
    g->addWidget(chbPolecone, 1, 3, 1, 2);
    g->addWidget(lbOdbiorca, 2, 0);
    auto* who = new QHBoxLayout;
    who->addWidget(edOdbiorca);
    who->addWidget(edDoPisma);
    who->addWidget(btnDoPisma);
    g->addLayout(who, 2, 1, 1, 4);
    g->addWidget(label(page, QStringLiteral("Opis"), memOpis), 3, 0, Qt::AlignTop);
    g->addWidget(memOpis, 3, 1, 1, 4);
    g->setRowStretch(3, 1);
    g->setColumnStretch(4, 1);
    return page;
}

QWidget* TNowaKor::buildContentPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsTresc"));
    memTresc = Bound<TDBMemo>(page, "memTresc", tZdarzenia, QStringLiteral("ZD_TRE"));
    // The correspondent's fields go in only for letters; every change is stored at once.
    InstallContentMenu(
        memTresc, tAdresy, [this] { return Kind() != 3; }, [this] { postContent(); });

    auto* tools = new QHBoxLayout;
    const auto tool = [&](const QString& hint, const char* name, void (TNowaKor::*handler)()) {
        auto* b = MakeButton(page, hint, name, hint);
        connect(b, &QPushButton::clicked, this, handler);
        tools->addWidget(b);
    };
    tool(QStringLiteral("Okno edycyjne"), "btnOknoEdycyjne", &TNowaKor::btnOknoEdycyjneClick);
    tool(QStringLiteral("Wczytaj z pliku"), "btnWczytaj", &TNowaKor::btnWczytajClick);
    tool(QStringLiteral("Zapisz do pliku"), "btnZapisz", &TNowaKor::btnZapiszClick);
    tool(QStringLiteral("Wytnij"), "btnWytnij", &TNowaKor::btnWytnijClick);
    tool(QStringLiteral("Kopiuj"), "btnKopiuj", &TNowaKor::btnKopiujClick);
    tool(QStringLiteral("Kopiuj wszystko"), "btnKopiujWszystko", &TNowaKor::btnKopiujWszystkoClick);
    tool(QStringLiteral("Wklej"), "btnWklej", &TNowaKor::btnWklejClick);
    tools->addStretch(1);

    auto* v = new QVBoxLayout(page);
    v->addLayout(tools);
    v->addWidget(memTresc, 1);
    return page;
}

QWidget* TNowaKor::buildAddressPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsAdres"));
    QVBoxLayout* v = BudujStroneAdresu(page, tAdresy);
    auto* btnWybierzAdres =
        MakeButton(page, QStringLiteral("  Wybierz a&dres z bazy adresów"), "btnWybierzAdres");
    connect(btnWybierzAdres, &QPushButton::clicked, this, &TNowaKor::btnWybierzAdresClick);
    v->addWidget(btnWybierzAdres, 0, Qt::AlignLeft);
    return page;
}

bool TNowaKor::Prepare(const QString& content, const QString& email, int kind) {
    TRec_Zdarzenia r;
    if (!content.isEmpty()) r.ZD_TRE.SetText(content);
    if (!email.isEmpty()) r.ZD_ADR = addressOfMail(email);
    const bool stored = Guarded(
        [&] {
            if (!TblZdarzenia) throw EDatabaseError("Brak tabeli ZDARZ w katalogu");
            id_ = 0;
            TblZdarzenia->OT_AddNew(id_, r);
        },
        QStringLiteral("Nie można utworzyć nowego zdarzenia."));
    if (!stored) return false;
    const bool opened = Guarded([&] {
        // The dialog works on its own row only.
        tZdarzenia->SetRange(id_, id_);
        tZdarzenia->Open();
        tAdresy->Open();
        tZdarzenie_DOP_TO_NUMER->Open();
    });
    if (!opened) {
        Finish(QDialog::Rejected);
        return false;
    }
    QRadioButton* chosen = kind == 2 ? rbWychodzace : kind == 3 ? rbInne : rbPrzychodzace;
    if (chosen->isChecked())
        kindChanged();
    else
        chosen->setChecked(true);
    return true;
}

int TNowaKor::Kind() const {
    return rbWychodzace->isChecked() ? 2 : rbInne->isChecked() ? 3 : 1;
}

void TNowaKor::showEvent(QShowEvent* event) {
    TPulpexDialog::showEvent(event);
    if (tZdarzenia->Active()) kindChanged();
}

void TNowaKor::kindChanged() {
    const int kind = Kind();
    chbPolecone->setVisible(kind == 2);
    edDoPisma->setVisible(kind == 2);
    btnDoPisma->setVisible(kind == 2);
    edOdbiorca->setVisible(kind == 1);
    lbSymbol->setVisible(kind == 1);
    edSymbol->setVisible(kind == 1);
    lbOdbiorca->setVisible(kind != 3);
    lbOdbiorca->setText(kind == 2 ? QStringLiteral("Do pisma") : QStringLiteral("Odbiorca"));
    lbOdbiorca->setBuddy(kind == 2 ? static_cast<QWidget*>(btnDoPisma) : edOdbiorca);
    // An event of this kind has no correspondent: its address page cannot be opened.
    if (kind == 3 && PageControl1->currentWidget() == tsAdres) PageControl1->setCurrentIndex(0);
    PageControl1->setTabEnabled(PageControl1->indexOf(tsAdres), kind != 3);

    if (tZdarzenia->Active() && !tZdarzenia->IsEmpty()) {
        // The suggestion only looks at the counters; they are taken on "&OK".
        const QString suggestion = ExpandPattern(kind, false);
        Guarded([&] {
            if (!tZdarzenia->Editing()) tZdarzenia->Edit();
            tZdarzenia->SetFieldValue(QStringLiteral("ZD_TYP"), kind);
            tZdarzenia->SetFieldValue(QStringLiteral("ZD_NMR"), suggestion);
            tZdarzenia->Post();
        });
    }
    updateOk();
}

void TNowaKor::updateOk() {
    if (closing_) return;
    int address = 0;
    if (tZdarzenia->Active() && !tZdarzenia->IsEmpty())
        address = static_cast<int>(tZdarzenia->AsInteger(QStringLiteral("ZD_ADR")));
    const bool number = !edNumer->text().isEmpty();
    switch (Kind()) {
        case 1:
            btnOK->setEnabled(number && !edSymbol->text().isEmpty() && address != 0);
            break;
        case 2:
            btnOK->setEnabled(number && address != 0);
            break;
        default:
            btnOK->setEnabled(number);
    }
}

void TNowaKor::writeField(const QString& field, const QVariant& value) {
    // What is being typed goes first, so that it cannot overwrite the value afterwards.
    if (!PostPending()) return;
    Guarded([&] {
        if (!tZdarzenia->Editing()) tZdarzenia->Edit();
        tZdarzenia->SetFieldValue(field, value);
        tZdarzenia->Post();
    });
}

void TNowaKor::btnDataClick() {
    const QDate start = ParseDateTime(edData->text()).date();
    const QDate chosen = WybierzDate(this, true, false, start);
    if (chosen.isValid() && chosen != start) writeField(QStringLiteral("ZD_DAT"), chosen);
}

void TNowaKor::btnDoPismaClick() {
    const int id = OknoKorPrzy(this);
    if (id != 0) writeField(QStringLiteral("ZD_DOP"), id);
}

void TNowaKor::btnWybierzAdresClick() {
    // The address window may change this very row: what was typed here goes first.
    if (!PostPending()) return;
    const int id = OknoStron(this, true);
    if (id == 0) return;
    writeField(QStringLiteral("ZD_ADR"), id);
    Guarded([&] { tAdresy->Refresh(); });
    updateOk();
}

void TNowaKor::btnBazaAdresowClick() {
    if (!PostPending()) return;
    OknoStron(this, false);
    Guarded([&] { tAdresy->Refresh(); });
}

void TNowaKor::btnKalendarzClick() {
    WybierzDate(this, false, true, QDate::currentDate());
}

void TNowaKor::btnWczytajClick() {
    if (const auto text = AskAndReadTextFile(QStringLiteral("Wczytaj z pliku")))
        writeField(QStringLiteral("ZD_TRE"), *text);
}

void TNowaKor::btnZapiszClick() {
    if (!PostPending()) return;
    AskAndWriteTextFile(QStringLiteral("Zapisz do pliku"), memTresc->toPlainText());
}

void TNowaKor::btnRysunkiClick() {
    // The entry's row is stored already: its pages attach to it.
    if (!PostPending()) return;
    PokazPisma(this, id_);
}

void TNowaKor::btnOknoEdycyjneClick() {
    // The editor takes the row for itself: what was typed here is stored first.
    if (!PostPending()) return;
    int address = 0;
    if (tZdarzenia->Active() && !tZdarzenia->IsEmpty())
        address = static_cast<int>(tZdarzenia->AsInteger(QStringLiteral("ZD_ADR")));
    EdytorTresciZdarzenia(this, address != 0 && Kind() != 3 ? 1 : 2, id_);
    Guarded([&] { tZdarzenia->Refresh(); });
}

void TNowaKor::postContent() {
    // Posting shows the stored text again: the caret stays where the user was writing.
    const int caret = memTresc->textCursor().position();
    PostPending();
    QTextCursor c = memTresc->textCursor();
    c.setPosition(std::min(caret, static_cast<int>(memTresc->document()->characterCount() - 1)));
    memTresc->setTextCursor(c);
}

void TNowaKor::btnWytnijClick() {
    memTresc->cut();
    postContent();
}

void TNowaKor::btnKopiujClick() {
    memTresc->copy();
}

void TNowaKor::btnKopiujWszystkoClick() {
    memTresc->selectAll();
    memTresc->copy();
}

void TNowaKor::btnWklejClick() {
    memTresc->paste();
    postContent();
}

void TNowaKor::btnOKClick() {
    closing_ = false;
    if (!PostPending()) return;
    TNadanyNumer n;
    if (!Guarded([&] { n = NadajNumerZdarzenia(id_); },
                 QStringLiteral("Nie można nadać numeru zdarzeniu.")))
        return;
    Guarded([&] { tZdarzenia->Refresh(); });
    if (n.Zmieniony)
        prompts().message(
            Severity::Information,
            QStringLiteral("Sugerowany numer jest inny niż wybrany przez użytkownika!"));
    accept();
}

void TNowaKor::reject() {
    // Everything typed goes with the row: the user says so first, however the dialog is closed.
    const Answer a =
        prompts().message(Severity::Confirmation,
                          QStringLiteral("Czy napewno chcesz porzucić edycję nowego zdarzenia?"),
                          Buttons::YesNoCancel);
    if (a != Answer::Yes) return;
    closing_ = true;
    Guarded([&] {
        if (tZdarzenia->Editing()) tZdarzenia->Cancel();
        if (tAdresy->Editing()) tAdresy->Cancel();
    });
    TPulpexDialog::reject();
}

bool TNowaKor::Finish(int result) {
    tZdarzenie_DOP_TO_NUMER->Close();
    tAdresy->Close();
    tZdarzenia->Close();
    if (result == QDialog::Accepted) return true;
    if (id_ != 0)
        Guarded([&] { TblZdarzenia->UsunZdarzenie(id_); },
                QStringLiteral("Nie można usunąć porzuconego zdarzenia."));
    return false;
}

bool NoweZdarzenie(QWidget* owner, const QString& content, const QString& email, int kind,
                   int* eventId) {
    TNowaKor dialog(owner);
    if (!dialog.Prepare(content, email, kind)) return false;
    if (!dialog.Finish(dialog.exec())) return false;
    if (eventId != nullptr) *eventId = dialog.EventID();
    return true;
}

}  // namespace pulpex
