#include "controls/dbcontrols.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/prompts.h"
#include "support/widgets.h"
#include "tables/engine/table.h"

namespace pulpex {
namespace {

using engine::FieldType;
using engine::Table;

// A small table of three rows in a temporary directory, a data set over it and a shown form
// holding the controls.
class DbControls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = (dir.path() + "/PROBA.DBF").toStdString();
        Table::create(path, {{"ID", FieldType::Integer, 0},
                             {"NAZWA", FieldType::String, 10},
                             {"UWAGI", FieldType::Memo, 10},
                             {"PRYW", FieldType::Boolean, 0},
                             {"FLAGA", FieldType::String, 5},
                             {"ZDJ", FieldType::Graphic, 10}});
        auto t = Table::open(path);
        const char* names[] = {"alfa", "beta", "gamma"};
        for (int i = 0; i < 3; ++i) {
            t->append();
            t->setInteger("ID", i + 1);
            t->setString("NAZWA", names[i]);
            t->setString("UWAGI", std::string("uwagi ") + names[i]);
            t->setBoolean("PRYW", i == 1);
            t->post();
        }
        ds.SetDatabaseName(dir.path());
        ds.SetTableName("PROBA");
        ds.Open();
        layout = new QVBoxLayout(&form);
    }

    template <typename W>
    W* add(const QString& field) {
        auto* w = new W;
        layout->addWidget(w);
        w->SetDataSet(&ds);
        w->SetDataField(field);
        return w;
    }

