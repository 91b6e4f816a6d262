#include "core/ui/window.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "support/testenv.h"
#include "support/widgets.h"
#include "tables/engine/table.h"

namespace pulpex {
namespace {

using engine::FieldType;
using engine::Table;

// A dialog on the shared frame over a one-row table, as a window of the program is built.
class Form : public TPulpexDialog {
  public:
    Form() : TPulpexDialog(nullptr, "formProba", QStringLiteral("Próba"), 0) {
        tProba = TableDataSet(this, "tProba", QStringLiteral("PROBA"));
        edNazwa = Bound<TDBEdit>(this, "edNazwa", tProba, QStringLiteral("NAZWA"));
        auto* ok = MakeButton(this, QStringLiteral("&OK"), "btnOk", {}, true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(edNazwa);
        layout->addLayout(ButtonRow({}, {ok, CancelButton(QStringLiteral("Anuluj"), "btnAnuluj")}));
        KeepPosted({tProba});
        SetActiveControl(edNazwa);
    }
    TTableDataSet* tProba;
    TDBEdit* edNazwa;
};

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        path = (env.dataDir() + "PROBA.DBF").toStdString();
        Table::create(path, {{"ID", FieldType::Integer, 0}, {"NAZWA", FieldType::String, 30}});
        auto t = Table::open(path);
        t->append();
        t->setInteger("ID", 1);
        t->setString("NAZWA", "Młyn");
        t->post();
    }
    std::string stored() {
        auto t = Table::open(path);
        t->first();
        return t->asString("NAZWA");
    }
    test::TestSystem env;
    std::string path;
};

TEST_F(Window, LeavingPostsWhatWasTypedAndARefusedPostKeepsTheWindowOpen) {
    {
        Form f;
        f.tProba->Open();
        f.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
        EXPECT_EQ(QApplication::focusWidget(), f.edNazwa);  // the active control has the focus
        f.edNazwa->setCursorPosition(4);
        test::typeText(f.edNazwa, QStringLiteral(" Łąka"));
        ASSERT_TRUE(test::click(&f, "btnAnuluj"));
        EXPECT_FALSE(f.isVisible());
        EXPECT_FALSE(f.tProba->Active());
    }
    EXPECT_EQ(QString::fromStdString(stored()), QStringLiteral("Młyn Łąka"));

    // A letter the table's code page cannot hold: the user is told, the window stays with the
    // text, and the row keeps what it held.
    Form f;
    f.tProba->Open();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    test::typeText(f.edNazwa, QStringLiteral("Ж"));
    ASSERT_TRUE(test::click(&f, "btnOk"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.tProba->Editing());
    EXPECT_TRUE(f.edNazwa->text().contains(QStringLiteral("Ж")));
    ASSERT_FALSE(env.prompts.shown().empty());
    EXPECT_EQ(env.prompts.shown().back().severity, Severity::Error);
    EXPECT_EQ(QString::fromStdString(stored()), QStringLiteral("Młyn Łąka"));
}

TEST_F(Window, ClickRefusesADisabledButton) {
    Form f;
    f.show();
    test::child<QPushButton>(&f, "btnOk")->setEnabled(false);
    EXPECT_NONFATAL_FAILURE(test::click(&f, "btnOk"), "disabled");
    EXPECT_TRUE(f.isVisible());
}

}  // namespace
}  // namespace pulpex
