#include "cases/ui/w_sprawy.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "cases/ui/cases_env.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "documents/ui/w_pism.h"
#include "register/ui/w_tresc.h"
#include "support/modal.h"
#include "support/widgets.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::clickRow;
using test::ModalScript;
using test::typeText;

// The values of `field` in every row of `ds`, read without moving it.
QStringList values(TDataSet* ds, const char* field) {
    QStringList out;
    std::unique_ptr<engine::Cursor> r = ds->CreateReader();
    if (!r) return out;
    const int f = ds->FieldIndex(field);
    for (r->first(); !r->eof(); r->next())
        out << cursorFieldValue(*r, f).toString().trimmed();
    return out;
}

class CasesWindow : public ::testing::Test, protected test::CasesEnv {
  protected:
    void open() {
        w = std::make_unique<TOknospraw>();
        w->Prepare();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TDataSet* caseList() { return child<TDataSet>(w.get(), "qSprawy"); }
    TDataSet* eventList() { return child<TDataSet>(w.get(), "qRel_SZ"); }
    QStringList caseNames() { return values(caseList(), "SP_NAZ"); }
    QStringList eventNumbers() { return values(eventList(), "ZD_NMR"); }
    void selectCase(const QString& name) {
        const int row = static_cast<int>(caseNames().indexOf(name));
        ASSERT_GE(row, 0) << name.toStdString();
        ASSERT_TRUE(clickRow(child<TCV_DBGrid>(w.get(), "grdSprawy"), row));
        ASSERT_EQ(caseList()->FieldText("SP_NAZ"), name);
    }
    void selectEvent(const QString& number) {
        const int row = static_cast<int>(eventNumbers().indexOf(number));
        ASSERT_GE(row, 0) << number.toStdString();
        ASSERT_TRUE(clickRow(child<TCV_DBGrid>(w.get(), "grdZdarzenia"), row));
    }
    bool enabled(const char* name) { return child<QWidget>(w.get(), name)->isEnabled(); }
    bool eventPagesShown() { return child<QTabWidget>(w.get(), "PageControl2")->isVisible(); }
    // Runs the case filter from the window with `set` choosing in the dialog, then "O&K".
    void filter(const std::function<void(QWidget*)>& set) {
        ModalScript script;
        script.then([&](QWidget* d) {
            set(d);
            click(d, "btnOK");
        });
        ASSERT_TRUE(click(w.get(), "btnFiltrowanie"));
        ASSERT_TRUE(script.done());
    }
    static void setDates(QWidget* d, const QDate& from, const QDate& to) {
        child<QRadioButton>(d, "rbWybranaData")->click();
        child<QLineEdit>(d, "edOd")->setText(from.toString("yyyy-MM-dd"));
        child<QLineEdit>(d, "edDo")->setText(to.toString("yyyy-MM-dd"));
    }

    std::unique_ptr<TOknospraw> w;
};

TEST_F(CasesWindow, WithoutCasesNothingCanBeLinkedOrDeleted) {
    open();
    EXPECT_EQ(w->windowTitle(), "Sprawy");
    EXPECT_TRUE(caseNames().isEmpty());
    auto* pages = child<QTabWidget>(w.get(), "PageControl1");
    EXPECT_FALSE(pages->isTabEnabled(pages->indexOf(child<QWidget>(w.get(), "tsSprawa"))));
    EXPECT_FALSE(enabled("btnSkojarz"));
    EXPECT_FALSE(enabled("btnUsunSprawe"));
    EXPECT_FALSE(eventPagesShown());
    EXPECT_FALSE(enabled("btnUsunSkojarzenie"));
    // A case can still be made, and it is listed at once.
    ModalScript script;
    script.then([](QWidget* d) {
        typeText(child<TDBEdit>(d, "edNazwa"), "Remont dachu");
        click(d, "btnOK");
    });
    ASSERT_TRUE(click(w.get(), "btnNowaSprawa"));
    EXPECT_EQ(caseNames(), QStringList{"Remont dachu"})
        << prompts().texts().join("|").toStdString();
    EXPECT_EQ(caseList()->FieldText("SP_NAZ"), "Remont dachu");
    EXPECT_TRUE(enabled("btnSkojarz"));
    EXPECT_TRUE(enabled("btnUsunSprawe"));
    EXPECT_TRUE(pages->isTabEnabled(0));
}

TEST_F(CasesWindow, TheEventsOfTheCurrentCaseFollowItAndShowTheirPages) {
    const int empty = addCase("Bez zdarzeń");
    const int full = addCase("Przetarg");
    link(full, addEvent("P/2", 1, QDate(2024, 3, 1), "SYM-2"));
    link(full, addEvent("P/1", 2));
    link(full, addEvent("I/1", 3));
    open();
    selectCase("Bez zdarzeń");
    EXPECT_TRUE(eventNumbers().isEmpty());
    EXPECT_FALSE(eventPagesShown());
    EXPECT_FALSE(enabled("btnUsunSkojarzenie"));

    selectCase("Przetarg");
    EXPECT_EQ(eventNumbers(), (QStringList{"I/1", "P/1", "P/2"}));  // by number
    EXPECT_TRUE(eventPagesShown());
    EXPECT_TRUE(enabled("btnUsunSkojarzenie"));
    // The event's kind decides what its page shows.
    selectEvent("P/2");
    EXPECT_TRUE(child<QWidget>(w.get(), "edOdbiorca")->isVisible());
    EXPECT_EQ(child<QLineEdit>(w.get(), "edSymbol")->text(), "SYM-2");
    EXPECT_FALSE(child<QWidget>(w.get(), "chbPolecone")->isVisible());
    EXPECT_EQ(child<QLabel>(w.get(), "lbOdbiorca")->text(), "Odbiorca");
    selectEvent("P/1");
    EXPECT_TRUE(child<QWidget>(w.get(), "chbPolecone")->isVisible());
    EXPECT_TRUE(child<QWidget>(w.get(), "btnDoPisma")->isVisible());
    EXPECT_EQ(child<QLabel>(w.get(), "lbOdbiorca")->text(), "Do pisma");
    auto* pages = child<QTabWidget>(w.get(), "PageControl2");
    pages->setCurrentIndex(2);
    selectEvent("I/1");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_FALSE(pages->isTabEnabled(2));
    EXPECT_FALSE(child<QWidget>(w.get(), "lbOdbiorca")->isVisible());
    (void)empty;
}

TEST_F(CasesWindow, LinkingTheSameEventTwiceLeavesOneLink) {
    const int c = addCase("Przetarg");
    const int other = addCase("Inna");
    addEvent("P/1");
    const int second = addEvent("P/2", 1, QDate(2024, 3, 2));
    open();
    selectCase("Przetarg");
    // The event list opens in choosing mode; its highlighted event is linked.
    auto chooseSecond = [](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Zdarzenia");
        EXPECT_TRUE(child<QPushButton>(d, "btnOK")->isVisible());
        clickRow(child<TCV_DBGrid>(d, "grdZdarzenia"), 1);
        click(d, "btnOK");
    };
    ModalScript script;
    script.then(chooseSecond);
    ASSERT_TRUE(click(w.get(), "btnSkojarz"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(eventNumbers(), QStringList{"P/2"});
    EXPECT_TRUE(eventPagesShown());
    script.then(chooseSecond);
    ASSERT_TRUE(click(w.get(), "btnSkojarz"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(eventNumbers(), QStringList{"P/2"});
    // Cancelling the event list links nothing.
    script.then([](QWidget* d) { click(d, "btnKoniec"); });
    ASSERT_TRUE(click(w.get(), "btnSkojarz"));
    EXPECT_EQ(links(), (std::multiset<std::pair<int, int>>{{c, second}}));
    (void)other;
}

TEST_F(CasesWindow, UnlinkingAsksFirstAndKeepsTheEvent) {
    const int c = addCase("Przetarg");
    const int first = addEvent("P/1");
    const int second = addEvent("P/2");
    link(c, first);
    link(c, second);
    link(c + 100, second);
    open();
    selectEvent("P/2");
    QString question;
    ModalScript script;
    script.then([&](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Uwaga !");
        question = child<QLabel>(d, "Label1")->text();
        click(d, "btnNie");
    });
    ASSERT_TRUE(click(w.get(), "btnUsunSkojarzenie"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(question, "Czy na pewno chcesz usunąć to skojarzenie ?");
    EXPECT_EQ(links().size(), 3u);

    script.then([](QWidget* d) { click(d, "btnTak"); });
    ASSERT_TRUE(click(w.get(), "btnUsunSkojarzenie"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(eventNumbers(), QStringList{"P/1"});
    EXPECT_EQ(links(), (std::multiset<std::pair<int, int>>{{c, first}, {c + 100, second}}));
    EXPECT_TRUE(eventExists(second));

    script.then([](QWidget* d) { click(d, "btnTak"); });
    ASSERT_TRUE(click(w.get(), "btnUsunSkojarzenie"));
    EXPECT_TRUE(eventNumbers().isEmpty());
    EXPECT_FALSE(eventPagesShown());
    EXPECT_FALSE(enabled("btnUsunSkojarzenie"));
    EXPECT_TRUE(eventExists(first));
}

TEST_F(CasesWindow, DeletingACaseAsksFirstAndKeepsItsEvents) {
    const int a = addCase("Alfa");
    const int b = addCase("Beta");
    const int ev = addEvent("P/1");
    link(a, ev);
    link(b, ev);
    open();
    selectCase("Beta");
    QString question, warning;
    ModalScript script;
    script.then([&](QWidget* d) {
        question = child<QLabel>(d, "Label1")->text();
        warning = child<QLabel>(d, "Label2")->text();
        click(d, "btnNie");
    });
    ASSERT_TRUE(click(w.get(), "btnUsunSprawe"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(question, "Czy na pewno chcesz usunąć tą sprawę ?");
    EXPECT_EQ(warning, "Usunięcie będzie bezpowrotne !");
    EXPECT_TRUE(caseExists(b));

    script.then([](QWidget* d) { click(d, "btnTak"); });
    ASSERT_TRUE(click(w.get(), "btnUsunSprawe"));
    ASSERT_TRUE(script.done());
    EXPECT_FALSE(caseExists(b));
    EXPECT_EQ(caseNames(), QStringList{"Alfa"});
    EXPECT_EQ(caseList()->FieldText("SP_NAZ"), "Alfa");
    EXPECT_EQ(links(), (std::multiset<std::pair<int, int>>{{a, ev}}));
    EXPECT_TRUE(eventExists(ev));

    script.then([](QWidget* d) { click(d, "btnTak"); });
    ASSERT_TRUE(click(w.get(), "btnUsunSprawe"));
    EXPECT_TRUE(caseNames().isEmpty());
    EXPECT_FALSE(enabled("btnUsunSprawe"));
    EXPECT_FALSE(enabled("btnSkojarz"));
    EXPECT_TRUE(links().empty());
    EXPECT_TRUE(eventExists(ev));
}

TEST_F(CasesWindow, TheStateFilterListsClosedOrOpenCasesOnly) {
    addCase("Otwarta");
    addCase("Zamknięta", true);
    open();
    filter([](QWidget* d) { child<QRadioButton>(d, "rbZamkniete")->click(); });
    EXPECT_EQ(caseNames(), QStringList{"Zamknięta"});
    EXPECT_EQ(w->Filtr().StanSpraw, TSprawy_FiltrInfo::Zamkniete);
    filter([](QWidget* d) {
        // The dialog shows the settings in force.
        EXPECT_TRUE(child<QRadioButton>(d, "rbZamkniete")->isChecked());
        child<QRadioButton>(d, "rbOtwarte")->click();
    });
    EXPECT_EQ(caseNames(), QStringList{"Otwarta"});
    // Closing the case here takes it out of the open ones at once.
    ASSERT_TRUE(click(w.get(), "chbZamknieta"));
    EXPECT_TRUE(caseNames().isEmpty());
    EXPECT_TRUE(enabled("btnFiltrowanie"));  // the way back to the other cases stays open
    filter([](QWidget* d) { child<QRadioButton>(d, "rbWszystkie")->click(); });
    EXPECT_EQ(caseNames(), (QStringList{"Otwarta", "Zamknięta"}));
    EXPECT_TRUE(readCase(1).SP_ZAMK);
}

TEST_F(CasesWindow, TheDateFilterIsInclusiveAndOutlivesOtherDialogs) {
    const int c = addCase("Przetarg");
    for (int day = 1; day <= 5; ++day)
        link(c, addEvent(QStringLiteral("P/%1").arg(day), 1, QDate(2024, 3, day)));
    open();
    filter([](QWidget* d) { setDates(d, QDate(2024, 3, 2), QDate(2024, 3, 4)); });
    EXPECT_EQ(eventNumbers(), (QStringList{"P/2", "P/3", "P/4"}));
    EXPECT_TRUE(w->EventsQueryText().contains("ZD_DAT<= cast(\"3/4/2024\" as date)"));

    // Another dialog opened and closed from the window leaves the filter in force.
    ModalScript script;
    script.then([](QWidget* d) { click(d, "btnKoniec"); });
    ASSERT_TRUE(click(w.get(), "btnZdarzenia"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(eventNumbers(), (QStringList{"P/2", "P/3", "P/4"}));
    script.then([](QWidget* d) { click(d, "btnAnuluj"); });
    ASSERT_TRUE(click(w.get(), "btnNowaSprawa"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(eventNumbers(), (QStringList{"P/2", "P/3", "P/4"}));

    // "Wszystkie daty" shows every linked event again.
    filter([](QWidget* d) {
        EXPECT_TRUE(child<QRadioButton>(d, "rbWybranaData")->isChecked());
        EXPECT_EQ(child<QLineEdit>(d, "edOd")->text(), "2024-03-02");
        child<QRadioButton>(d, "rbWszystkieDaty")->click();
    });
    EXPECT_EQ(eventNumbers(), (QStringList{"P/1", "P/2", "P/3", "P/4", "P/5"}));
}

TEST_F(CasesWindow, EditsOfTheCaseAreStoredAndShownInTheList) {
    const int c = addCase("Stara nazwa", false, "Opis");
    const int ev = addEvent("P/1");
    link(c, ev);
    open();
    auto* name = child<TDBEdit>(w.get(), "edNazwaSprawy");
    name->setFocus();
    name->selectAll();
    typeText(name, "Nowa nazwa – łąka");
    // Finishing the edit shows the name in the list.
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_COMPARE(caseNames(), QStringList{"Nowa nazwa – łąka"});
    EXPECT_EQ(readCase(c).SP_NAZ, "Nowa nazwa – łąka");
    // The event's description is edited in place and stored on leaving.
    typeText(child<TDBMemo>(w.get(), "memOpis"), "Uwagi");
    w->reject();
    TRec_Zdarzenia z;
    OpenForCall open(*TblZdarzenia);
    ASSERT_TRUE(TblZdarzenia->ReadRecordByID(ev, z));
    EXPECT_EQ(z.ZD_OPIS.GetText(), "Uwagi");
}

TEST_F(CasesWindow, TheLinkedEventsToolsWorkOnTheCurrentEvent) {
    const int c = addCase("Przetarg");
    const int incoming = addEvent("P/1", 1, QDate(2024, 3, 1));
    const int outgoing = addEvent("W/1", 2, QDate(2024, 3, 2));
    const int other = addEvent("I/1", 3, QDate(2024, 3, 3));
    link(c, outgoing);
    link(c, other);
    open();
    selectEvent("W/1");
    // The letter answered is chosen among the incoming ones.
    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Korespondencja Przychodząca");
        clickRow(child<TCV_DBGrid>(d, "DBGrid1"), 0);
        click(d, "btnOK");
    });
    ASSERT_TRUE(click(w.get(), "btnDoPisma"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(child<QLineEdit>(w.get(), "edDoPisma")->text(), "P/1");

    // A text file becomes the content and is stored.
    const QString path = inst.env.dir.path() + "/pismo.txt";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Szanowni Państwo,\nw odpowiedzi…\n");
    f.close();
    child<QTabWidget>(w.get(), "PageControl2")->setCurrentIndex(1);
    prompts().setNextFileName(path);
    ASSERT_TRUE(click(w.get(), "btnWczytaj"));
    EXPECT_EQ(prompts().asked().back().filter,
              "Pliki tekstowe (*.txt)|*.txt|Pliki wszystkie (*.*)|*.*");

    // The content editor offers the address buttons for a letter, not for another event.
    int mode = 0;
    script.then([&](QWidget* d) {
        mode = qobject_cast<TformEdytorTresciZdarzenia*>(d)->Mode();
        d->close();
    });
    ASSERT_TRUE(click(w.get(), "btnOknoEdycyjne"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(mode, 1);
    selectEvent("I/1");
    script.then([&](QWidget* d) {
        mode = qobject_cast<TformEdytorTresciZdarzenia*>(d)->Mode();
        d->close();
    });
    ASSERT_TRUE(click(w.get(), "btnOknoEdycyjne"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(mode, 2);

    // The documents window opens on the linked event that is current, not on the case.
    int shownFor = 0;
    script.then([&](QWidget* d) {
        EXPECT_EQ(d->objectName(), "Okno_pism");
        shownFor = qobject_cast<TOkno_pism*>(d)->EventID();
        click(d, "BitBtn3");
    });
    ASSERT_TRUE(click(w.get(), "btnRysunki"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(shownFor, other);

    w->reject();
    OpenForCall open(*TblZdarzenia);
    TRec_Zdarzenia z;
    ASSERT_TRUE(TblZdarzenia->ReadRecordByID(outgoing, z));
    EXPECT_EQ(z.ZD_DOP, incoming);
    EXPECT_EQ(z.ZD_TRE.GetText().trimmed(), "Szanowni Państwo,\nw odpowiedzi…");
    EXPECT_TRUE(TblZdarzenia->ReadRecordByID(other, z));
}

TEST_F(CasesWindow, TheEntryFunctionShowsTheWindowModally) {
    addCase("Przetarg");
    ModalScript script;
    QStringList seen;
    script.then([&](QWidget* d) {
        seen = values(child<TDataSet>(d, "qSprawy"), "SP_NAZ");
        click(d, "btnKoniec");
    });
    OknoSpraw(nullptr);
    EXPECT_EQ(seen, QStringList{"Przetarg"});
}

}  // namespace
}  // namespace pulpex
