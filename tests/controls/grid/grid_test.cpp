#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTest>

#include "controls/data/tables_fixture.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"

namespace pulpex {
namespace {

// Key presses carrying any text (QTest's own key clicks take ASCII only).
void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

class GridTest : public ::testing::Test {
  protected:
    std::unique_ptr<TTableDataSet> openAdresy(const char* index) {
        auto t = std::make_unique<TTableDataSet>();
        t->SetDatabaseName(db.path());
        t->SetTableName("ADRESY");
        t->SetIndexName(QString::fromLatin1(index));
        t->Open();
        return t;
    }
    std::unique_ptr<TCV_DBGrid> showGrid(TDataSet* ds) {
        auto g = std::make_unique<TCV_DBGrid>();
        g->setObjectName("grid");
        g->resize(400, 300);
        g->SetDataSet(ds);
        g->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(g.get()));
        return g;
    }
    test::CorrespondenceTables db;
    ScriptedPrompts prompts;
};

using GridModelTest = GridTest;
using CvDbGridTest = GridTest;

TEST_F(GridModelTest, ReadsOnlyWhatTheScreenShowsOfALargeTable) {
    db.createAdresy();
    {
        auto t = engine::Table::open(db.table("ADRESY.DBF"));
        for (int i = 1; i <= 20000; ++i)
            db.addAdres(*t, i, "Adresat " + std::to_string(i));
    }
    auto ds = openAdresy("ADR_ID");
    auto grid = showGrid(ds.get());
    grid->AddColumn("ID", "Id", 60);
    grid->AddColumn("AD_NAZW", "Nazwa", 200);
    QApplication::processEvents();
    TDBGridModel* m = grid->GridModel();
    EXPECT_EQ(m->columnCount(), 2);
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nazwa"));
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(1), 200);
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), QStringLiteral("Adresat 1"));
    EXPECT_LT(m->RowsWalked(), 1000);
    EXPECT_LT(m->RowReads(), 100);
    EXPECT_GT(m->RowReads(), 0);

    // The data set's move to its last row brings the view along.
    ds->Last();
    QApplication::processEvents();
    EXPECT_EQ(m->rowCount(), 20000);
    EXPECT_EQ(grid->currentIndex().row(), 19999);
    EXPECT_LT(m->RowReads(), 200);
    EXPECT_EQ(m->data(m->index(19999, 0)).toString(), QStringLiteral("20000"));
}

TEST_F(GridModelTest, FollowsTheDataSetBothWaysAndReloadsAfterPost) {
    db.fillSmall();
    auto ds = openAdresy("ADR_NAZW");
    auto grid = showGrid(ds.get());
    grid->AddColumn("AD_NAZW", "Nazwa", 150);
    grid->setFocus();
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(ds->AsString("AD_NAZW"), QStringLiteral("Kozłowski Piotr"));
    ds->Locate("ID", 3);
    EXPECT_EQ(grid->currentIndex().row(), 3);

    ds->Edit();
    ds->SetFieldValue("AD_NAZW", QStringLiteral("Adamska Iga"));
    EXPECT_EQ(grid->model()->data(grid->model()->index(3, 0)).toString(),
              QStringLiteral("Adamska Iga"));  // the edited row shows the typed value
    ds->Post();
    // Reordered by name: the row moved to the top and the view went with it.
    EXPECT_EQ(grid->model()->data(grid->model()->index(0, 0)).toString(),
              QStringLiteral("Adamska Iga"));
    EXPECT_EQ(grid->currentIndex().row(), 0);

    grid->SetMultiSelect(true);
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    auto marks = grid->SelectedBookmarks();
    ASSERT_EQ(marks.size(), 3u);
    ds->GotoBookmark(marks[2]);
    EXPECT_EQ(ds->AsString("AD_NAZW"), QStringLiteral("Kozłowski Piotr"));

    ds->Close();
    EXPECT_EQ(grid->model()->rowCount(), 0);
}

