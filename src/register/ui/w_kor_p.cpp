#include "register/ui/w_kor_p.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "addresses/ui/w_stron.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "core/ui/help.h"
#include "planner/ui/w_kaled.h"
#include "planner/ui/w_plan.h"
#include "register/ui/adres_zd.h"

namespace pulpex {

namespace {

TDBEdit* readOnlyField(QWidget* page, const char* name, TTableDataSet* ds, const char* field) {
    auto* e = Bound<TDBEdit>(page, name, ds, QLatin1String(field));
    e->setReadOnly(true);
    return e;
}

}  // namespace

TOknoKorPrzy::TOknoKorPrzy(QWidget* parent)
    : TPulpexDialog(parent, "OknoKorPrzy", QStringLiteral("Korespondencja Przychodząca"),
                    kHelpKorPrzy),
      wybor_(QStringLiteral(" select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ where ZD_TYP=") +
             QStringLiteral("1")),
      porzadek_(QStringLiteral(" order by ZD_DAT, ID")) {
    qZdarzenia = QueryDataSet(
        this, "qZdarzenia",
        {QStringLiteral("select "), QStringLiteral("\tZD_NMR, ZD_DAT,ZD_ADR,id"),
         QStringLiteral("from "), QStringLiteral("\tZDARZ"), QStringLiteral("where "),
         QStringLiteral("\tZD_TYP=1"), QStringLiteral("order by "), QStringLiteral("\tZD_DAT,ID")});
    tZdarzenia =
        TableDataSet(this, "tZdarzenia", QStringLiteral("ZDARZ"), QStringLiteral("ZDARZ_ID"));
    tZdarzenia->SetMaster(qZdarzenia, QStringLiteral("ID"));
    tZdarzenia->SetReadOnly(true);
    tAdresy = TableDataSet(this, "tAdresy", QStringLiteral("ADRESY"), QStringLiteral("ADR_ID"));
    tAdresy->SetMaster(qZdarzenia, QStringLiteral("ZD_ADR"));
    connect(qZdarzenia, &TDataSet::AfterOpen, this, &TOknoKorPrzy::qZdarzeniaAfterOpen);

    // --- the list
    DBGrid1 = new TCV_DBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setToolTip(QStringLiteral("Wybór pisma"));
    DBGrid1->SetDataSet(qZdarzenia);  // every column of the statement, as it stands
    DBGrid1->SetSearchName(QStringLiteral("ZD_NMR"));
    connect(DBGrid1, &QAbstractItemView::doubleClicked, this, &TOknoKorPrzy::DBGrid1DoubleClick);
    btnFiltr =
        MakeButton(this, QStringLiteral("&Filtr"), "btnFiltr", QStringLiteral("Filtrowanie bazy"));
    connect(btnFiltr, &QPushButton::clicked, this, &TOknoKorPrzy::btnFiltrClick);
    auto* left = new QVBoxLayout;
    left->addWidget(DBGrid1, 1);
    left->addWidget(btnFiltr);

    // --- the current letter
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto* tsPrzegladaj = new QWidget(PageControl1);
    tsPrzegladaj->setObjectName(QStringLiteral("tsPrzegladaj"));
    buildBrowsePage(tsPrzegladaj);
    PageControl1->addTab(tsPrzegladaj, QStringLiteral("&Przeglądaj"));
    auto* tsAdres = new QWidget(PageControl1);
    tsAdres->setObjectName(QStringLiteral("tsAdres"));
    buildAddressPage(tsAdres);
    PageControl1->addTab(tsAdres, QStringLiteral("&Adres"));

    auto* body = new QHBoxLayout;
    body->addLayout(left, 2);
    body->addWidget(PageControl1, 3);

    // --- the buttons
    auto* btnKalendarz =
        MakeButton(this, QStringLiteral("Kalendarz"), "btnKalendarz", QStringLiteral("Kalendarz"));
    connect(btnKalendarz, &QPushButton::clicked, this, &TOknoKorPrzy::btnKalendarzClick);
    auto* btnBazaAdresow = MakeButton(this, QStringLiteral("Baza adresów"), "btnBazaAdresow",
                                      QStringLiteral("Baza adresów"));
    connect(btnBazaAdresow, &QPushButton::clicked, this, &TOknoKorPrzy::btnBazaAdresowClick);
    auto* btnTerminarz =
        MakeButton(this, QStringLiteral("Terminarz"), "btnTerminarz", QStringLiteral("Terminarz"));
    connect(btnTerminarz, &QPushButton::clicked, this, &TOknoKorPrzy::btnTerminarzClick);
    btnOK = MakeButton(this, QStringLiteral("&OK"), "btnOK", {}, /*isDefault=*/true);
    connect(btnOK, &QPushButton::clicked, this, &TOknoKorPrzy::btnOKClick);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(
        ButtonRow({btnKalendarz, btnBazaAdresow, btnTerminarz},
                  {btnOK, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj"), HelpButton()}));
    resize(760, 460);
    // The first name on the address page is the only thing that can be changed here.
    KeepPosted({tAdresy});
    SetActiveControl(DBGrid1);
}

void TOknoKorPrzy::buildBrowsePage(QWidget* page) {
    auto* edNumer = readOnlyField(page, "edNumer", tZdarzenia, "ZD_NMR");
    auto* edSymbol = readOnlyField(page, "edSymbol", tZdarzenia, "ZD_SMB");
    auto* edData = readOnlyField(page, "edData", tZdarzenia, "ZD_DAT");
    auto* edOdbiorca = readOnlyField(page, "edOdbiorca", tZdarzenia, "ZD_ODB");
    auto* memOpis = Bound<TDBMemo>(page, "memOpis", tZdarzenia, QStringLiteral("ZD_OPIS"));
    memOpis->setReadOnly(true);
    memOpis->setTabChangesFocus(true);
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("&Numer"), edNumer);
    form->addRow(QStringLiteral("S&ymbol"), edSymbol);
    form->addRow(QStringLiteral("&Data"), edData);
    form->addRow(QStringLiteral("Od&biorca"), edOdbiorca);
    form->addRow(QStringLiteral("Opis"), memOpis);
}

void TOknoKorPrzy::buildAddressPage(QWidget* page) {
    BudujStroneAdresu(page, tAdresy);
}

bool TOknoKorPrzy::Prepare() {
    return Guarded([&] {
        qZdarzenia->Open();
        tZdarzenia->Open();
        tAdresy->Open();
    });
}

int TOknoKorPrzy::Wynik() const {
    return wynik_;
}

QString TOknoKorPrzy::ListSql() const {
    return qZdarzenia->SQL().join(QLatin1Char('\n'));
}

void TOknoKorPrzy::qZdarzeniaAfterOpen() {
    qZdarzenia->First();
    const bool any = !qZdarzenia->IsEmpty();
    PageControl1->setEnabled(any);
    btnOK->setEnabled(any);
}

void TOknoKorPrzy::btnFiltrClick() {
    if (!PokazFiltr(this, filtr_)) return;
    warunek_ = WarunekFiltru(filtr_);
    Guarded([&] {
        qZdarzenia->Close();
        qZdarzenia->SetSQL({wybor_ + warunek_ + porzadek_});
        qZdarzenia->Open();
    });
}

void TOknoKorPrzy::btnKalendarzClick() {
    WybierzDate(this, false, true, QDate::currentDate());
}

void TOknoKorPrzy::btnBazaAdresowClick() {
    if (!PostPending()) return;
    OknoStron(this, false);
    Guarded([&] { tAdresy->Refresh(); });
}

void TOknoKorPrzy::btnTerminarzClick() {
    PokazTerminarz(this);
}

void TOknoKorPrzy::btnOKClick() {
    if (qZdarzenia->Active() && !qZdarzenia->IsEmpty())
        wynik_ = static_cast<int>(qZdarzenia->AsInteger(QStringLiteral("ID")));
    accept();
}

void TOknoKorPrzy::DBGrid1DoubleClick() {
    if (btnOK->isEnabled()) btnOKClick();
}

int OknoKorPrzy(QWidget* owner) {
    TOknoKorPrzy okno(owner);
    if (!okno.Prepare()) return 0;
    if (okno.exec() != QDialog::Accepted) return 0;
    return okno.Wynik();
}

}  // namespace pulpex
