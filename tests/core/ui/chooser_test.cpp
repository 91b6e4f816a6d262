#include "core/ui/chooser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>

#include "controls/data/dataset.h"
#include "controls/data/tables_fixture.h"
#include "controls/grid/cvdbgrid.h"
#include "core/prompts.h"
#include "support/modal.h"

namespace pulpex {
namespace {

using test::OnModal;

class DialogsChooser : public ::testing::Test {
  protected:
    void SetUp() override {
        db.createAdresy();
        auto t = engine::Table::open(db.table("ADRESY.DBF"));
        db.addAdres(*t, 1, "Kowalski");
        db.addAdres(*t, 2, "Nowak");
        db.addAdres(*t, 3, "Wiśniewski");
    }
    void setUp(TForm_Chooser& c, const QString& condition) {
        c.DatabaseName = db.path();
        c.TableName = "ADRESY";
        c.Fields = "AD_NAZW";
        c.Condition = condition;
        c.Order = "AD_NAZW";
        c.SearchField = "AD_NAZW";
    }
    test::CorrespondenceTables db;
    ScriptedPrompts prompts;
};

TEST_F(DialogsChooser, BuildsTheQueryAndHandsBackTheChosenId) {
    TForm_Chooser c;
    setUp(c, "ID > 1");
    QStringList sql;
    QWidget* focused = nullptr;
    OnModal([&](QWidget* w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        sql = c.SqlLines();
        focused = QApplication::focusWidget();
        // Type to search, then "&Ok".
        for (QChar ch : QString("wi")) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(c.grid, &press);
        }
        c.btnOk->click();
    });
    EXPECT_EQ(c.Execute(), 3);
    EXPECT_EQ(sql, (QStringList{"SELECT AD_NAZW ,ID ", "FROM ADRESY", "WHERE ID > 1",
                                "ORDER BY AD_NAZW"}));
    EXPECT_EQ(focused, c.grid);
    EXPECT_EQ(c.grid->SearchName(), "AD_NAZW");
    EXPECT_FALSE(c.qLista->Active());  // closing closes the query

    // Without condition and order only the two fixed lines; cancel hands back 0.
    c.Condition.clear();
    c.Order.clear();
    OnModal([&](QWidget*) {
        sql = c.SqlLines();
        c.btnAnuluj->click();
    });
    EXPECT_EQ(c.Execute(), 0);
    EXPECT_EQ(sql, (QStringList{"SELECT AD_NAZW ,ID ", "FROM ADRESY"}));
}

TEST_F(DialogsChooser, EmptyResultStaysOpenAndGivesZero) {
    TForm_Chooser c;
    setUp(c, "ID > 100");
    bool stillOpen = false;
    int resultAfterOk = -1;
    OnModal([&](QWidget*) {
        c.btnOk->click();
        stillOpen = c.isVisible();
        resultAfterOk = c.Result();
        c.reject();
    });
    EXPECT_EQ(c.Execute(), 0);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(resultAfterOk, 0);
}

}  // namespace
}  // namespace pulpex
