// The new-case dialog, the case chooser, the case filter and the event list's page of case links.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "cases/ui/cases_env.h"
#include "cases/ui/d_filtru.h"
#include "cases/ui/d_n_spr.h"
#include "cases/ui/w_l_spr.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "planner/ui/w_kaled.h"
#include "register/ui/listzdrz.h"
#include "support/modal.h"
#include "support/widgets.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::clickRow;
using test::ModalScript;
using test::typeText;

class CaseDialogs : public ::testing::Test, protected test::CasesEnv {
  protected:
    int caseCount() {
        OpenForCall open(*TblSprawy);
        return static_cast<int>(TblSprawy->T().recordCount());
    }
};

TEST_F(CaseDialogs, ANewCaseIsNumberedByItsIdentifierAndNeedsANameAndANumber) {
    addCase("Istniejąca");
    Td_n_sprawa d;
    ASSERT_TRUE(d.Prepare());
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), "Nowa sprawa");
    EXPECT_EQ(d.Id(), 2);
    auto* number = child<TDBEdit>(&d, "edNumer");
    EXPECT_EQ(number->text(), "2");
    EXPECT_EQ(readCase(2).SP_NUM, "2");  // stored at once
    auto* ok = child<QPushButton>(&d, "btnOK");
    EXPECT_FALSE(ok->isEnabled());
    typeText(child<TDBEdit>(&d, "edNazwa"), "Budowa drogi");
    EXPECT_TRUE(ok->isEnabled());
    number->selectAll();
    QTest::keyClick(number, Qt::Key_Delete);
    EXPECT_FALSE(ok->isEnabled());
    typeText(number, "BD/7");
    typeText(child<TDBMemo>(&d, "memOpis"), "Ulica Łąkowa");
    ASSERT_TRUE(click(&d, "btnOK"));
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.Result(), 2);
    const TRec_Sprawy c = readCase(2);
    EXPECT_EQ(c.SP_NAZ, "Budowa drogi");
    EXPECT_EQ(c.SP_NUM, "BD/7");
    EXPECT_EQ(c.SP_OPI.GetText(), "Ulica Łąkowa");
    EXPECT_FALSE(c.SP_ZAMK);
}

TEST_F(CaseDialogs, ADuplicateNameKeepsTheDialogOpenButAnotherLetterCaseIsAccepted) {
    addCase("Budowa drogi");
    Td_n_sprawa d;
    ASSERT_TRUE(d.Prepare());
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    auto* name = child<TDBEdit>(&d, "edNazwa");
    typeText(name, "Budowa drogi");
    ASSERT_TRUE(click(&d, "btnOK"));
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(prompts().shown().size(), 1u);
    EXPECT_EQ(prompts().shown()[0].text, "Istnieje sprawa o takiej nazwie.\r\nZmień nazwę sprawy");
    EXPECT_EQ(prompts().shown()[0].severity, Severity::Warning);
    EXPECT_EQ(readCase(d.Id()).SP_NAZ, "");  // not stored yet

    name->selectAll();
    typeText(name, "BUDOWA DROGI");
    ASSERT_TRUE(click(&d, "btnOK"));
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(readCase(d.Id()).SP_NAZ, "BUDOWA DROGI");
    EXPECT_EQ(caseCount(), 2);
}

TEST_F(CaseDialogs, AnAbandonedNewCaseLeavesNoRow) {
    addCase("Pierwsza");
    ModalScript script;
    script.then([](QWidget* d) {
        typeText(child<TDBEdit>(d, "edNazwa"), "Porzucona");
        click(d, "btnAnuluj");
    });
    EXPECT_EQ(NowaSprawa(nullptr), 0);
    ASSERT_TRUE(script.done());
    EXPECT_EQ(caseCount(), 1);
    EXPECT_FALSE(caseExists(2));
    // Closing the window is abandoning it too.
    script.then([](QWidget* d) { d->close(); });
    EXPECT_EQ(NowaSprawa(nullptr), 0);
    EXPECT_EQ(caseCount(), 1);
}

