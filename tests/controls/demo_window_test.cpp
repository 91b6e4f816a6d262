// A small window built the way the program's windows are: a searchable grid over an events
// query, and a page of controls bound to the correspondent that follows the current event.
// Kept as a test: it is not shipped.
#include <gtest/gtest.h>

#include <QTest>

#include <QVBoxLayout>
#include <QWidget>
#include "support/qtry.h"

#include "addresses/adresy.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "register/zdarzen.h"
#include "support/testenv.h"
#include "tables/fieldio.h"

namespace pulpex {
namespace {

class DemoWindow : public QWidget {
  public:
    explicit DemoWindow(const QString& dataDir) {
        setObjectName("DemoWindow");
        qZdarzenia.setObjectName("qZdarzenia");
        qZdarzenia.SetDatabaseName(dataDir);
        qZdarzenia.SetSQL({"select ID, ZD_NMR, ZD_ADR", "from ZDARZ", "order by ZD_NMR"});
        tAdresy.setObjectName("tAdresy");
        tAdresy.SetDatabaseName(dataDir);
        tAdresy.SetTableName("ADRESY");
        tAdresy.SetIndexName("ADR_ID");
        tAdresy.SetMaster(&qZdarzenia, "ZD_ADR");

        auto* layout = new QVBoxLayout(this);
        grid = new TCV_DBGrid(this);
        grid->setObjectName("tZdarzenia");
        grid->SetDataSet(&qZdarzenia);
        grid->AddColumn("ZD_NMR", "Numer", 120);
        grid->SetSearchName("ZD_NMR");
        layout->addWidget(grid);
        firma = new TDBEdit(this);
        firma->setObjectName("edFirma");
        firma->SetDataSet(&tAdresy);
        firma->SetDataField("AD_NAZF");
        layout->addWidget(firma);
        miasto = new TDBText(this);
        miasto->setObjectName("lbMiasto");
        miasto->SetDataSet(&tAdresy);
        miasto->SetDataField("AD_MIAS");
        layout->addWidget(miasto);
        nav = new TDBNavigator(this);
        nav->setObjectName("nvZdarzenia");
        nav->SetDataSet(&qZdarzenia);
        layout->addWidget(nav);
        qZdarzenia.Open();
        tAdresy.Open();
    }
    TQueryDataSet qZdarzenia;
    TTableDataSet tAdresy;
    TCV_DBGrid* grid = nullptr;
    TDBEdit* firma = nullptr;
    TDBText* miasto = nullptr;
    TDBNavigator* nav = nullptr;
};

int addAddress(TTbl_Adresy& t, const QString& firma, const QString& miasto) {
    TRec_Adresy r;
    r.AD_NAZF = firma;
    r.AD_MIAS = miasto;
    int id = 0;
    t.OT_AddNew(id, r);
    return id;
}

void addEvent(TTbl_Zdarzenia& t, const QString& nmr, int adr) {
    TRec_Zdarzenia r;
    r.ZD_NMR = nmr;
    r.ZD_ADR = adr;
    int id = 0;
    t.OT_AddNew(id, r);
}

TEST(DemoWindow, MasterGridMovesTheBoundDetailPage) {
    test::TestSystem env;
    {
        TTbl_Adresy adr;
        ASSERT_TRUE(adr.CreateTableSelf());  // with its sample correspondent as ID 1
        adr.Open();
        const int lodz = addAddress(adr, "Młyn „Zbożowy”", "Łódź");
        const int gdansk = addAddress(adr, "Stocznia Północna", "Gdańsk");
        TTbl_Zdarzenia zd;
        ASSERT_TRUE(zd.CreateTableSelf());
        zd.Open();
        addEvent(zd, "P/2024/3/1", lodz);
        addEvent(zd, "P/2024/3/2", 0);  // an event without a correspondent
        addEvent(zd, "W/2024/3/3", gdansk);
    }
    DemoWindow w(env.dataDir());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.grid->setFocus();

    auto* edit = w.findChild<TDBEdit*>("edFirma");
    auto* label = w.findChild<TDBText*>("lbMiasto");
    ASSERT_TRUE(edit && label);
    QTRY_COMPARE(edit->text(), QString("Młyn „Zbożowy”"));
    EXPECT_EQ(label->text(), "Łódź");

    QTest::keyClick(w.grid, Qt::Key_Down);
    QTRY_COMPARE(w.qZdarzenia.AsString("ZD_NMR"), QString("P/2024/3/2"));
    QTRY_COMPARE(edit->text(), QString());
    EXPECT_TRUE(w.tAdresy.IsEmpty());

    // Type-to-search: "W" jumps to the outgoing letter and its addressee follows.
    QTest::keyClick(w.grid, Qt::Key_W);
    QTRY_COMPARE(w.qZdarzenia.AsString("ZD_NMR"), QString("W/2024/3/3"));
    QTRY_COMPARE(label->text(), QString("Gdańsk"));

    // An edit on the detail page goes to the file at post.
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "Stocznia Polnocna S.A.");
    w.tAdresy.Post();
    auto check = engine::Table::open(u8(env.dataDir()) + "ADRESY.DBF");
    check->setIndex("ADR_ID");
    ASSERT_TRUE(check->findKey(engine::Value{std::int64_t{3}}));
    EXPECT_EQ(check->asString("AD_NAZF"), "Stocznia Polnocna S.A.");

    // The navigator moves the master back to the first event.
    auto* first = w.nav->findChild<QWidget*>("nbFirst");
    ASSERT_TRUE(first);
    QTest::mouseClick(first, Qt::LeftButton);
    QTRY_COMPARE(label->text(), QString("Łódź"));
}

}  // namespace
}  // namespace pulpex