TEST_F(CvDbGridTest, TypeToSearchOnTheSearchField) {
    db.fillSmall();
    auto ds = openAdresy("ADR_ID");
    auto grid = showGrid(ds.get());
    grid->SetSearchName("AD_NAZW");
    grid->setFocus();
    QTest::keyClicks(grid.get(), "ko");
    EXPECT_EQ(grid->SearchText(), QStringLiteral("KO"));
    EXPECT_EQ(ds->AsInteger("ID"), 1);
    QTest::keyClick(grid.get(), 'z');
    EXPECT_EQ(ds->AsInteger("ID"), 4);  // "KOZ": Kozłowski
    EXPECT_EQ(grid->currentIndex().row(), 3);
    EXPECT_EQ(grid->toolTip(), QStringLiteral("Wyszukiwanie : KOZ"));
    QTest::keyClicks(grid.get(), "x");  // no "KOZX": the row stays
    EXPECT_EQ(ds->AsInteger("ID"), 4);

    QTest::keyClick(grid.get(), Qt::Key_Backspace);
    EXPECT_EQ(grid->SearchText(), QString());
    EXPECT_EQ(ds->AsInteger("ID"), 1);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(grid->toolTip(), QString());

    typeText(grid.get(), QStringLiteral("św"));  // Polish letters, upper-cased
    EXPECT_EQ(grid->SearchText(), QStringLiteral("ŚW"));
    EXPECT_EQ(ds->AsInteger("ID"), 3);
    QTest::keyClicks(grid.get(), "!");  // not searchable
    EXPECT_EQ(grid->SearchText(), QStringLiteral("ŚW"));

    grid->SetSearchCaseSens(true);
    grid->SetSearchName("AD_NAZW");
    EXPECT_EQ(ds->AsInteger("ID"), 1);
    QTest::keyClicks(grid.get(), "No");
    EXPECT_EQ(ds->AsInteger("ID"), 2);
    EXPECT_TRUE(TCV_DBGrid::IsSearchChar(QChar(u'Ż')) && TCV_DBGrid::IsSearchChar(QChar(u'_')));
    EXPECT_FALSE(TCV_DBGrid::IsSearchChar(QChar(u'-')) || TCV_DBGrid::IsSearchChar(QChar(u'é')));
}

TEST_F(CvDbGridTest, SearchIndexFindsTheNearestKeyAndKeepsTheOrder) {
    db.fillSmall();
    auto ds = openAdresy("ADR_ID");
    auto grid = showGrid(ds.get());
    grid->SetSearchName("AD_NAZW");
    grid->SetSearchIndex("ADR_NAZW");
    grid->setFocus();
    QTest::keyClicks(grid.get(), "n");
    EXPECT_EQ(ds->AsInteger("ID"), 2);
    EXPECT_EQ(ds->IndexName(), QStringLiteral("ADR_ID"));
    ds->Next();
    EXPECT_EQ(ds->AsInteger("ID"), 3);   // still in identifier order
    QTest::keyClicks(grid.get(), "ow");  // nearest key at or after "NOW"
    EXPECT_EQ(ds->AsInteger("ID"), 2);
    EXPECT_EQ(grid->currentIndex().row(), 1);
}

TEST_F(CvDbGridTest, OverAMasterQueryMovesTheDetailTable) {
    db.fillSmall();
    TQueryDataSet q;
    q.SetDatabaseName(db.path());
    q.SQL() = {"select ZD_NMR, ZD_ADR, ID from ZDARZ", "order by ID"};
    auto adresy = openAdresy("ADR_ID");
    adresy->SetMaster(&q, "ZD_ADR");
    q.Open();
    auto grid = showGrid(&q);
    grid->AddColumn("ZD_NMR", "Numer", 80);
    grid->setFocus();
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QStringLiteral("Nowak Anna"));
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(q.AsInteger("ID"), 2);
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QStringLiteral("Kowalski Jan"));
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_TRUE(adresy->IsEmpty());  // address 99 does not exist
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QString());
    grid->SetSearchName("ZD_NMR");
    QTest::keyClicks(grid.get(), "4");
    EXPECT_EQ(grid->currentIndex().row(), 3);
    EXPECT_EQ(adresy->AsString("AD_NAZW"), QStringLiteral("Świątek Iga"));
}

}  // namespace
}  // namespace pulpex
