#include "register/ui/listzdrz.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "addresses/adresy.h"
#include "cases/rel_s_z.h"
#include "cases/sprawy.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "documents/pisma.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/engine/table.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::clickRow;
using test::ModalScript;
using test::typeText;

class EventList : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
    }

    int add(const QString& number, int kind = 1, const QDate& date = QDate(2024, 3, 1),
            const QString& content = {}, const QString& description = {}, int address = 0) {
        TRec_Zdarzenia z;
        z.ZD_NMR = number;
        z.ZD_TYP = kind;
        z.ZD_DAT = QDateTime(date, QTime(0, 0));
        z.ZD_TRE.SetText(content);
        z.ZD_OPIS.SetText(description);
        z.ZD_ADR = address;
        OpenForCall open(*TblZdarzenia);
        TblZdarzenia->OT_AddNew(z.ID, z);
        return z.ID;
    }
    TRec_Zdarzenia read(int id) {
        TRec_Zdarzenia z;
        OpenForCall open(*TblZdarzenia);
        EXPECT_TRUE(TblZdarzenia->ReadRecordByID(id, z)) << id;
        return z;
    }
    bool exists(int id) {
        OpenForCall open(*TblZdarzenia);
        return TblZdarzenia->LocateID(id);
    }
    void open(bool choosing = false) {
        w = std::make_unique<TformListaZdarzen>();
        w->Prepare(choosing);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TCV_DBGrid* grid() { return child<TCV_DBGrid>(w.get(), "grdZdarzenia"); }
    TDataSet* list() { return child<TDataSet>(w.get(), "qZdarzenia"); }
    int rows() { return static_cast<int>(list()->RecordCount()); }
    // The numbers listed, in the list's order, read without moving the list.
    QStringList numbers() {
        QStringList out;
        TDataSet* q = list();
        std::unique_ptr<engine::Cursor> r = q->CreateReader();
        if (!r) return out;
        const int field = q->FieldIndex("ZD_NMR");
        for (r->first(); !r->eof(); r->next())
            out << cursorFieldValue(*r, field).toString().trimmed();
        return out;
    }
    void select(const QString& number) {
        const int row = static_cast<int>(numbers().indexOf(number));
        ASSERT_GE(row, 0) << number.toStdString();
        ASSERT_TRUE(clickRow(grid(), row));
        ASSERT_EQ(list()->FieldText("ZD_NMR"), number);
    }
    // Runs "Szuka&j" for `text`; the numbers found.
    QStringList search(const QString& text) {
        if (w->SearchOn()) click(w.get(), "btnSzukaj");  // back to all rows
        inst.env.prompts.setNextInput(text);
        click(w.get(), "btnSzukaj");
        EXPECT_TRUE(w->SearchOn());
        return numbers();
    }

    test::TestInstallation inst;
    std::unique_ptr<TformListaZdarzen> w;
};

TEST_F(EventList, KindBoxesComposeTheQueryAndTheLastOneCannotBeUnticked) {
    add("P/1", 1, QDate(2024, 3, 2));
    add("W/1", 2, QDate(2024, 3, 1));
    add("I/1", 3, QDate(2024, 3, 3));
    open();
    EXPECT_EQ(w->windowTitle(), "Zdarzenia");
    EXPECT_EQ(w->QueryText(),
              "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ where ZD_TYP < 4  order by ZD_DAT, "
              "ID");
    EXPECT_EQ(numbers(), QStringList({"W/1", "P/1", "I/1"}));  // by date

    ASSERT_TRUE(click(w.get(), "cbPrzychodzace"));
    EXPECT_EQ(w->QueryText(),
              "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ Where ZD_TYP in "
              "( 2,3 )  order by ZD_DAT, ID");
    EXPECT_EQ(numbers(), QStringList({"W/1", "I/1"}));

    ASSERT_TRUE(click(w.get(), "cbWychodzace"));
    EXPECT_EQ(numbers(), QStringList({"I/1"}));
    // Unticking the last box ticks "Pisma przychodzące" again.
    ASSERT_TRUE(click(w.get(), "cbInne"));
    EXPECT_TRUE(child<QCheckBox>(w.get(), "cbPrzychodzace")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(w.get(), "cbInne")->isChecked());
    EXPECT_EQ(w->QueryText(),
              "select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ Where ZD_TYP in "
              "( 1 )  order by ZD_DAT, ID");
    EXPECT_EQ(numbers(), QStringList({"P/1"}));
}

