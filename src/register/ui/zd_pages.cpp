#include "register/ui/zd_pages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/ui/text_file.h"
#include "core/ui/window.h"
#include "documents/ui/w_pism.h"
#include "register/ui/adres_zd.h"
#include "register/ui/w_kor_p.h"
#include "register/ui/w_tresc.h"
#include "register/zdarzen.h"

namespace pulpex {

namespace {

QLabel* label(QWidget* parent, const QString& text, const char* name, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
}

// An edit that shows a value without taking input, looking like the others.
TDBEdit* readOnlyLook(TDBEdit* e) {
    e->setReadOnly(true);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    e->setPalette(p);
    return e;
}

}  // namespace

TStronyZdarzenia::TStronyZdarzenia(TPulpexDialog* owner, QTabWidget* tabs,
                                   TTableDataSet* tZdarzenia_, TTableDataSet* tAdresy_,
                                   TTableDataSet* tZdarzenie_DOP_TO_NUMER_,
                                   const TStronyZdarzeniaUklad& uklad,
                                   std::function<int()> currentEventId)
    : QObject(owner),
      owner_(owner),
      tabs_(tabs),
      tZdarzenia(tZdarzenia_),
      tAdresy(tAdresy_),
      tZdarzenie_DOP_TO_NUMER(tZdarzenie_DOP_TO_NUMER_),
      uklad_(uklad),
      currentEventId_(std::move(currentEventId)) {
    tsZdarzenie = buildEventPage();
    tsTresc = buildContentPage();
    tsAdres = buildAddressPage();
}

QWidget* TStronyZdarzenia::buildEventPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsZdarzenie"));
    TDataSet* numbers = uklad_.numberSource;
    auto* edNumer =
        readOnlyLook(Bound<TDBEdit>(page, "edNumer", numbers, QStringLiteral("ZD_NMR")));
    auto* edData = readOnlyLook(Bound<TDBEdit>(page, "edData", numbers, QStringLiteral("ZD_DAT")));
    edSymbol = readOnlyLook(Bound<TDBEdit>(page, "edSymbol", numbers, QStringLiteral("ZD_SMB")));
    lbSymbol = label(page, QStringLiteral("Symbol"), "lbSymbol", edSymbol);
    edOdbiorca = Bound<TDBEdit>(page, "edOdbiorca", tZdarzenia, QStringLiteral("ZD_ODB"));
    edOdbiorca->SetCharCase(TEditCharCase::ecUpperCase);
    edOdbiorca->SetMaxLength(20);
    edDoPisma = readOnlyLook(
        Bound<TDBEdit>(page, "edDoPisma", tZdarzenie_DOP_TO_NUMER, QStringLiteral("ZD_NMR")));
    btnDoPisma = MakeButton(page, QStringLiteral("..."), "btnDoPisma",
                            QStringLiteral("Wybór pisma Przychodzącego"));
    connect(btnDoPisma, &QPushButton::clicked, this, &TStronyZdarzenia::btnDoPismaClick);
    lbOdbiorca = label(page, QStringLiteral("Odbiorca"), "lbOdbiorca", edOdbiorca);
    // A registered letter is a flag of its own (ZD_POL); the symbol is text.
    chbPolecone = Bound<TDBCheckBox>(page, "chbPolecone", tZdarzenia, QStringLiteral("ZD_POL"));
    chbPolecone->setText(QStringLiteral("Pismo polecone"));
    if (uklad_.hideUntilCurrent)
        for (QWidget* w :
             std::initializer_list<QWidget*>{edOdbiorca, edDoPisma, btnDoPisma, chbPolecone})
            w->hide();
    auto* memOpis = Bound<TDBMemo>(page, "memOpis", tZdarzenia, QStringLiteral("ZD_OPIS"));
    memOpis->setTabChangesFocus(true);