TEST_F(CaseDialogs, TheChooserListsOpenCasesByNameOnly) {
    addCase("Zeta", false, "Opis zety");
    const int alfa = addCase("Alfa", false, "Opis alfy");
    addCase("Beta zamknięta", true);
    TW_LSpraw d;
    d.Prepare();
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), "Lista spraw");
    auto* q = child<TDataSet>(&d, "qSprawy");
    QStringList names;
    for (q->First(); !q->Eof(); q->Next())
        names << q->FieldText("SP_NAZ");
    EXPECT_EQ(names, (QStringList{"Alfa", "Zeta"}));
    ASSERT_TRUE(clickRow(child<TCV_DBGrid>(&d, "grdSprawy"), 0));
    EXPECT_EQ(child<QPlainTextEdit>(&d, "memOpis")->toPlainText(), "Opis alfy");
    ASSERT_TRUE(click(&d, "btnOK"));
    EXPECT_EQ(d.Result(), alfa);

    ModalScript script;
    script.then([](QWidget* w) { click(w, "btnAnuluj"); });
    EXPECT_EQ(ListaSpraw(nullptr), 0);
}

TEST_F(CaseDialogs, AChooserWithoutOpenCasesOffersOnlyANewOne) {
    addCase("Zamknięta", true);
    ModalScript script;
    int created = 0;
    script
        .then([](QWidget* w) {
            EXPECT_FALSE(child<QPushButton>(w, "btnOK")->isEnabled());
            EXPECT_FALSE(child<QWidget>(w, "memOpis")->isEnabled());
            click(w, "btnNowa");
        })
        .then([](QWidget* d) {
            typeText(child<TDBEdit>(d, "edNazwa"), "Nowa");
            click(d, "btnOK");
        })
        .then([&](QWidget* w) {
            EXPECT_TRUE(child<QWidget>(w, "memOpis")->isEnabled());
            created = static_cast<int>(child<TDataSet>(w, "qSprawy")->AsInteger("ID"));
            click(w, "btnOK");
        });
    EXPECT_EQ(ListaSpraw(nullptr), 2);
    EXPECT_EQ(created, 2);
}

TEST_F(CaseDialogs, TheFilterShowsItsSettingsAndCancelKeepsDatesAndState) {
    TSprawy_FiltrInfo info;
    const QDate today = QDate::currentDate();
    EXPECT_EQ(info.Od.date(), today.addDays(-14));
    EXPECT_EQ(info.Do.date(), today.addDays(14));
    EXPECT_FALSE(info.ZakresDat);
    EXPECT_FALSE(info.WybranyAdres);
    EXPECT_EQ(info.StanSpraw, TSprawy_FiltrInfo::Wszystkie);

    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Filtrowanie spraw");
        EXPECT_TRUE(child<QRadioButton>(d, "rbWszystkieDaty")->isChecked());
        EXPECT_FALSE(child<QPushButton>(d, "btnOd")->isEnabled());
        EXPECT_FALSE(child<QPushButton>(d, "btnWyborStrony")->isEnabled());
        EXPECT_TRUE(child<QRadioButton>(d, "rbWszystkie")->isChecked());
        child<QRadioButton>(d, "rbWybranaData")->click();
        EXPECT_TRUE(child<QPushButton>(d, "btnOd")->isEnabled());
        // The state does not touch the dates.
        child<QRadioButton>(d, "rbZamkniete")->click();
        EXPECT_TRUE(child<QPushButton>(d, "btnOd")->isEnabled());
        // The address switch takes effect at once, confirmed or not.
        child<QRadioButton>(d, "rbWybranyAdres")->click();
        EXPECT_TRUE(child<QPushButton>(d, "btnWyborStrony")->isEnabled());
        click(d, "btnAnuluj");
    });
    EXPECT_FALSE(PokazFiltrSpraw(nullptr, info));
    EXPECT_FALSE(info.ZakresDat);
    EXPECT_EQ(info.StanSpraw, TSprawy_FiltrInfo::Wszystkie);
    EXPECT_TRUE(info.WybranyAdres);
    EXPECT_EQ(info.IdAdresu, 0);  // no address picked: events without a correspondent

    info.ZakresDat = true;
    info.Od = QDateTime(QDate(2024, 1, 5), QTime(0, 0));
    info.StanSpraw = TSprawy_FiltrInfo::Otwarte;
    script.then([](QWidget* d) {
        EXPECT_TRUE(child<QRadioButton>(d, "rbWybranaData")->isChecked());
        EXPECT_EQ(child<QLineEdit>(d, "edOd")->text(), "2024-01-05");
        EXPECT_TRUE(child<QRadioButton>(d, "rbWybranyAdres")->isChecked());
        EXPECT_TRUE(child<QRadioButton>(d, "rbOtwarte")->isChecked());
        child<QRadioButton>(d, "rbWszystkieAdresy")->click();
        // "Do:" through the calendar.
        click(d, "btnDo");
        EXPECT_EQ(child<QLineEdit>(d, "edDo")->text(), "2024-02-29");
        click(d, "btnOK");
    });
    script.then([](QWidget* d) {
        auto* k = qobject_cast<TKalendarz*>(d);
        ASSERT_NE(k, nullptr);
        k->Calendar1->setSelectedDate(QDate(2024, 2, 29));
        click(d, "btnOK");
    });
    EXPECT_TRUE(PokazFiltrSpraw(nullptr, info));
    EXPECT_FALSE(info.WybranyAdres);
    EXPECT_TRUE(info.ZakresDat);
    EXPECT_EQ(info.Do.date(), QDate(2024, 2, 29));
    EXPECT_EQ(info.StanSpraw, TSprawy_FiltrInfo::Otwarte);
}