TEST_F(EventList, TheCurrentEventsKindDecidesWhatThePagesShow) {
    add("P/1", 1, QDate(2024, 3, 1));
    add("W/1", 2, QDate(2024, 3, 2));
    add("I/1", 3, QDate(2024, 3, 3));
    open();
    auto* pages = child<QTabWidget>(w.get(), "PageControl1");
    auto* lb = child<QLabel>(w.get(), "lbOdbiorca");
    // Shown on its page, whichever page is in front.
    const auto shown = [&](const char* name) { return !child<QWidget>(w.get(), name)->isHidden(); };

    select("P/1");
    EXPECT_TRUE(shown("edOdbiorca"));
    EXPECT_TRUE(shown("edSymbol"));
    EXPECT_FALSE(shown("chbPolecone"));
    EXPECT_EQ(lb->text(), "Odbiorca");
    pages->setCurrentIndex(3);

    select("W/1");
    EXPECT_FALSE(shown("edOdbiorca"));
    EXPECT_FALSE(shown("edSymbol"));
    EXPECT_TRUE(shown("chbPolecone"));
    EXPECT_TRUE(shown("btnDoPisma"));
    EXPECT_EQ(lb->text(), "Do pisma");
    EXPECT_EQ(pages->currentIndex(), 3);

    // "Inne" has no correspondent: back to the first page, the address page closed.
    select("I/1");
    EXPECT_FALSE(shown("lbOdbiorca"));
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_FALSE(pages->isTabEnabled(3));
}

TEST_F(EventList, AnEmptyListDisablesThePagesDeletionAndOk) {
    add("P/1", 1);
    open(true);
    EXPECT_TRUE(child<QWidget>(w.get(), "PageControl1")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(w.get(), "btnUsun")->isEnabled());
    ASSERT_TRUE(click(w.get(), "cbPrzychodzace"));  // only kinds 2 and 3: nothing
    EXPECT_EQ(rows(), 0);
    EXPECT_FALSE(child<QWidget>(w.get(), "PageControl1")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnUsun")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnOK")->isEnabled());
}

TEST_F(EventList, DeletingAsksFirstAndNoKeepsTheRow) {
    const int first = add("P/1", 1, QDate(2024, 3, 1));
    const int second = add("P/2", 1, QDate(2024, 3, 2));
    const int third = add("P/3", 1, QDate(2024, 3, 3));
    {
        OpenForCall links(*TblRelSprZd);
        TblRelSprZd->DodajPowiazanie(7, second);
    }
    open();
    select("P/2");
    QString question, warning;
    ModalScript script;
    script.then([&](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Uwaga !");
        question = child<QLabel>(d, "Label1")->text();
        warning = child<QLabel>(d, "Label2")->text();
        click(d, "btnNie");
    });
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(question, "Czy na pewno chcesz usunąć to zdarzenie ?");
    EXPECT_EQ(warning, "Usunięcie będzie bezpowrotne !");
    EXPECT_TRUE(exists(second));
    EXPECT_EQ(rows(), 3);

    script.then([](QWidget* d) { click(d, "btnTak"); });
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    EXPECT_FALSE(exists(second));
    EXPECT_TRUE(exists(first));
    EXPECT_TRUE(exists(third));
    EXPECT_EQ(numbers(), QStringList({"P/1", "P/3"}));
    EXPECT_EQ(list()->FieldText("ZD_NMR"), "P/3");  // the next row is current
    // Its case link went with it.
    OpenForCall links(*TblRelSprZd);
    engine::Table& t = TblRelSprZd->T();
    for (t.first(); !t.eof(); t.next())
        EXPECT_NE(t.asInteger("ESZ_ZD"), second);
}

TEST_F(EventList, ChoosingModeReturnsTheHighlightedEvent) {
    add("P/1", 1, QDate(2024, 3, 1));
    const int second = add("P/2", 1, QDate(2024, 3, 2));
    open(true);
    EXPECT_EQ(child<QPushButton>(w.get(), "btnKoniec")->text(), "Anuluj");
    select("P/2");
    ASSERT_TRUE(click(w.get(), "btnOK"));
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_EQ(w->Result(), second);

    // A double click chooses as "&OK" does; "Anuluj" chooses nothing.
    ModalScript script;
    script.then([&](QWidget* d) {
        auto* g = child<TCV_DBGrid>(d, "grdZdarzenia");
        clickRow(g, 1);
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, Qt::NoModifier,
                           g->visualRect(g->model()->index(1, 0)).center());
    });
    EXPECT_EQ(ListaZdarzen(nullptr, true), second);
    script.then([](QWidget* d) { click(d, "btnKoniec"); });
    EXPECT_EQ(ListaZdarzen(nullptr, true), 0);
    // Browsing returns nothing.
    script.then([](QWidget* d) { click(d, "btnKoniec"); });
    EXPECT_EQ(ListaZdarzen(nullptr, false), 0);
}

