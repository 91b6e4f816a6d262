#include "register/ui/listzdrz.h"

#include <QCheckBox>
#include <QDate>
#include <QEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <exception>

#include "addresses/ui/w_stron.h"
#include "cases/rel_s_z.h"
#include "cases/ui/w_l_spr.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/am_confg.h"
#include "core/ui/del_ask.h"
#include "core/ui/help.h"
#include "core/ui/progress.h"
#include "planner/ui/w_kaled.h"
#include "planner/ui/w_plan.h"
#include "register/search.h"
#include "register/ui/n_kor.h"
#include "register/ui/w_druk.h"
#include "register/ui/zd_pages.h"
#include "register/zdarzen.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

const QString kSelection = QStringLiteral("select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ");
const QString kInitialKind =
    QStringLiteral(" where ZD_TYP < ") + QStringLiteral("4") + QStringLiteral(" ");
const QString kOrder = QStringLiteral(" order by ZD_DAT, ID");

}  // namespace

TformListaZdarzen::TformListaZdarzen(QWidget* parent)
    : TPulpexDialog(parent, "formListaZdarzen", QStringLiteral("Zdarzenia"), kHelpListaZdarzen) {
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    resize(900, 600);

    qZdarzenia = QueryDataSet(this, "qZdarzenia");
    tZdarzenia =
        TableDataSet(this, "tZdarzenia", QStringLiteral("ZDARZ"), QStringLiteral("ZDARZ_ID"));
    tZdarzenia->SetMaster(qZdarzenia, QStringLiteral("ID"));
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    tAdresy->SetMaster(qZdarzenia, QStringLiteral("ZD_ADR"));
    tZdarzenie_DOP_TO_NUMER = TableDataSet(this, "tZdarzenie_DOP_TO_NUMER", QStringLiteral("ZDARZ"),
                                           QStringLiteral("ZDARZ_ID"));
    tZdarzenie_DOP_TO_NUMER->SetReadOnly(true);
    tZdarzenie_DOP_TO_NUMER->SetMaster(tZdarzenia, QStringLiteral("ZD_DOP"));
    qRelSZ =
        QueryDataSet(this, "qRelSZ",
                     {QStringLiteral("select "), QStringLiteral("\tSPRAWY.SP_NAZ, REL_SZD.ID"),
                      QStringLiteral("from  "), QStringLiteral("\tREL_SZD, SPRAWY"),
                      QStringLiteral("where "), QStringLiteral("\tREL_SZD.RSZ_IDS = SPRAWY.ID"),
                      QStringLiteral("and "), QStringLiteral("\tREL_SZD.ESZ_ZD = :id")});
    // :id follows the ID of the current list row.
    qRelSZ->SetMaster(qZdarzenia);
    tRelSZ = TableDataSet(this, "tRelSZ", QStringLiteral("REL_SZD"), QStringLiteral("RSZ_ID"));
    tRelSZ->SetMaster(qRelSZ, QStringLiteral("ID"));
    connect(qRelSZ, &TDataSet::AfterOpen, this, &TformListaZdarzen::qRelSZAfterOpen);

    // --- the list
    btnNowe = MakeButton(this, QStringLiteral("&Nowe"), "btnNowe",
                         QStringLiteral("Dodanie nowego zdarzenia"));
    btnUsun =
        MakeButton(this, QStringLiteral("&Usuń"), "btnUsun", QStringLiteral("Usunięcie zdarzenia"));
    grdZdarzenia = new TCV_DBGrid(this);
    grdZdarzenia->setObjectName(QStringLiteral("grdZdarzenia"));
    grdZdarzenia->SetDataSet(qZdarzenia);
    grdZdarzenia->AddColumn(QStringLiteral("ZD_NMR"), QStringLiteral("Numer"), 130);
    grdZdarzenia->AddColumn(QStringLiteral("ZD_DAT"), QStringLiteral("Data"), 90);
    grdZdarzenia->SetSearchName(QStringLiteral("ZD_NMR"));
    grdZdarzenia->SetSearchCaseSens(false);
    grdZdarzenia->verticalHeader()->hide();
    grdZdarzenia->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdZdarzenia->setMinimumWidth(250);
    connect(btnNowe, &QPushButton::clicked, this, &TformListaZdarzen::btnNoweClick);
    connect(btnUsun, &QPushButton::clicked, this, &TformListaZdarzen::btnUsunClick);
    connect(grdZdarzenia, &QAbstractItemView::doubleClicked, this, [this] {
        if (btnOK->isVisible() && btnOK->isEnabled()) btnOK->click();
    });

    buildTopBar();
    buildPages();

    // --- the bottom bar
    btnKoniec = CancelButton(QStringLiteral("&Koniec"), "btnKoniec");
    auto* btnKalendarz =
        MakeButton(this, QStringLiteral("Kalendarz"), "btnKalendarz", QStringLiteral("Kalendarz"));
    auto* btnAdresy = MakeButton(this, QStringLiteral("Baza adresów"), "btnAdresy",
                                 QStringLiteral("Baza adresów"));
    auto* btnTerminarz =
        MakeButton(this, QStringLiteral("Terminarz"), "btnTerminarz", QStringLiteral("Terminarz"));
    auto* btnKonfiguracja = MakeButton(this, QStringLiteral("Konfiguracja"), "btnKonfiguracja",
                                       QStringLiteral("Konfiguracja"));
    auto* btnWydruk =
        MakeButton(this, QStringLiteral("Wydruk"), "btnWydruk",
                   QStringLiteral("Wydruk zestawienia na pocztę lub potwierdzenia odbioru"));
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK", {}, true);
    btnOK->hide();
    connect(btnKalendarz, &QPushButton::clicked, this, &TformListaZdarzen::btnKalendarzClick);
    connect(btnAdresy, &QPushButton::clicked, this, &TformListaZdarzen::btnAdresyClick);
    connect(btnTerminarz, &QPushButton::clicked, this, &TformListaZdarzen::btnTerminarzClick);
    connect(btnKonfiguracja, &QPushButton::clicked, this, &TformListaZdarzen::btnKonfiguracjaClick);
    connect(btnWydruk, &QPushButton::clicked, this, &TformListaZdarzen::btnWydrukClick);
    connect(btnOK, &QPushButton::clicked, this, &TformListaZdarzen::btnOKClick);

    auto* left = new QVBoxLayout;
    left->addLayout(ButtonRow({btnNowe, btnUsun}, {}));
    left->addWidget(grdZdarzenia, 1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 1);
    middle->addWidget(PageControl1, 2);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(btnFiltr);
    top->addSpacing(12);
    top->addWidget(cbPrzychodzace);
    top->addWidget(cbWychodzace);
    top->addWidget(cbInne);
    top->addStretch(1);
    top->addWidget(btnSzukaj);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(
        ButtonRow({btnKoniec, btnKalendarz, btnAdresy, btnTerminarz, btnWydruk, btnKonfiguracja},
                  {btnOK, HelpButton()}));

    connect(qZdarzenia, &TDataSet::AfterOpen, this, &TformListaZdarzen::qZdarzeniaAfterOpen);
    connect(tZdarzenia, &TDataSet::AfterScroll, this, &TformListaZdarzen::tZdarzeniaAfterScroll);
    // A row is found by its identifier when the search is on.
    qZdarzenia->SetOnFilterRecord([this](engine::Cursor& c) {
        return idField_ >= 0 && found_.contains(cursorFieldValue(c, idField_).toInt());
    });

    KeepPosted({tZdarzenia, tAdresy});
    SetActiveControl(grdZdarzenia);
}

