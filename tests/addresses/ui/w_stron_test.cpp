#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "addresses/adresy.h"
#include "addresses/ui/d_strona.h"
#include "addresses/ui/w_stron.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/ui/help.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/qtry.h"
#include "support/widgets.h"
#include "tables/engine/table.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::clickRow;
using test::ModalScript;
using test::typeText;

// Empties an edit as a user does: select all, then Backspace.
void erase(QWidget* edit) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
}

const QString kPytanie = QStringLiteral("Czy na pewno chcesz usunąć ten adres ?");

class Adresy : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(inst.ok); }

    int addAddress(const QString& company, const QString& surname, const QString& firstName,
                   bool priv) {
        TRec_Adresy r;
        r.AD_NAZF = company;
        r.AD_NAZW = surname;
        r.AD_IMIE = firstName;
        r.AD_PRYW = priv;
        int id = 0;
        TblAdresy->OT_AddNew(id, r);
        return id;
    }
    // The book of most tests: the sample (1) and four more, listed by surname in Polish order.
    void addBook() {
        wodociagi = addAddress("Łódzkie Wodociągi", "Zając", "Anna", false);
        cwik = addAddress("", "Ćwik", "Jan", true);
        adamski = addAddress("", "Adamski", "Piotr", true);
        apteka = addAddress("Apteka Pod Lwem", "", "", false);
    }
    void addEvents(int address, int n) {
        for (int i = 0; i < n; ++i) {
            TRec_Zdarzenia z;
            z.ZD_ADR = address;
            int id = 0;
            TblZdarzenia->OT_AddNew(id, z);
        }
    }
    int addressCount() {
        engine::Table& t = TblAdresy->T();
        int n = 0;
        for (t.first(); !t.eof(); t.next())
            ++n;
        return n;
    }
    bool exists(int id) { return TblAdresy->DajGoscia(id) != nullptr; }

    void open(bool choosing = false, TListaWybranychAdresow* list = nullptr) {
        w = std::make_unique<TOknoStron>();
        w->Prepare(choosing, list);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TCV_DBGrid* grid() { return child<TCV_DBGrid>(w.get(), "dbgAdresy"); }
    TDataSet* tAdresy() { return child<TTableDataSet>(w.get(), "tAdresy"); }
    QString edit(const char* name) { return child<TDBEdit>(w.get(), name)->text(); }
    // What the grid lists in one column, top to bottom.
    QStringList listed(int column) {
        QStringList out;
        QAbstractItemModel* m = grid()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->data(m->index(r, column)).toString();
        return out;
    }
    QStringList surnames() { return listed(1); }
    QStringList companies() { return listed(0); }
    // Makes the row whose surname (or, with none, company) is `text` current.
    void page(int n) { child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(n); }
    void pick(const QString& text) {
        const int row = std::max(surnames().indexOf(text), companies().indexOf(text));
        ASSERT_GE(row, 0) << text.toStdString();
        ASSERT_TRUE(clickRow(grid(), row));
    }
    ScriptedPrompts& prompts() { return inst.env.prompts; }

    test::TestInstallation inst;
    std::unique_ptr<TOknoStron> w;
    int wodociagi = 0, cwik = 0, adamski = 0, apteka = 0;
};

