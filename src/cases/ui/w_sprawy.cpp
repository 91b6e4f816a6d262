#include "cases/ui/w_sprawy.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "addresses/ui/w_stron.h"
#include "cases/rel_s_z.h"
#include "cases/sprawy.h"
#include "cases/ui/d_filtru.h"
#include "cases/ui/d_n_spr.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/ui/am_confg.h"
#include "core/ui/del_ask.h"
#include "core/ui/help.h"
#include "planner/ui/w_kaled.h"
#include "planner/ui/w_plan.h"
#include "register/ui/listzdrz.h"
#include "register/ui/zd_pages.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

QLabel* label(QWidget* parent, const QString& text, const char* name, QWidget* buddy = nullptr) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    if (buddy) l->setBuddy(buddy);
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

// The hourglass for the length of a scope.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TOknospraw::TOknospraw(QWidget* parent)
    : TPulpexDialog(parent, "Oknospraw", QStringLiteral("Sprawy"), kHelpSprawy) {
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    resize(900, 680);

    // The chain: case list → current case; case list → its linked events → the link row, the
    // event → its correspondent and the letter it answers.
    qSprawy = QueryDataSet(this, "qSprawy");
    tSprawy = TableDataSet(this, "tSprawy", QStringLiteral("SPRAWY"), QStringLiteral("SPRAW_ID"));
    tSprawy->SetMaster(qSprawy, QStringLiteral("ID"));
    qRel_SZ = QueryDataSet(this, "qRel_SZ");
    // :ID follows the ID of the current case.
    qRel_SZ->SetMaster(qSprawy);
    tRel_SZ = TableDataSet(this, "tRel_SZ", QStringLiteral("REL_SZD"), QStringLiteral("RSZ_ID"));
    tRel_SZ->SetMaster(qRel_SZ, QStringLiteral("ID"));
    tZdarzenia =
        TableDataSet(this, "tZdarzenia", QStringLiteral("ZDARZ"), QStringLiteral("ZDARZ_ID"));
    tZdarzenia->SetMaster(qRel_SZ, QStringLiteral("ESZ_ZD"));
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    tAdresy->SetReadOnly(true);
    tAdresy->SetMaster(tZdarzenia, QStringLiteral("ZD_ADR"));
    tZdarzenie_DOP_TO_NUMER = TableDataSet(this, "tZdarzenie_DOP_TO_NUMER", QStringLiteral("ZDARZ"),
                                           QStringLiteral("ZDARZ_ID"));
    tZdarzenie_DOP_TO_NUMER->SetReadOnly(true);
    tZdarzenie_DOP_TO_NUMER->SetMaster(tZdarzenia, QStringLiteral("ZD_DOP"));

    buildCasePart();
    buildEventPart();

    auto* btnKoniec = CancelButton(QStringLiteral("&Koniec"), "btnKoniec");
    btnKoniec->setToolTip(QStringLiteral("Koniec edycji Spraw"));
    auto* btnZdarzenia =
        MakeButton(this, QStringLiteral("Zdarzenia"), "btnZdarzenia", QStringLiteral("Zdarzenia"));
    auto* btnAdresy = MakeButton(this, QStringLiteral("Baza adresów"), "btnAdresy",
                                 QStringLiteral("Baza adresów"));
    auto* btnKalendarz =
        MakeButton(this, QStringLiteral("Kalendarz"), "btnKalendarz", QStringLiteral("Kalendarz"));
    auto* btnTerminarz =
        MakeButton(this, QStringLiteral("Terminarz"), "btnTerminarz", QStringLiteral("Terminarz"));
    auto* btnKonfiguracja = MakeButton(this, QStringLiteral("Konfiguracja"), "btnKonfiguracja",
                                       QStringLiteral("Konfiguracja"));
    connect(btnZdarzenia, &QPushButton::clicked, this, &TOknospraw::btnZdarzeniaClick);
    connect(btnAdresy, &QPushButton::clicked, this, &TOknospraw::btnAdresyClick);
    connect(btnKalendarz, &QPushButton::clicked, this, &TOknospraw::btnKalendarzClick);
    connect(btnTerminarz, &QPushButton::clicked, this, &TOknospraw::btnTerminarzClick);
    connect(btnKonfiguracja, &QPushButton::clicked, this, &TOknospraw::btnKonfiguracjaClick);

    auto* top = new QWidget(this);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    auto* caseList = new QVBoxLayout;
    caseList->addLayout(ButtonRow({btnNowaSprawa, btnUsunSprawe}, {btnFiltrowanie}));
    caseList->addWidget(grdSprawy, 1);
    topLayout->addLayout(caseList, 1);
    topLayout->addWidget(PageControl1, 1);

    auto* bottom = new QWidget(this);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto* eventList = new QVBoxLayout;
    eventList->addWidget(grdZdarzenia, 1);
    eventList->addWidget(btnSkojarz);
    eventList->addWidget(btnUsunSkojarzenie);
    bottomLayout->addLayout(eventList, 1);
    bottomLayout->addWidget(PageControl2, 2);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(top);
    split->addWidget(bottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(
        ButtonRow({btnZdarzenia, btnAdresy, btnKalendarz, btnTerminarz, btnKonfiguracja},
                  {btnKoniec, HelpButton()}));

    connect(tZdarzenia, &TDataSet::AfterScroll, this, &TOknospraw::tZdarzeniaAfterScroll);
    // The events follow the current case: their pages and buttons follow them.
    connect(qRel_SZ, &TDataSet::AfterOpen, this, &TOknospraw::eventsOpened);
    connect(qRel_SZ, &TDataSet::AfterClose, this, &TOknospraw::eventsOpened);

    KeepPosted({tSprawy, tZdarzenia});
    SetActiveControl(grdSprawy);
}

TOknospraw::~TOknospraw() = default;

void TOknospraw::buildCasePart() {
    grdSprawy = new TCV_DBGrid(this);
    grdSprawy->setObjectName(QStringLiteral("grdSprawy"));
    grdSprawy->SetDataSet(qSprawy);
    grdSprawy->AddColumn(QStringLiteral("SP_NAZ"), QStringLiteral("Nazwa sprawy"), 220);
    grdSprawy->AddColumn(QStringLiteral("SP_NUM"), QStringLiteral("Numer sprawy"), 110);
    grdSprawy->SetSearchName(QStringLiteral("SP_NAZ"));
    grdSprawy->SetSearchCaseSens(false);
    grdSprawy->verticalHeader()->hide();
    grdSprawy->setEditTriggers(QAbstractItemView::NoEditTriggers);

    btnNowaSprawa = MakeButton(this, QStringLiteral("&Utworzenie nowej sprawy"), "btnNowaSprawa");
    btnUsunSprawe = MakeButton(this, QStringLiteral("Usunięcie &wybranej sprawy"), "btnUsunSprawe");
    btnFiltrowanie = MakeButton(this, QStringLiteral("&Filtrowanie"), "btnFiltrowanie",
                                QStringLiteral("Ograniczenie bazy filtrem"));
    connect(btnNowaSprawa, &QPushButton::clicked, this, &TOknospraw::btnNowaSprawaClick);
    connect(btnUsunSprawe, &QPushButton::clicked, this, &TOknospraw::btnUsunSpraweClick);
    connect(btnFiltrowanie, &QPushButton::clicked, this, &TOknospraw::btnFiltrowanieClick);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    tsSprawa = new QWidget;
    tsSprawa->setObjectName(QStringLiteral("tsSprawa"));
    edNumerSprawy =
        readOnlyLook(Bound<TDBEdit>(tsSprawa, "edNumerSprawy", tSprawy, QStringLiteral("SP_NUM")));
    edNazwaSprawy = Bound<TDBEdit>(tsSprawa, "edNazwaSprawy", tSprawy, QStringLiteral("SP_NAZ"));
    edNazwaSprawy->SetMaxLength(50);
    auto* gbOpis = new QGroupBox(QStringLiteral(" Opis sprawy "), tsSprawa);
    memOpisSprawy = Bound<TDBMemo>(gbOpis, "memOpisSprawy", tSprawy, QStringLiteral("SP_OPI"));
    memOpisSprawy->setTabChangesFocus(true);
    auto* opisLayout = new QVBoxLayout(gbOpis);
    opisLayout->addWidget(memOpisSprawy);
    chbZamknieta = Bound<TDBCheckBox>(tsSprawa, "chbZamknieta", tSprawy, QStringLiteral("SP_ZAMK"));
    chbZamknieta->setText(QStringLiteral("Sprawa zamknięta"));
    // A new name or state shows in the list at once.
    connect(edNazwaSprawy, &QLineEdit::editingFinished, this, &TOknospraw::caseEdited);
    connect(chbZamknieta, &QCheckBox::clicked, this, &TOknospraw::caseEdited);

    auto* grid = new QGridLayout(tsSprawa);
    grid->addWidget(label(tsSprawa, QStringLiteral("Numer sprawy"), "lbNumerSprawy", edNumerSprawy),
                    0, 0);
    grid->addWidget(edNumerSprawy, 0, 1);
    grid->addWidget(label(tsSprawa, QStringLiteral("Nazwa sprawy"), "lbNazwaSprawy", edNazwaSprawy),
                    1, 0);
    grid->addWidget(edNazwaSprawy, 1, 1);
    grid->addWidget(gbOpis, 2, 0, 1, 2);
    grid->addWidget(chbZamknieta, 3, 0, 1, 2);
    grid->setRowStretch(2, 1);
    PageControl1->addTab(tsSprawa, QStringLiteral("&Sprawa"));
}

void TOknospraw::buildEventPart() {
    grdZdarzenia = new TCV_DBGrid(this);
    grdZdarzenia->setObjectName(QStringLiteral("grdZdarzenia"));
    grdZdarzenia->SetDataSet(qRel_SZ);
    grdZdarzenia->AddColumn(QStringLiteral("ZD_NMR"), QStringLiteral("Numer"), 150);
    grdZdarzenia->AddColumn(QStringLiteral("ZD_SMB"), QStringLiteral("Symbol"), 110);
    grdZdarzenia->SetSearchName(QStringLiteral("ZD_NMR"));
    grdZdarzenia->SetSearchCaseSens(false);
    grdZdarzenia->verticalHeader()->hide();
    grdZdarzenia->setEditTriggers(QAbstractItemView::NoEditTriggers);

    btnSkojarz =
        MakeButton(this, QStringLiteral("Skojarzenie &nowego zdarzenia ze sprawą"), "btnSkojarz");
    btnUsunSkojarzenie =
        MakeButton(this, QStringLiteral("Usunięcie skojarzenia z&e sprawą"), "btnUsunSkojarzenie");
    connect(btnSkojarz, &QPushButton::clicked, this, &TOknospraw::btnSkojarzClick);
    connect(btnUsunSkojarzenie, &QPushButton::clicked, this, &TOknospraw::btnUsunSkojarzenieClick);

    PageControl2 = new QTabWidget(this);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    TStronyZdarzeniaUklad uklad;
    uklad.numberSource = tZdarzenia;
    uklad.loadName = "btnWczytaj";
    uklad.loadHint = QStringLiteral("Wczytaj z pliku");
    uklad.saveName = "btnZapisz";
    uklad.saveHint = QStringLiteral("Zapisz do pliku");
    uklad.picturesHint = QStringLiteral("Rysunki");
    uklad.postEachChange = true;
    uklad.addressReadOnly = true;
    pages_ = new TStronyZdarzenia(this, PageControl2, tZdarzenia, tAdresy, tZdarzenie_DOP_TO_NUMER,
                                  uklad, [this] { return currentEventId(); });
    PageControl2->addTab(pages_->EventPage(), QStringLiteral("Zdarzenie"));
    PageControl2->addTab(pages_->ContentPage(), QStringLiteral("Treść"));
    PageControl2->addTab(pages_->AddressPage(), QStringLiteral("Adres"));
}

void TOknospraw::Prepare() {
    casesSql_ = QStringLiteral("select SP_NAZ, SP_NUM, ID from SPRAWY");
    clause_.clear();
    WaitCursor wait;
    Guarded([&] {
        qSprawy->SetSQL({casesSql_});
        qSprawy->Open();
        qRel_SZ->SetSQL({kZdarzeniaSprawyBase + clause_ + kZdarzeniaSprawyOrder});
        qRel_SZ->Open();
        tSprawy->Open();
        tRel_SZ->Open();
        tZdarzenia->Open();
        tAdresy->Open();
        tZdarzenie_DOP_TO_NUMER->Open();
    });
    casesOpened();
    eventsOpened();
    tZdarzeniaAfterScroll();
}

QString TOknospraw::CasesQueryText() const {
    return qSprawy->SQL().join(QLatin1Char('\n'));
}

QString TOknospraw::EventsQueryText() const {
    return qRel_SZ->SQL().join(QLatin1Char('\n'));
}

int TOknospraw::currentCaseId() const {
    if (!qSprawy->Active() || qSprawy->IsEmpty()) return 0;
    return static_cast<int>(qSprawy->AsInteger(QStringLiteral("ID")));
}

int TOknospraw::currentEventId() const {
    if (!qRel_SZ->Active() || qRel_SZ->IsEmpty()) return 0;
    return static_cast<int>(qRel_SZ->AsInteger(QStringLiteral("ESZ_ZD")));
}

void TOknospraw::reopenCases(int keepId) {
    if (!PostPending()) return;
    WaitCursor wait;
    Guarded([&] {
        // The events are closed first: without a case list they have no case to follow.
        qRel_SZ->Close();
        // The details follow once, when the list stands where it should.
        qSprawy->DisableControls();
        try {
            qSprawy->Close();
            qSprawy->SetSQL({casesSql_});
            qSprawy->Open();
            if (keepId != 0) qSprawy->Locate(QStringLiteral("ID"), keepId);
        } catch (...) {
            qSprawy->EnableControls();
            throw;
        }
        qSprawy->EnableControls();
        qRel_SZ->SetSQL({kZdarzeniaSprawyBase + clause_ + kZdarzeniaSprawyOrder});
        qRel_SZ->Open();
    });
    casesOpened();
    eventsOpened();
}

void TOknospraw::reopenEvents(int keepEventId) {
    if (!PostPending()) return;
    WaitCursor wait;
    Guarded([&] {
        if (!qSprawy->Active()) return;
        qRel_SZ->DisableControls();
        try {
            qRel_SZ->Close();
            qRel_SZ->SetSQL({kZdarzeniaSprawyBase + clause_ + kZdarzeniaSprawyOrder});
            qRel_SZ->Open();
            if (keepEventId != 0) qRel_SZ->Locate(QStringLiteral("ESZ_ZD"), keepEventId);
        } catch (...) {
            qRel_SZ->EnableControls();
            throw;
        }
        qRel_SZ->EnableControls();
    });
    eventsOpened();
}

void TOknospraw::casesOpened() {
    const bool rows = qSprawy->Active() && !qSprawy->IsEmpty();
    PageControl1->setTabEnabled(PageControl1->indexOf(tsSprawa), rows);
    tsSprawa->setEnabled(rows);
    btnSkojarz->setEnabled(rows);
    btnUsunSprawe->setEnabled(rows);
}

void TOknospraw::eventsOpened() {
    const bool rows = qRel_SZ->Active() && !qRel_SZ->IsEmpty();
    PageControl2->setVisible(rows);
    btnUsunSkojarzenie->setEnabled(rows);
}

void TOknospraw::tZdarzeniaAfterScroll() {
    if (!tZdarzenia->Active() || tZdarzenia->IsEmpty()) return;
    pages_->ShowKind(pages_->CurrentKind());
}

void TOknospraw::caseEdited() {
    if (!tSprawy->Active() || !tSprawy->Editing()) return;
    reopenCases(currentCaseId());
}

void TOknospraw::btnNowaSprawaClick() {
    if (!PostPending()) return;
    const int id = NowaSprawa(this);
    if (id != 0) reopenCases(id);
}

void TOknospraw::btnUsunSpraweClick() {
    const int id = currentCaseId();
    if (id == 0) return;
    TD_us_pas ask(this);
    if (!ask.Ask(QStringLiteral("Czy na pewno chcesz usunąć tą sprawę ?"),
                 QStringLiteral("Usunięcie będzie bezpowrotne !")))
        return;
    // What was typed into the case being deleted goes with it.
    Guarded([&] {
        if (tSprawy->Editing()) tSprawy->Cancel();
    });
    if (!PostPending()) return;
    Guarded([&] {
        if (!TblSprawy || !TblRelSprZd) throw EDatabaseError("Brak tabeli SPRAWY w katalogu");
        OpenForCall cases(*TblSprawy);
        OpenForCall links(*TblRelSprZd);
        TblSprawy->UsunSprawe(id);
    });
    reopenCases(0);
    Guarded([&] {
        if (qSprawy->Active()) qSprawy->First();
    });
}

void TOknospraw::btnSkojarzClick() {
    if (!PostPending()) return;
    const int eventId = ListaZdarzen(this, true);
    const int caseId = currentCaseId();
    if (eventId == 0 || caseId == 0) return;
    Guarded(
        [&] {
            if (!TblRelSprZd) throw EDatabaseError("Brak tabeli REL_SZD w katalogu");
            OpenForCall links(*TblRelSprZd);
            TblRelSprZd->DodajPowiazanie(caseId, eventId);
        },
        QStringLiteral("Nie skojarzono zdarzenia ze sprawą."));
    reopenEvents(eventId);
}

void TOknospraw::btnUsunSkojarzenieClick() {
    if (currentEventId() == 0) return;
    TD_us_pas ask(this);
    if (!ask.Ask(QStringLiteral("Czy na pewno chcesz usunąć to skojarzenie ?"),
                 QStringLiteral("Usunięcie będzie bezpowrotne !")))
        return;
    if (!PostPending()) return;
    Guarded([&] {
        // The link row only: the event stays in the register.
        tRel_SZ->Refresh();
        if (!tRel_SZ->IsEmpty()) tRel_SZ->Delete();
    });
    reopenEvents(0);
}

void TOknospraw::btnFiltrowanieClick() {
    if (!PostPending()) return;
    if (!PokazFiltrSpraw(this, filtr_)) return;
    casesSql_ = ZapytanieSpraw(filtr_);
    clause_ = WarunekZdarzenSprawy(filtr_);
    reopenCases(currentCaseId());
}

void TOknospraw::btnZdarzeniaClick() {
    if (!PostPending()) return;
    ListaZdarzen(this, false);
    reopenCases(currentCaseId());
}

void TOknospraw::btnAdresyClick() {
    if (!PostPending()) return;
    OknoStron(this, false);
    Guarded([&] { tAdresy->Refresh(); });
}

void TOknospraw::btnKalendarzClick() {
    WybierzDate(this, false, true, QDate::currentDate());
}

void TOknospraw::btnTerminarzClick() {
    if (!PostPending()) return;
    PokazTerminarz(this);
}

void TOknospraw::btnKonfiguracjaClick() {
    if (!PostPending()) return;
    if (TConfig* config = ConfigWindow()) {
        config->Execute();
        return;
    }
    TConfig config(this);
    config.Execute();
}

void TOknospraw::changeEvent(QEvent* event) {
    TPulpexDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) FormDeactivate();
}

void TOknospraw::FormDeactivate() {
    // Pending edits are stored when the user turns to another window; a refusal is told once
    // (its own message box deactivates the window again).
    if (deactivating_ || !isVisible()) return;
    deactivating_ = true;
    PostPending();
    deactivating_ = false;
}

void OknoSpraw(QWidget* owner) {
    TOknospraw dialog(owner);
    dialog.Prepare();
    dialog.exec();
}

}  // namespace pulpex