TformListaZdarzen::~TformListaZdarzen() = default;

void TformListaZdarzen::buildTopBar() {
    btnFiltr =
        MakeButton(this, QStringLiteral("&Filtr"), "btnFiltr", QStringLiteral("Filtrowanie bazy"));
    cbPrzychodzace = new QCheckBox(QStringLiteral("Pisma przychodzące"), this);
    cbPrzychodzace->setObjectName(QStringLiteral("cbPrzychodzace"));
    cbWychodzace = new QCheckBox(QStringLiteral("Pisma wychodzące"), this);
    cbWychodzace->setObjectName(QStringLiteral("cbWychodzace"));
    cbInne = new QCheckBox(QStringLiteral("Inne"), this);
    cbInne->setObjectName(QStringLiteral("cbInne"));
    for (QCheckBox* cb : {cbPrzychodzace, cbWychodzace, cbInne}) {
        cb->setChecked(true);
        connect(cb, &QCheckBox::clicked, this, [this, cb] { kindBoxClick(cb); });
    }
    btnSzukaj = MakeButton(this, QStringLiteral("Szuka&j"), "btnSzukaj",
                           QStringLiteral("Szukanie zdarzeń wg słów kluczowych"));
    btnSzukaj->setCheckable(true);
    connect(btnFiltr, &QPushButton::clicked, this, &TformListaZdarzen::btnFiltrClick);
    // The button shows whether the search is on; only the handler changes that.
    connect(btnSzukaj, &QPushButton::clicked, this, [this] {
        btnSzukaj->setChecked(searchOn_);
        btnSzukajClick();
    });
}