TEST_F(Adresy, BrowsingListsEveryAddressAndEndsWithKoniec) {
    addBook();
    open();
    EXPECT_EQ(w->windowTitle(), "Baza adresów");
    EXPECT_EQ(HelpContextOf(w.get()), kHelpStrony);
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnOk")->isVisible());
    EXPECT_EQ(child<QPushButton>(w.get(), "btnAnuluj")->text(), "Koniec");
    EXPECT_TRUE(child<QCheckBox>(w.get(), "chbPrywatne")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w.get(), "chbFirmy")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbNazwiska")->isChecked());
    // Polish order: Ć after B, Ł before Z; the address without a surname first.
    EXPECT_EQ(surnames(), (QStringList{"", "Adamski", "Brzęczyszczykiewicz", "Ćwik", "Zając"}));
    EXPECT_EQ(grid()->model()->headerData(0, Qt::Horizontal).toString(), "Nazwa firmy");

    // The edit page shows the current row and follows the grid and its navigator.
    pick("Ćwik");
    EXPECT_EQ(edit("edNazwisko"), "Ćwik");
    EXPECT_TRUE(child<TDBCheckBox>(w.get(), "chbPrywatny")->isChecked());
    EXPECT_FALSE(child<TDBCheckBox>(w.get(), "chbPrywatny")->isEnabled());
    child<TDBNavigator>(w.get(), "DBNavigator1")->BtnClick(TDBNavigator::nbNext);
    EXPECT_EQ(edit("edNazwisko"), "Zając");
    EXPECT_EQ(edit("edFirma"), "Łódzkie Wodociągi");
    EXPECT_FALSE(child<TDBCheckBox>(w.get(), "chbPrywatny")->isChecked());
    ASSERT_TRUE(click(w.get(), "btnAnuluj"));
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(tAdresy()->Active());
}

TEST_F(Adresy, FiltersAndSearchOrder) {
    addBook();
    open();
    auto* prywatne = child<QCheckBox>(w.get(), "chbPrywatne");
    auto* firmy = child<QCheckBox>(w.get(), "chbFirmy");

    ASSERT_TRUE(click(w.get(), "chbFirmy"));  // private persons only
    EXPECT_EQ(surnames(), (QStringList{"Adamski", "Ćwik"}));
    // Neither: companies come back alone.
    ASSERT_TRUE(click(w.get(), "chbPrywatne"));
    EXPECT_TRUE(firmy->isChecked());
    EXPECT_FALSE(prywatne->isChecked());
    EXPECT_EQ(surnames(), (QStringList{"", "Brzęczyszczykiewicz", "Zając"}));
    ASSERT_TRUE(click(w.get(), "chbPrywatne"));
    EXPECT_EQ(surnames().size(), 5);

    // Searching by company orders by company and types into that column.
    pick("Zając");
    ASSERT_TRUE(click(w.get(), "rbFirmy"));
    EXPECT_EQ(companies(),
              (QStringList{"", "", "Apteka Pod Lwem", "Biuro Rachunkowe „Żuraw” Sp. z o.o.",
                           "Łódzkie Wodociągi"}));
    EXPECT_EQ(edit("edNazwisko"), "Zając");  // the current address stays current
    EXPECT_TRUE(grid()->hasFocus());
    EXPECT_EQ(grid()->SearchName(), "AD_NAZF");
    typeText(grid(), "bi");
    EXPECT_EQ(edit("edNazwisko"), "Brzęczyszczykiewicz");
    typeText(grid(), "x");  // nothing begins so: the row stays
    EXPECT_EQ(edit("edNazwisko"), "Brzęczyszczykiewicz");

    ASSERT_TRUE(click(w.get(), "rbNazwiska"));
    EXPECT_EQ(grid()->SearchName(), "AD_NAZW");
    typeText(grid(), "ćw");
    EXPECT_EQ(edit("edNazwisko"), "Ćwik");
    QTest::keyClick(grid(), Qt::Key_Backspace);
    EXPECT_EQ(edit("edNazwisko"), "");  // the first row: the pharmacy, which has no surname
    EXPECT_EQ(edit("edFirma"), "Apteka Pod Lwem");
}

TEST_F(Adresy, AnEmptyListOffersNothingToEditOrDelete) {
    open();  // only the sample, a company
    ASSERT_TRUE(click(w.get(), "chbFirmy"));
    EXPECT_TRUE(surnames().isEmpty());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnUsun")->isEnabled());
    EXPECT_FALSE(child<TDBEdit>(w.get(), "edFirma")->isEnabled());
    EXPECT_FALSE(child<TDBEdit>(w.get(), "edWol1")->isEnabled());
    ASSERT_TRUE(click(w.get(), "chbFirmy"));
    EXPECT_TRUE(child<QPushButton>(w.get(), "btnUsun")->isEnabled());
    EXPECT_TRUE(child<TDBEdit>(w.get(), "edFirma")->isEnabled());
}