    void showForm() {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    // The row with this identifier as another workstation reads it from the file.
    std::string stored(int id, const char* field) {
        auto t = Table::open(path);
        for (t->first(); !t->eof(); t->next())
            if (t->asInteger("ID") == id) return t->asText(field);
        return "<no row>";
    }

    QTemporaryDir dir;
    std::string path;
    ScriptedPrompts prompts;
    TTableDataSet ds;
    QWidget form;
    QVBoxLayout* layout = nullptr;
};

TEST_F(DbControls, TypedTextIsPostedExactly) {
    auto* ed = add<TDBEdit>("NAZWA");
    showForm();
    EXPECT_EQ(ed->text(), "alfa");
    EXPECT_EQ(ed->maxLength(), 10);

    ed->setFocus();
    ed->selectAll();
    test::typeText(ed, QStringLiteral("Żółw i ćma!"));  // 11 characters: the field holds 10
    EXPECT_EQ(ds.State(), TDataSetState::Edit);
    EXPECT_EQ(ds.FieldText("NAZWA"), QStringLiteral("Żółw i ćma"));
    EXPECT_EQ(stored(1, "NAZWA"), "alfa");
    ds.Post();
    EXPECT_EQ(QString::fromStdString(stored(1, "NAZWA")), QStringLiteral("Żółw i ćma"));

    ds.Next();
    EXPECT_EQ(ed->text(), "beta");
    ed->SetCharCase(TEditCharCase::ecUpperCase);
    ed->SetMaxLength(4);
    ed->selectAll();
    test::typeText(ed, QStringLiteral("łódź-owo"));
    EXPECT_EQ(ed->text(), QStringLiteral("ŁÓDŹ"));
    ds.Post();
    EXPECT_EQ(QString::fromStdString(stored(2, "NAZWA")), QStringLiteral("ŁÓDŹ"));
    EXPECT_TRUE(prompts.shown().empty());
}

TEST_F(DbControls, CancelWritesNothingAndShowsTheStoredValue) {
    auto* ed = add<TDBEdit>("NAZWA");
    auto* memo = add<TDBMemo>("UWAGI");
    showForm();
    EXPECT_EQ(memo->toPlainText(), "uwagi alfa");
    ed->setFocus();
    test::typeText(ed, "xyz");
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    test::typeText(memo, QStringLiteral(" i żółć"));
    EXPECT_EQ(ds.FieldText("UWAGI"), QStringLiteral("uwagi alfa i żółć"));
    ds.Cancel();
    EXPECT_EQ(ed->text(), "alfa");
    EXPECT_EQ(memo->toPlainText(), "uwagi alfa");
    EXPECT_EQ(stored(1, "NAZWA"), "alfa");
    EXPECT_EQ(stored(1, "UWAGI"), "uwagi alfa");

    // The memo posts what was typed.
    memo->moveCursor(QTextCursor::End);
    test::typeText(memo, QStringLiteral(" – ąę"));
    ds.Post();
    EXPECT_EQ(QString::fromStdString(stored(1, "UWAGI")), QStringLiteral("uwagi alfa – ąę"));
}

TEST_F(DbControls, CheckBoxStoresLogicalAndTextValues) {
    auto* logical = add<TDBCheckBox>("PRYW");
    auto* text = add<TDBCheckBox>("FLAGA");
    showForm();
    EXPECT_FALSE(logical->isChecked());
    QTest::mouseClick(logical, Qt::LeftButton);
    EXPECT_EQ(ds.State(), TDataSetState::Edit);
    QTest::mouseClick(text, Qt::LeftButton);
    ds.Post();
    {
        auto t = Table::open(path);
        t->first();
        EXPECT_EQ(t->asBoolean("PRYW"), std::optional<bool>(true));
        EXPECT_EQ(t->asString("FLAGA"), "True");
    }
    QTest::mouseClick(logical, Qt::LeftButton);
    QTest::mouseClick(text, Qt::LeftButton);
    ds.Post();
    auto t = Table::open(path);
    t->first();
    EXPECT_EQ(t->asBoolean("PRYW"), std::optional<bool>(false));
    EXPECT_EQ(t->asString("FLAGA"), "False");

    ds.Next();  // PRYW true in the second row
    EXPECT_TRUE(logical->isChecked());
    EXPECT_FALSE(text->isChecked());
}

TEST_F(DbControls, RadioGroupStoresTheValueOfTheChosenButton) {
    auto* rg = add<TDBRadioGroup>("PRYW");
    rg->SetItems({"Publiczny", "Prywatny"});
    rg->SetValues({"False", "True"});
    auto* flag = add<TDBRadioGroup>("FLAGA");
    flag->SetItems({"Pierwszy", "Drugi"});
    showForm();
    EXPECT_EQ(rg->ItemIndex(), 0);
    EXPECT_EQ(flag->ItemIndex(), -1);  // blank: no button

    const auto buttons = rg->findChildren<QRadioButton*>();
    ASSERT_EQ(buttons.size(), 2);
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_EQ(rg->Value(), "True");
    QTest::mouseClick(flag->findChildren<QRadioButton*>()[1], Qt::LeftButton);
    ds.Post();
    {
        auto t = Table::open(path);
        t->first();
        EXPECT_EQ(t->asBoolean("PRYW"), std::optional<bool>(true));
        EXPECT_EQ(t->asString("FLAGA"), "Drugi");  // without values the caption is stored
    }
    ds.Last();
    EXPECT_EQ(rg->ItemIndex(), 0);
    EXPECT_EQ(flag->ItemIndex(), -1);
    ds.First();
    EXPECT_EQ(rg->ItemIndex(), 1);
    EXPECT_EQ(flag->ItemIndex(), 1);
}

TEST_F(DbControls, NavigationUpdatesEveryControl) {
    auto* ed = add<TDBEdit>("NAZWA");
    auto* memo = add<TDBMemo>("UWAGI");
    auto* label = add<TDBText>("NAZWA");
    auto* check = add<TDBCheckBox>("PRYW");
    auto* nav = new TDBNavigator;
    layout->addWidget(nav);
    nav->SetDataSet(&ds);
    showForm();
    auto* first = nav->findChild<QToolButton*>("nbFirst");
    auto* prior = nav->findChild<QToolButton*>("nbPrior");
    auto* next = nav->findChild<QToolButton*>("nbNext");
    auto* last = nav->findChild<QToolButton*>("nbLast");
    ASSERT_TRUE(first && prior && next && last);
    EXPECT_EQ(first->toolTip(), "Pierwszy");
    EXPECT_EQ(prior->toolTip(), "Poprzedni");
    EXPECT_EQ(next->toolTip(), QStringLiteral("Następny"));
    EXPECT_EQ(last->toolTip(), "Ostatni");

    EXPECT_FALSE(first->isEnabled());
    EXPECT_FALSE(prior->isEnabled());
    EXPECT_TRUE(next->isEnabled());
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(ed->text(), "beta");
    EXPECT_EQ(memo->toPlainText(), "uwagi beta");
    EXPECT_EQ(label->text(), "beta");
    EXPECT_TRUE(check->isChecked());
    EXPECT_TRUE(first->isEnabled());
    EXPECT_TRUE(last->isEnabled());

    QTest::mouseClick(last, Qt::LeftButton);
    EXPECT_EQ(ed->text(), "gamma");
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(last->isEnabled());
    EXPECT_TRUE(prior->isEnabled());

    // Moving on with a pending change posts it first, as the data set does.
    ed->setFocus();
    ed->selectAll();
    test::typeText(ed, "delta");
    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(ed->text(), "alfa");
    EXPECT_EQ(stored(3, "NAZWA"), "delta");

    ds.Close();
    EXPECT_EQ(ed->text(), "");
    EXPECT_EQ(label->text(), "");
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(first->isEnabled());
}

TEST_F(DbControls, RowLockedElsewhereIsReportedAndLeftUnchanged) {
    auto* ed = add<TDBEdit>("NAZWA");
    auto* check = add<TDBCheckBox>("PRYW");
    showForm();
    auto other = Table::open(path);
    other->first();
    other->edit();

    ed->setFocus();
    test::typeText(ed, "x");
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].severity, Severity::Error);
    EXPECT_FALSE(prompts.shown()[0].text.isEmpty());
    EXPECT_EQ(ed->text(), "alfa");
    EXPECT_EQ(ds.State(), TDataSetState::Browse);

    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
    EXPECT_EQ(prompts.shown().size(), 2u);
    EXPECT_FALSE(check->isChecked());
    EXPECT_EQ(ds.State(), TDataSetState::Browse);

    other->cancel();
    EXPECT_EQ(stored(1, "NAZWA"), "alfa");
    // Once the other workstation lets go, typing edits again.
    test::typeText(ed, "x");
    EXPECT_EQ(ds.State(), TDataSetState::Edit);
    EXPECT_EQ(ed->text(), "alfax");
}