    const bool acc = uklad_.labelAccelerators;
    auto* panel = new QGridLayout;
    panel->addWidget(
        label(page, acc ? QStringLiteral("N&umer") : QStringLiteral("Numer"), "lbNumer", edNumer),
        0, 0);
    panel->addWidget(edNumer, 0, 1);
    panel->addWidget(
        label(page, acc ? QStringLiteral("&Data") : QStringLiteral("Data"), "lbData", edData), 0,
        2);
    panel->addWidget(edData, 0, 3);
    panel->addWidget(lbSymbol, 1, 0);
    panel->addWidget(edSymbol, 1, 1);
    panel->addWidget(chbPolecone, 1, 2, 1, 2);
    panel->addWidget(lbOdbiorca, 2, 0);
    auto* answered = new QHBoxLayout;
    answered->addWidget(edOdbiorca);
    answered->addWidget(edDoPisma);
    answered->addWidget(btnDoPisma);
    panel->addLayout(answered, 2, 1, 1, 3);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(panel);
    layout->addWidget(label(page, QStringLiteral("Opis"), "lbOpis", memOpis));
    layout->addWidget(memOpis, 1);
    return page;
}

QWidget* TStronyZdarzenia::buildContentPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsTresc"));
    memTresc = Bound<TDBMemo>(page, "memTresc", tZdarzenia, QStringLiteral("ZD_TRE"));
    InstallContentMenu(
        memTresc, tAdresy, [this] { return CurrentKind() != zdInne; },
        [this] { owner_->PostPending(); });
    auto* btnWczytaj =
        MakeButton(page, QStringLiteral("Wczytaj"), uklad_.loadName, uklad_.loadHint);
    auto* btnZapisz = MakeButton(page, QStringLiteral("Zapisz"), uklad_.saveName, uklad_.saveHint);
    auto* btnWytnij =
        MakeButton(page, QStringLiteral("Wytnij"), "btnWytnij", QStringLiteral("Wytnij"));
    auto* btnKopiuj =
        MakeButton(page, QStringLiteral("Kopiuj"), "btnKopiuj", QStringLiteral("Kopiuj"));
    // The focus follows the order the buttons are made in, which is the order they stand in.
    auto makePaste = [page] {
        return MakeButton(page, QStringLiteral("Wklej"), "btnWklej", QStringLiteral("Wklej"));
    };
    auto makeCopyAll = [page] {
        return MakeButton(page, QStringLiteral("Kopiuj wszystko"), "btnKopiujWszystko",
                          QStringLiteral("Kopiuj wszystko"));
    };
    QPushButton* btnWklej = nullptr;
    QPushButton* btnKopiujWszystko = nullptr;
    if (uklad_.pasteBeforeCopyAll) {
        btnWklej = makePaste();
        btnKopiujWszystko = makeCopyAll();
    } else {
        btnKopiujWszystko = makeCopyAll();
        btnWklej = makePaste();
    }
    auto* btnOknoEdycyjne = MakeButton(page, QStringLiteral("Okno edycyjne"), "btnOknoEdycyjne",
                                       QStringLiteral("Okno edycyjne"));
    auto* btnRysunki =
        MakeButton(page, QStringLiteral("Rysunki"), "btnRysunki", uklad_.picturesHint);
    connect(btnWczytaj, &QPushButton::clicked, this, &TStronyZdarzenia::btnWczytajClick);
    connect(btnZapisz, &QPushButton::clicked, this, &TStronyZdarzenia::btnZapiszClick);
    connect(btnWytnij, &QPushButton::clicked, this, [this] {
        if (!memTresc->Link().BeginChange()) return;
        memTresc->cut();
        if (uklad_.postEachChange) owner_->PostPending();
    });
    connect(btnKopiuj, &QPushButton::clicked, memTresc, &QPlainTextEdit::copy);
    connect(btnKopiujWszystko, &QPushButton::clicked, this, [this] {
        memTresc->selectAll();
        memTresc->copy();
        memTresc->viewport()->update();
    });
    connect(btnWklej, &QPushButton::clicked, this, [this] {
        if (!memTresc->Link().BeginChange()) return;
        memTresc->paste();
        if (uklad_.postEachChange) owner_->PostPending();
    });
    connect(btnOknoEdycyjne, &QPushButton::clicked, this, &TStronyZdarzenia::btnOknoEdycyjneClick);
    connect(btnRysunki, &QPushButton::clicked, this, &TStronyZdarzenia::btnRysunkiClick);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(uklad_.pasteBeforeCopyAll
                          ? ButtonRow({btnWczytaj, btnZapisz, btnWytnij, btnKopiuj, btnWklej,
                                       btnKopiujWszystko, btnOknoEdycyjne, btnRysunki},
                                      {})
                          : ButtonRow({btnWczytaj, btnZapisz, btnWytnij, btnKopiuj,
                                       btnKopiujWszystko, btnWklej, btnOknoEdycyjne, btnRysunki},
                                      {}));
    layout->addWidget(memTresc, 1);
    return page;
}