TEST_F(Adresy, DeletionAsksFirstAndCountsTheEventsThatReferToTheAddress) {
    addBook();
    addEvents(cwik, 3);
    addEvents(wodociagi, 1);
    addEvents(apteka, 12);
    open();

    // The sample correspondent cannot go; nothing is asked.
    pick("Brzęczyszczykiewicz");
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    EXPECT_TRUE(prompts().shown().empty());
    EXPECT_TRUE(exists(1));

    // Without events: the plain question; "No" keeps the row and what was typed into it.
    pick("Adamski");
    page(1);
    typeText(child<TDBEdit>(w.get(), "edTelefon1"), "42 111");
    page(0);
    prompts().setNextAnswer(Answer::No);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    ASSERT_EQ(prompts().shown().size(), 1u);
    EXPECT_EQ(prompts().shown()[0].text, kPytanie);
    EXPECT_EQ(prompts().shown()[0].buttons, Buttons::YesNo);
    EXPECT_TRUE(exists(adamski));
    EXPECT_EQ(edit("edTelefon1"), "42 111");

    prompts().clear();
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    EXPECT_FALSE(exists(adamski));
    EXPECT_FALSE(surnames().contains("Adamski"));
    EXPECT_EQ(edit("edNazwisko"), "Brzęczyszczykiewicz");  // the row that took its place

    // With events: how many, in good Polish; "No" keeps it.
    pick("Ćwik");
    prompts().clear();
    prompts().setNextAnswer(Answer::No);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    EXPECT_EQ(prompts().texts(),
              QStringList{"Do tego adresu odwołują się 3 zdarzenia w rejestrze korespondencji.\r\n"
                          "Po usunięciu adresu zdarzenia pozostaną bez korespondenta.\r\n" +
                          kPytanie});
    EXPECT_TRUE(exists(cwik));

    pick("Zając");
    prompts().clear();
    ASSERT_TRUE(click(w.get(), "btnUsun"));  // unanswered: the safe "No"
    EXPECT_TRUE(prompts().texts().at(0).startsWith(
        "Do tego adresu odwołuje się 1 zdarzenie w rejestrze korespondencji.\r\n"
        "Po usunięciu adresu zdarzenie pozostanie bez korespondenta."));
    EXPECT_TRUE(exists(wodociagi));

    pick("Apteka Pod Lwem");
    prompts().clear();
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    EXPECT_TRUE(prompts().texts().at(0).startsWith("Do tego adresu odwołuje się 12 zdarzeń "));
    EXPECT_FALSE(exists(apteka));
    EXPECT_EQ(TblAdresy->IleZdarzen(apteka), 12);  // the events keep their identifier
}