void TformListaZdarzen::buildPages() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TStronyZdarzeniaUklad uklad;
    uklad.numberSource = qZdarzenia;
    uklad.labelAccelerators = true;
    uklad.hideUntilCurrent = true;
    uklad.loadName = "btnWczytanie";
    uklad.loadHint = QStringLiteral("Wczytanie z pliku");
    uklad.saveName = "btnZapis";
    uklad.saveHint = QStringLiteral("Zapis do pliku");
    uklad.picturesHint = QStringLiteral("Rysunki i Obiekty");
    uklad.pasteBeforeCopyAll = true;
    pages_ = new TStronyZdarzenia(this, PageControl1, tZdarzenia, tAdresy, tZdarzenie_DOP_TO_NUMER,
                                  uklad, [this] { return currentId(); });
    tsSkojarzenia = buildLinksPage();
    PageControl1->addTab(pages_->EventPage(), QStringLiteral("&Zdarzenie"));
    PageControl1->addTab(tsSkojarzenia, QStringLiteral("&Skojarzenia"));
    PageControl1->addTab(pages_->ContentPage(), QStringLiteral("&Treść"));
    PageControl1->addTab(pages_->AddressPage(), QStringLiteral("&Adres"));
}

QWidget* TformListaZdarzen::buildLinksPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsSkojarzenia"));
    grdSprawy = new TCV_DBGrid(page);
    grdSprawy->setObjectName(QStringLiteral("grdSprawy"));
    grdSprawy->SetDataSet(qRelSZ);
    grdSprawy->AddColumn(QStringLiteral("SP_NAZ"), QStringLiteral("Sprawa"));
    grdSprawy->horizontalHeader()->setStretchLastSection(true);
    grdSprawy->verticalHeader()->hide();
    grdSprawy->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdSprawy->hide();
    chbPokazuj = new QCheckBox(QStringLiteral("&Pokazuj skojarzenia"), page);
    chbPokazuj->setObjectName(QStringLiteral("chbPokazuj"));
    connect(chbPokazuj, &QCheckBox::clicked, this, &TformListaZdarzen::chbPokazujClick);
    btnSkojarz = MakeButton(page, QStringLiteral("   Skojarz zdarzenie z&e sprawą "), "btnSkojarz");
    btnUsunSkojarzenie =
        MakeButton(page, QStringLiteral("Usuń skojarzenie ze sprawą"), "btnUsunSkojarzenie");
    btnUsunSkojarzenie->setEnabled(false);
    connect(btnSkojarz, &QPushButton::clicked, this, &TformListaZdarzen::btnSkojarzClick);
    connect(btnUsunSkojarzenie, &QPushButton::clicked, this,
            &TformListaZdarzen::btnUsunSkojarzenieClick);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(grdSprawy, 1);
    layout->addWidget(chbPokazuj);
    layout->addLayout(ButtonRow({btnSkojarz, btnUsunSkojarzenie}, {}));
    layout->addStretch(0);
    return page;
}

void TformListaZdarzen::Prepare(bool choosing) {
    choosing_ = choosing;
    selection_ = kSelection;
    kindCondition_ = kInitialKind;
    filterCondition_.clear();
    order_ = kOrder;
    searchOn_ = false;
    searchText_.clear();
    btnSzukaj->setChecked(false);
    if (choosing_) {
        btnOK->show();
        btnKoniec->setText(QStringLiteral("Anuluj"));
        btnSkojarz->hide();
        btnUsunSkojarzenie->hide();
    }
    pages_->Recipient()->hide();
    Guarded([&] {
        qZdarzenia->SetSQL({selection_ + kindCondition_ + filterCondition_ + order_});
        qZdarzenia->Open();
        tZdarzenia->Open();
        tAdresy->Open();
        tZdarzenie_DOP_TO_NUMER->Open();
    });
    tZdarzeniaAfterScroll();
}

QString TformListaZdarzen::QueryText() const {
    return qZdarzenia->SQL().join(QLatin1Char('\n'));
}

int TformListaZdarzen::currentId() const {
    if (!qZdarzenia->Active() || qZdarzenia->IsEmpty()) return 0;
    return static_cast<int>(qZdarzenia->AsInteger(QStringLiteral("ID")));
}