class EventListLinks : public ::testing::Test, protected test::CasesEnv {
  protected:
    void open(bool choosing = false) {
        w = std::make_unique<TformListaZdarzen>();
        w->Prepare(choosing);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        child<QTabWidget>(w.get(), "PageControl1")
            ->setCurrentWidget(child<QWidget>(w.get(), "tsSkojarzenia"));
    }
    QStringList linkedCases() {
        QStringList out;
        auto* q = child<TDataSet>(w.get(), "qRelSZ");
        if (!q->Active()) return out;
        std::unique_ptr<engine::Cursor> r = q->CreateReader();
        const int f = q->FieldIndex("SP_NAZ");
        for (r->first(); !r->eof(); r->next())
            out << cursorFieldValue(*r, f).toString().trimmed();
        return out;
    }
    std::unique_ptr<TformListaZdarzen> w;
};

TEST_F(EventListLinks, TheCurrentEventIsLinkedOnceAndUnlinkedWithoutTouchingTheCase) {
    addCase("Zamknięta", true);
    const int c = addCase("Przetarg");
    const int ev = addEvent("P/1");
    open();
    auto* remove = child<QPushButton>(w.get(), "btnUsunSkojarzenie");
    EXPECT_FALSE(remove->isEnabled());
    ASSERT_TRUE(click(w.get(), "chbPokazuj"));
    EXPECT_TRUE(child<QWidget>(w.get(), "grdSprawy")->isVisible());
    EXPECT_TRUE(linkedCases().isEmpty());
    EXPECT_FALSE(remove->isEnabled());

    // The chooser offers the open case only; linking it twice leaves one row.
    auto choose = [](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Lista spraw");
        EXPECT_EQ(child<TDataSet>(d, "qSprawy")->RecordCount(), 1);
        click(d, "btnOK");
    };
    ModalScript script;
    script.then(choose);
    ASSERT_TRUE(click(w.get(), "btnSkojarz"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(linkedCases(), QStringList{"Przetarg"});
    EXPECT_TRUE(remove->isEnabled());
    script.then(choose);
    ASSERT_TRUE(click(w.get(), "btnSkojarz"));
    ASSERT_TRUE(script.done());
    EXPECT_EQ(links(), (std::multiset<std::pair<int, int>>{{c, ev}}));

    ASSERT_TRUE(click(w.get(), "btnUsunSkojarzenie"));
    EXPECT_TRUE(linkedCases().isEmpty());
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_TRUE(links().empty());
    EXPECT_TRUE(caseExists(c));
    EXPECT_TRUE(eventExists(ev));

    // Unticking hides the links and the button.
    ASSERT_TRUE(click(w.get(), "chbPokazuj"));
    EXPECT_FALSE(child<QWidget>(w.get(), "grdSprawy")->isVisible());
}

TEST_F(EventListLinks, ChoosingModeHidesTheLinkButtons) {
    addEvent("P/1");
    open(true);
    EXPECT_FALSE(child<QWidget>(w.get(), "btnSkojarz")->isVisible());
    EXPECT_FALSE(child<QWidget>(w.get(), "btnUsunSkojarzenie")->isVisible());
}

}  // namespace
}  // namespace pulpex