TEST_F(Adresy, ARowEditedAtAnotherWorkstationIsReportedLocked) {
    addBook();
    auto other = engine::Table::open(u8(inst.env.dataDir()) + "ADRESY.DBF");
    other->setIndex("ADR_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{cwik}}));
    other->edit();

    open();
    pick("Ćwik");
    page(1);
    typeText(child<TDBEdit>(w.get(), "edFirma"), "x");
    ASSERT_EQ(prompts().shown().size(), 1u);
    EXPECT_EQ(prompts().shown()[0].severity, Severity::Error);
    EXPECT_TRUE(prompts().texts()[0].startsWith(
        "Rekord jest zablokowany przez innego użytkownika (tabela ADRESY"))
        << prompts().texts()[0].toStdString();
    EXPECT_EQ(edit("edFirma"), "");
    EXPECT_FALSE(tAdresy()->Editing());

    // Deleting it is refused the same way; the row stays.
    page(0);
    prompts().clear();
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    ASSERT_EQ(prompts().shown().size(), 2u);
    EXPECT_TRUE(prompts().texts()[1].startsWith("Rekord jest zablokowany"));
    EXPECT_TRUE(exists(cwik));

    // Once the other workstation lets go, the row is edited here.
    other->cancel();
    page(1);
    typeText(child<TDBEdit>(w.get(), "edFirma"), "Kancelaria");
    EXPECT_TRUE(tAdresy()->Editing());
    ASSERT_TRUE(click(w.get(), "btnAnuluj"));
    EXPECT_EQ(TblAdresy->DajGoscia(cwik)->AD_NAZF, "Kancelaria");
}

TEST_F(Adresy, TypedTextThatCannotBeStoredStaysOnItsRow) {
    addBook();
    open();
    pick("Ćwik");
    page(1);
    typeText(child<TDBEdit>(w.get(), "edFirma"), "Жук");
    page(0);
    // Another row, another filter: both refused with the reason, the text kept on its row.
    clickRow(grid(), 0);
    ASSERT_FALSE(prompts().shown().empty());
    for (const auto& p : prompts().shown())
        EXPECT_EQ(p.severity, Severity::Error);
    EXPECT_EQ(grid()->currentIndex().row(), surnames().indexOf("Ćwik"));
    ASSERT_TRUE(click(w.get(), "chbFirmy"));
    EXPECT_TRUE(child<QCheckBox>(w.get(), "chbFirmy")->isChecked());
    EXPECT_EQ(surnames().size(), 5);
    EXPECT_EQ(edit("edFirma"), "Жук");
    EXPECT_TRUE(tAdresy()->Editing());
    EXPECT_EQ(TblAdresy->DajGoscia(cwik)->AD_NAZF, "");

    // Corrected, it goes in with the next move.
    auto* firma = child<TDBEdit>(w.get(), "edFirma");
    erase(firma);
    typeText(firma, "Żuk");
    clickRow(grid(), 0);
    EXPECT_EQ(TblAdresy->DajGoscia(cwik)->AD_NAZF, "Żuk");
    EXPECT_FALSE(tAdresy()->Editing());
}

TEST_F(Adresy, NewAddressNeedsACompanyOrASurnameAndCancellingLeavesNoRow) {
    open();
    ASSERT_TRUE(click(w.get(), "chbPrywatne"));  // companies only
    const int before = addressCount();
    int rowsWhileOpen = 0;
    ModalScript script;
    script.then([&](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Nowa Strona");
        EXPECT_EQ(HelpContextOf(d), kHelpNowaStrona);
        rowsWhileOpen = addressCount();
        auto* ok = child<QPushButton>(d, "btnOk");
        EXPECT_FALSE(ok->isEnabled());
        typeText(child<TDBEdit>(d, "edImie"), "Jan");
        EXPECT_FALSE(ok->isEnabled());  // a first name alone is not enough
        typeText(child<TDBEdit>(d, "edNazwisko"), "  ");
        EXPECT_FALSE(ok->isEnabled());
        typeText(child<TDBEdit>(d, "edNazwisko"), "Kot");
        EXPECT_TRUE(ok->isEnabled());
        click(d, "btnAnuluj");
    });
    ASSERT_TRUE(click(w.get(), "btnNowy"));
    EXPECT_TRUE(script.done());
    EXPECT_EQ(rowsWhileOpen, before + 1);
    EXPECT_EQ(addressCount(), before);

    // Confirmed: a private person, shown at once although the list showed companies only.
    script.then([&](QWidget* d) {
        typeText(child<TDBEdit>(d, "edFirma"), "Wytwórnia");
        EXPECT_TRUE(child<QPushButton>(d, "btnOk")->isEnabled());
        erase(child<TDBEdit>(d, "edFirma"));
        EXPECT_FALSE(child<QPushButton>(d, "btnOk")->isEnabled());
        typeText(child<TDBEdit>(d, "edNazwisko"), "Żółć");
        typeText(child<TDBEdit>(d, "edMiejscowosc"), "Gdańsk");
        typeText(child<TDBEdit>(d, "edWol2"), "stały klient");
        for (auto* rb : d->findChildren<QRadioButton*>())
            if (rb->text() == "Osoba prywatna") rb->click();
        click(d, "btnOk");
    });
    ASSERT_TRUE(click(w.get(), "btnNowy"));
    EXPECT_TRUE(script.done());
    EXPECT_EQ(addressCount(), before + 1);
    EXPECT_TRUE(child<QCheckBox>(w.get(), "chbPrywatne")->isChecked());
    EXPECT_EQ(edit("edNazwisko"), "Żółć");
    const int id = static_cast<int>(tAdresy()->AsInteger("ID"));
    const auto r = TblAdresy->DajGoscia(id);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->AD_NAZW, "Żółć");
    EXPECT_EQ(r->AD_NAZF, "");
    EXPECT_EQ(r->AD_MIAS, "Gdańsk");
    EXPECT_EQ(r->AD_WOL[2], "stały klient");
    EXPECT_TRUE(r->AD_PRYW);
}