void TformListaZdarzen::reopenList(int keepId) {
    if (!PostPending()) return;
    Guarded([&] {
        qZdarzenia->DisableControls();
        try {
            qZdarzenia->Close();
            qZdarzenia->SetSQL({selection_ + kindCondition_ + filterCondition_ + order_});
            qZdarzenia->Open();
            qZdarzenia->SetFiltered(searchOn_);
            if (keepId != 0) qZdarzenia->Locate(QStringLiteral("ID"), keepId);
        } catch (...) {
            qZdarzenia->EnableControls();
            throw;
        }
        qZdarzenia->EnableControls();
    });
    qZdarzeniaAfterOpen();
}

void TformListaZdarzen::qZdarzeniaAfterOpen() {
    idField_ = qZdarzenia->Active() ? qZdarzenia->FieldIndex(QStringLiteral("ID")) : -1;
    const bool rows = qZdarzenia->Active() && !qZdarzenia->IsEmpty();
    PageControl1->setEnabled(rows);
    btnUsun->setEnabled(rows);
    btnOK->setEnabled(rows);
}

void TformListaZdarzen::tZdarzeniaAfterScroll() {
    if (!qZdarzenia->Active() || qZdarzenia->IsEmpty()) return;
    pages_->ShowKind(pages_->CurrentKind());
}

void TformListaZdarzen::kindBoxClick(QCheckBox* clicked) {
    Q_UNUSED(clicked);
    if (!cbPrzychodzace->isChecked() && !cbWychodzace->isChecked() && !cbInne->isChecked())
        cbPrzychodzace->setChecked(true);
    QStringList codes;
    if (cbPrzychodzace->isChecked()) codes << QStringLiteral("1");
    if (cbWychodzace->isChecked()) codes << QStringLiteral("2");
    if (cbInne->isChecked()) codes << QStringLiteral("3");
    kindCondition_ = QStringLiteral(" Where ZD_TYP in ( ") + codes.join(QLatin1Char(',')) +
                     QStringLiteral(" ) ");
    reopenList(currentId());
}

void TformListaZdarzen::btnFiltrClick() {
    if (!PokazFiltr(this, filtr_)) return;
    filterCondition_ = WarunekFiltru(filtr_);
    reopenList(currentId());
}

void TformListaZdarzen::btnSzukajClick() {
    if (searchOn_) {
        searchOn_ = false;
        btnSzukaj->setChecked(false);
        Guarded([&] { qZdarzenia->SetFiltered(false); });
        qZdarzeniaAfterOpen();
        return;
    }
    QString text = searchText_;
    if (!prompts().inputBox(QStringLiteral("Szukanie zdarzenia"), QStringLiteral("Szukany tekst :"),
                            text))
        return;
    searchText_ = text;
    if (!PostPending() || !runSearch(text)) return;
    searchOn_ = true;
    btnSzukaj->setChecked(true);
    reopenList();
}

bool TformListaZdarzen::runSearch(const QString& text) {
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> stop{false};
    std::optional<QSet<int>> result;
    std::exception_ptr error;
    const QString dir = CurrentDataDir();
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            result = SzukajZdarzen(dir, text, [&](qint64 d, qint64 t) {
                done = d;
                total = t;
                return !stop.load();
            });
        } catch (...) {
            error = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    TProgressDlg_v3 progress(this);
    progress.setObjectName(QStringLiteral("ProgressSzukaj"));
    QTimer tick;
    tick.setInterval(50);
    int ticks = 0;
    connect(&tick, &QTimer::timeout, this, [&] {
        // A short search finishes before anything is shown.
        if (++ticks == 6) {
            progress.Start(1000, true);
            progress.SetText(QStringLiteral("Szukanie: %1").arg(text));
        }
        if (ticks < 6) return;
        const qint64 t = total.load();
        if (t > 0) progress.SetPosition(static_cast<int>(done.load() * 1000 / t));
        if (progress.CancelRequested()) stop = true;
    });
    tick.start();
    worker->start();
    loop.exec();
    worker->wait();
    tick.stop();
    progress.Finish();
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const engine::EDatabaseError& e) {
            ShowDatabaseError(e, QStringLiteral("Szukanie nie powiodło się."));
        }
        return false;
    }
    if (!result) return false;  // stopped by the user
    found_ = std::move(*result);
    return true;
}

void TformListaZdarzen::btnNoweClick() {
    if (!PostPending()) return;
    if (!NoweZdarzenie(this)) return;
    reopenList();
    Guarded([&] { qZdarzenia->Last(); });
}