TEST_F(EventList, SearchFindsContentDescriptionNumberAndPageTextWhateverTheCase) {
    add("P/1", 1, QDate(2024, 3, 1), "Wniosek o zwrot podatku");
    add("P/2", 1, QDate(2024, 3, 2), "", "Skarga na hałas w nocy");
    add("KP/ŁÓDŹ/3", 2, QDate(2024, 3, 3));
    const int scanned = add("P/4", 1, QDate(2024, 3, 4));
    add("P/5", 3, QDate(2024, 3, 5), "Inna \"cytowana\" sprawa");
    {
        TRec_Pisma page;
        page.ZDARZ_ID = scanned;
        page.PIS_IDX.SetText("Zażółć gęślą jaźń – decyzja o umorzeniu");
        OpenForCall open(*TblPisma);
        TblPisma->OT_AddNew(page.ID, page);
    }
    open();
    EXPECT_EQ(search("PODATKU"), QStringList({"P/1"}));
    ASSERT_FALSE(inst.env.prompts.asked().empty());
    EXPECT_EQ(inst.env.prompts.asked().back().caption, "Szukanie zdarzenia");
    EXPECT_EQ(inst.env.prompts.asked().back().prompt, "Szukany tekst :");
    EXPECT_EQ(search("HAŁAS"), QStringList({"P/2"}));
    EXPECT_EQ(search("łódź"), QStringList({"KP/ŁÓDŹ/3"}));
    // Recognition loses diacritics: the page text is found with or without them.
    EXPECT_EQ(search("ZAZOLC GESLA"), QStringList({"P/4"}));
    EXPECT_EQ(search("umorzeniu"), QStringList({"P/4"}));
    EXPECT_EQ(search("\"cytowana\""), QStringList({"P/5"}));
    EXPECT_EQ(search("nigdzie"), QStringList());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnUsun")->isEnabled());

    // The text is offered again; pressing the button once more shows every row.
    click(w.get(), "btnSzukaj");
    EXPECT_FALSE(w->SearchOn());
    EXPECT_EQ(rows(), 5);
    inst.env.prompts.setNextInputCancel();
    click(w.get(), "btnSzukaj");
    EXPECT_EQ(inst.env.prompts.asked().back().value, "nigdzie");
    EXPECT_FALSE(w->SearchOn());
}

TEST_F(EventList, EditsInPlaceAreStoredAndARowLockedElsewhereIsToldWithoutLoss) {
    const int id = add("P/1", 1, QDate(2024, 3, 1), "Treść", "Opis");
    open();
    auto* opis = child<TDBMemo>(w.get(), "memOpis");
    opis->moveCursor(QTextCursor::End);
    typeText(opis, QStringLiteral(" – uzupełniony"));
    // Opening the content editor stores the list's edits first and lets the row go.
    ModalScript script;
    script.then([](QWidget* d) {
        auto* m = child<QPlainTextEdit>(d, "memTresc");
        EXPECT_FALSE(m->isReadOnly());
        m->moveCursor(QTextCursor::End);
        typeText(m, QStringLiteral(" pisma"));
        click(d, "btnKoniec");
    });
    child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(2);
    ASSERT_TRUE(click(w.get(), "btnOknoEdycyjne"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(read(id).ZD_OPIS.GetText(), "Opis – uzupełniony");
    EXPECT_EQ(read(id).ZD_TRE.GetText(), "Treść pisma");
    EXPECT_EQ(child<QPlainTextEdit>(w.get(), "memTresc")->toPlainText(), "Treść pisma");

    // Another workstation edits the row: typing here is refused with the engine's message and
    // the other's edit stays intact.
    auto other = engine::Table::open((inst.env.dataDir() + "ZDARZ.DBF").toStdString());
    other->setIndex("ZDARZ_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{id}}));
    other->edit();
    other->setString("ZD_ODB", "SEKRETARIAT");
    inst.env.prompts.clear();
    typeText(opis, QStringLiteral("x"));
    ASSERT_EQ(inst.env.prompts.texts().size(), 1);
    EXPECT_TRUE(
        inst.env.prompts.texts()[0].startsWith("Rekord jest zablokowany przez innego użytkownika"));
    QTRY_COMPARE(opis->toPlainText(), QStringLiteral("Opis – uzupełniony"));
    other->post();
    other.reset();
    click(w.get(), "btnKoniec");
    QTRY_VERIFY(!w->isVisible());
    EXPECT_EQ(read(id).ZD_ODB, "SEKRETARIAT");
    EXPECT_EQ(read(id).ZD_OPIS.GetText(), "Opis – uzupełniony");
}

TEST_F(EventList, TheContentMenuInsertsTheCorrespondentExceptForOtherEvents) {
    TRec_Adresy a;
    a.AD_NAZW = QStringLiteral("NOWAK");
    a.AD_IMIE = QStringLiteral("JAN");
    a.AD_NAZF = QStringLiteral("Zakład Ślusarski");
    {
        OpenForCall o(*TblAdresy);
        TblAdresy->OT_AddNew(a.ID, a);
    }
    const int letter = add("P/1", 1, QDate(2024, 3, 1), "", "", a.ID);
    add("I/1", 3, QDate(2024, 3, 2), "", "", a.ID);
    open();
    select("P/1");
    child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(2);
    auto* tresc = child<TDBMemo>(w.get(), "memTresc");
    tresc->setFocus();
    QTest::keyClick(tresc, Qt::Key_A, Qt::ControlModifier);
    tresc->moveCursor(QTextCursor::End);
    QTest::keyClick(tresc, Qt::Key_Return);
    QTest::keyClick(tresc, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(tresc->toPlainText(), "Zakład Ślusarski\nJAN NOWAK");

    select("I/1");  // moving on stores the letter's content
    EXPECT_EQ(read(letter).ZD_TRE.GetText(), "Zakład Ślusarski\nJAN NOWAK");
    child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(2);
    tresc->setFocus();
    QTest::keyClick(tresc, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(tresc->toPlainText(), "");
}

}  // namespace
}  // namespace pulpex