TEST_F(Adresy, ChoosingGivesBackTheAddressAndADoubleClickActsAsOk) {
    addBook();
    // Through the entry function: "&OK" on a row, with an edit that is stored on the way.
    ModalScript script;
    script.then([&](QWidget* d) {
        EXPECT_EQ(child<QPushButton>(d, "btnAnuluj")->text(), "Anuluj");
        auto* g = child<TCV_DBGrid>(d, "dbgAdresy");
        typeText(g, "zaj");
        child<QTabWidget>(d, "PageControl1")->setCurrentIndex(1);
        typeText(child<TDBEdit>(d, "edTelefon2"), "601 200 300");
        click(d, "btnOk");
    });
    EXPECT_EQ(OknoStron(nullptr, true), wodociagi);
    EXPECT_EQ(TblAdresy->DajGoscia(wodociagi)->AD_TEL2, "601 200 300");

    script.then([&](QWidget* d) {
        auto* g = child<TCV_DBGrid>(d, "dbgAdresy");
        const QModelIndex cell = g->model()->index(1, 1);  // Adamski
        const QPoint at = g->visualRect(cell).center();
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
        // A double click that did nothing must not leave the window open for ever.
        QPointer<QWidget> open(d);
        QTimer::singleShot(2000, [open] {
            if (!open || !open->isVisible()) return;
            ADD_FAILURE() << "the double click did not close the window";
            static_cast<QDialog*>(open.data())->reject();
        });
    });
    EXPECT_EQ(OknoStron(nullptr, true), adamski);

    script.then([&](QWidget* d) { click(d, "btnAnuluj"); });
    EXPECT_EQ(OknoStron(nullptr, true), 0);

    // Browsing gives back nothing, and a double click shows the address instead.
    open();
    pick("Ćwik");
    const QPoint at = grid()->visualRect(grid()->currentIndex()).center();
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(child<QTabWidget>(w.get(), "PageControl1")->currentIndex(), 1);
    EXPECT_EQ(w->ChosenID(), 0);
}

TEST_F(Adresy, MultiChoosingFillsTheListInRowOrder) {
    addBook();
    TListaWybranychAdresow list;
    open(true, &list);
    EXPECT_TRUE(grid()->MultiSelect());
    const QStringList names = surnames();
    const auto ctrlClick = [&](int row) {
        const QRect r = grid()->visualRect(grid()->model()->index(row, 1));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    };
    ASSERT_TRUE(clickRow(grid(), names.indexOf("Zając")));
    ctrlClick(names.indexOf("Adamski"));
    ctrlClick(names.indexOf("Ćwik"));
    ASSERT_TRUE(click(w.get(), "btnOk"));
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Id(1), adamski);
    EXPECT_EQ(list.Id(2), cwik);
    EXPECT_EQ(list.Id(3), wodociagi);

    // Chosen again with one row: the list holds that one only.
    open(true, &list);
    pick("Apteka Pod Lwem");
    ASSERT_TRUE(click(w.get(), "btnOk"));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Id(1), apteka);
    EXPECT_EQ(w->ChosenID(), apteka);
}

}  // namespace
}  // namespace pulpex