TEST_F(DbControls, SecondDataSetSeesThePostAfterRefresh) {
    TTableDataSet second;
    second.SetDatabaseName(dir.path());
    second.SetTableName("PROBA");
    second.Open();
    auto* ed = add<TDBEdit>("NAZWA");
    showForm();
    ed->setFocus();
    ed->selectAll();
    test::typeText(ed, QStringLiteral("ćma"));
    ds.Post();
    second.Refresh();
    EXPECT_EQ(second.FieldText("NAZWA"), QStringLiteral("ćma"));
}

TEST_F(DbControls, ImageIsStoredAsBitmap) {
    auto* img = add<TDBImage>("ZDJ");
    showForm();
    EXPECT_TRUE(img->Picture().isNull());
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(img->LoadPicture(picture));
    ds.Post();
    {
        auto t = Table::open(path);
        t->first();
        const auto bytes = t->readBlob("ZDJ");
        ASSERT_GT(bytes.size(), 2u);
        EXPECT_EQ(static_cast<char>(bytes[0]), 'B');
        EXPECT_EQ(static_cast<char>(bytes[1]), 'M');
    }
    ds.Next();
    EXPECT_TRUE(img->Picture().isNull());
    ds.First();
    ASSERT_FALSE(img->Picture().isNull());
    EXPECT_EQ(img->Picture().size(), QSize(4, 3));
    EXPECT_EQ(img->Picture().pixelColor(1, 1), QColor(Qt::red));
}

}  // namespace
}  // namespace pulpex