QWidget* TStronyZdarzenia::buildAddressPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsAdres"));
    BudujStroneAdresu(page, tAdresy)->addStretch(1);
    if (uklad_.addressReadOnly) {
        for (auto* e : page->findChildren<QLineEdit*>())
            e->setReadOnly(true);
        for (auto* m : page->findChildren<QPlainTextEdit*>())
            m->setReadOnly(true);
    }
    return page;
}

int TStronyZdarzenia::CurrentKind() const {
    if (!tZdarzenia->Active() || tZdarzenia->IsEmpty()) return 0;
    return static_cast<int>(tZdarzenia->AsInteger(QStringLiteral("ZD_TYP")));
}

void TStronyZdarzenia::ShowKind(int kind) {
    chbPolecone->setVisible(kind == zdWychodzace);
    edDoPisma->setVisible(kind == zdWychodzace);
    btnDoPisma->setVisible(kind == zdWychodzace);
    edOdbiorca->setVisible(kind == zdPrzychodzace);
    lbSymbol->setVisible(kind == zdPrzychodzace);
    edSymbol->setVisible(kind == zdPrzychodzace);
    lbOdbiorca->setVisible(kind == zdPrzychodzace || kind == zdWychodzace);
    lbOdbiorca->setText(kind == zdWychodzace ? QStringLiteral("Do pisma")
                                             : QStringLiteral("Odbiorca"));
    lbOdbiorca->setBuddy(kind == zdWychodzace ? static_cast<QWidget*>(edDoPisma) : edOdbiorca);
    // An "Inne" event has no correspondent: its address page cannot be opened.
    const int addressPage = tabs_->indexOf(tsAdres);
    if (kind == zdInne && tabs_->currentIndex() == addressPage) tabs_->setCurrentIndex(0);
    tabs_->setTabEnabled(addressPage, kind != zdInne);
}

void TStronyZdarzenia::btnDoPismaClick() {
    if (!owner_->PostPending()) return;
    const int id = OknoKorPrzy(owner_);
    if (id == 0 || currentEventId_() == 0) return;
    Guarded([&] {
        tZdarzenia->Edit();
        tZdarzenia->SetFieldValue(QStringLiteral("ZD_DOP"), id);
        tZdarzenia->Post();
    });
}

void TStronyZdarzenia::btnOknoEdycyjneClick() {
    // The editor takes the row itself: what was typed here is stored and let go first.
    if (!owner_->PostPending()) return;
    const int id = currentEventId_();
    if (id == 0) return;
    EdytorTresciZdarzenia(owner_, CurrentKind() == zdInne ? 2 : 1, id);
    Guarded([&] { tZdarzenia->Refresh(); });
}

void TStronyZdarzenia::btnRysunkiClick() {
    // The documents window works on the event's own rows; what was typed here is stored first.
    if (!owner_->PostPending()) return;
    const int id = currentEventId_();
    if (id != 0) PokazPisma(owner_, id);
}

void TStronyZdarzenia::btnWczytajClick() {
    if (currentEventId_() == 0) return;
    const std::optional<QString> text = AskAndReadTextFile(uklad_.loadHint);
    if (!text) return;
    Guarded([&] {
        tZdarzenia->Edit();
        tZdarzenia->SetFieldValue(QStringLiteral("ZD_TRE"), *text);
        tZdarzenia->Post();
    });
}

void TStronyZdarzenia::btnZapiszClick() {
    if (uklad_.postEachChange && !owner_->PostPending()) return;
    AskAndWriteTextFile(uklad_.saveHint, memTresc->toPlainText());
}

}  // namespace pulpex