void TformListaZdarzen::btnUsunClick() {
    const int id = currentId();
    if (id == 0) return;
    TD_us_pas ask(this);
    if (!ask.Ask(QStringLiteral("Czy na pewno chcesz usunąć to zdarzenie ?"),
                 QStringLiteral("Usunięcie będzie bezpowrotne !")))
        return;
    // The row that follows stays current after the deletion.
    int nextId = 0;
    Guarded([&] {
        if (tZdarzenia->Editing()) tZdarzenia->Cancel();
        qZdarzenia->Next();
        if (qZdarzenia->Eof()) qZdarzenia->Prior();
        nextId = currentId() == id ? 0 : currentId();
    });
    if (!Guarded([&] { TblZdarzenia->UsunZdarzenie(id); },
                 QStringLiteral("Nie usunięto zdarzenia.")))
        nextId = id;
    reopenList(nextId);
}

void TformListaZdarzen::btnOKClick() {
    result_ = currentId();
    accept();
}

void TformListaZdarzen::btnKalendarzClick() {
    WybierzDate(this, false, true, QDate::currentDate());
}

void TformListaZdarzen::btnAdresyClick() {
    if (!PostPending()) return;
    OknoStron(this, false);
    Guarded([&] { tAdresy->Refresh(); });
}

void TformListaZdarzen::btnTerminarzClick() {
    if (!PostPending()) return;
    PokazTerminarz(this);
}

void TformListaZdarzen::btnWydrukClick() {
    // The lists are read from the tables: what was typed here goes in first.
    if (!PostPending()) return;
    PokazWydruk(this);
}

void TformListaZdarzen::btnKonfiguracjaClick() {
    if (!PostPending()) return;
    if (TConfig* config = ConfigWindow()) {
        config->Execute();
        return;
    }
    TConfig config(this);
    config.Execute();
}

void TformListaZdarzen::chbPokazujClick() {
    const bool on = chbPokazuj->isChecked();
    Guarded([&] {
        if (on)
            qRelSZ->Open();
        else
            qRelSZ->Close();
    });
    grdSprawy->setVisible(on && qRelSZ->Active());
    qRelSZAfterOpen();
}

void TformListaZdarzen::qRelSZAfterOpen() {
    btnUsunSkojarzenie->setEnabled(!grdSprawy->isHidden() && qRelSZ->Active() &&
                                   !qRelSZ->IsEmpty());
}

void TformListaZdarzen::btnSkojarzClick() {
    if (!PostPending()) return;
    const int caseId = ListaSpraw(this);
    const int eventId = currentId();
    if (caseId == 0 || eventId == 0) return;
    Guarded(
        [&] {
            if (!TblRelSprZd) throw EDatabaseError("Brak tabeli REL_SZD w katalogu");
            OpenForCall links(*TblRelSprZd);
            TblRelSprZd->DodajPowiazanie(caseId, eventId);
        },
        QStringLiteral("Nie skojarzono zdarzenia ze sprawą."));
    if (qRelSZ->Active())
        Guarded([&] {
            qRelSZ->Close();
            qRelSZ->Open();
        });
    qRelSZAfterOpen();
}

void TformListaZdarzen::btnUsunSkojarzenieClick() {
    if (!qRelSZ->Active() || qRelSZ->IsEmpty()) return;
    Guarded([&] {
        // The link selected in the grid; the case and the event stay.
        tRelSZ->Open();
        if (!tRelSZ->IsEmpty()) tRelSZ->Delete();
        tRelSZ->Close();
        qRelSZ->Close();
        qRelSZ->Open();
    });
    qRelSZAfterOpen();
}

void TformListaZdarzen::changeEvent(QEvent* event) {
    TPulpexDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        // The case links are shown again only on request.
        if (chbPokazuj->isChecked()) {
            chbPokazuj->setChecked(false);
            chbPokazujClick();
        }
    } else {
        FormDeactivate();
    }
}

void TformListaZdarzen::FormDeactivate() {
    // Pending edits are stored when the user turns to another window; a refusal is told once
    // (its own message box deactivates the window again).
    if (deactivating_ || !isVisible()) return;
    deactivating_ = true;
    PostPending();
    deactivating_ = false;
}

int ListaZdarzen(QWidget* owner, bool choosing) {
    TformListaZdarzen dlg(owner);
    dlg.Prepare(choosing);
    if (dlg.exec() != QDialog::Accepted || !choosing) return 0;
    return dlg.Result();
}

}  // namespace pulpex
