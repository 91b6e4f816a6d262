#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <set>

#include "addresses/adresy.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/ui/help.h"
#include "core/ui/window.h"
#include "planner/ui/w_kaled.h"
#include "register/ui/choose_address.h"
#include "register/ui/d_f_k_p.h"
#include "register/ui/w_kor_p.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::ModalScript;

class Register : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(inst.ok); }

    int addEvent(int kind, const QString& number, const QDate& date, int address = 0,
                 const QString& recipient = {}) {
        TRec_Zdarzenia r;
        r.ZD_TYP = kind;
        r.ZD_NMR = number;
        r.ZD_DAT = QDateTime(date, QTime(9, 0));
        r.ZD_ADR = address;
        r.ZD_ODB = recipient;
        int id = 0;
        TblZdarzenia->OT_AddNew(id, r);
        return id;
    }
    int addAddress(const QString& company, const QString& surname = {}) {
        TRec_Adresy a;
        a.AD_NAZF = company;
        a.AD_NAZW = surname;
        int id = 0;
        TblAdresy->OT_AddNew(id, a);
        return id;
    }
    // The numbers of the incoming letters the condition lets through, in list order.
    QStringList listed(const QString& condition) {
        TQueryDataSet* q = QueryDataSet(nullptr, "q",
                                        {QStringLiteral(" select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID "
                                                        "from ZDARZ where ZD_TYP=1") +
                                         condition + QStringLiteral(" order by ZD_DAT, ID")});
        std::unique_ptr<TQueryDataSet> owner(q);
        QStringList out;
        q->Open();
        for (q->First(); !q->Eof(); q->Next())
            out << q->AsString("ZD_NMR");
        return out;
    }

    test::TestInstallation inst;
};

// ====================================================================== the filter condition

TEST_F(Register, NewFilterSettingsProposeFourWeeksAroundNowAndFilterNothing) {
    const QDateTime before = QDateTime::currentDateTime();
    const TZdarzenia_FiltrInfo info;
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_FALSE(info.ZakresDat);
    EXPECT_FALSE(info.WybranyAdres);
    EXPECT_FALSE(info.WybranyOdbiorca);
    EXPECT_GE(info.Od, before.addDays(-14));
    EXPECT_LE(info.Od, after.addDays(-14));
    EXPECT_GE(info.Do, before.addDays(14));
    EXPECT_LE(info.Do, after.addDays(14));
    EXPECT_EQ(info.IdAdresu, 0);
    EXPECT_EQ(info.Odbiorca, "NIE WAŻNY");
    EXPECT_EQ(WarunekFiltru(info), "");
}

TEST_F(Register, FilterConditionTextsAndWhatTheyList) {
    const int firma = addAddress("Młyn Zbożowy");
    const int urzad = addAddress("Urząd Gminy");
    addEvent(1, "P/1", QDate(2024, 3, 4), firma, "KADRY");
    addEvent(1, "P/2", QDate(2024, 3, 5), firma, "KSIĘGOWOŚĆ");
    addEvent(1, "P/3", QDate(2024, 3, 19), urzad, "KADRY");
    addEvent(1, "P/4", QDate(2024, 3, 20), 0, "KADRY");
    addEvent(2, "W/1", QDate(2024, 3, 10), firma, "KADRY");

    TZdarzenia_FiltrInfo info;
    info.Od = QDateTime(QDate(2024, 3, 5), QTime(15, 30));
    info.Do = QDateTime(QDate(2024, 3, 19), QTime(8, 0));
    info.ZakresDat = true;
    EXPECT_EQ(WarunekFiltru(info),
              " and ZD_DAT>= cast(\"3/5/2024\" as date)   and ZD_DAT<= cast(\"3/19/2024\" as "
              "date) ");
    // Only the date part counts: both ends are kept.
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList({"P/2", "P/3"}));

    info.ZakresDat = false;
    info.WybranyAdres = true;
    info.IdAdresu = firma;
    EXPECT_EQ(WarunekFiltru(info), QStringLiteral(" and ZD_ADR = %1 ").arg(firma));
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList({"P/1", "P/2"}));
    // An address never chosen stands for letters without a correspondent.
    info.IdAdresu = 0;
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList({"P/4"}));

    info.WybranyAdres = false;
    info.WybranyOdbiorca = true;
    info.Odbiorca = "KSIĘGOWOŚĆ";
    EXPECT_EQ(WarunekFiltru(info), " and ZD_ODB = \"KSIĘGOWOŚĆ\" ");
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList({"P/2"}));

    // All three, in this order, each piece keeping its blanks.
    info.ZakresDat = true;
    info.WybranyAdres = true;
    info.IdAdresu = urzad;
    info.Odbiorca = "KADRY";
    EXPECT_EQ(WarunekFiltru(info),
              QStringLiteral(" and ZD_DAT>= cast(\"3/5/2024\" as date)   and ZD_DAT<= "
                             "cast(\"3/19/2024\" as date)  and ZD_ADR = %1  and ZD_ODB = "
                             "\"KADRY\" ")
                  .arg(urzad));
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList({"P/3"}));
}

TEST_F(Register, ARecipientWithDoubleQuotesNeitherBreaksNorWidensTheQuery) {
    addEvent(1, "P/1", QDate(2024, 3, 4), 0, "DZIAŁ \"A\"");
    addEvent(1, "P/2", QDate(2024, 3, 5), 0, "DZIAŁ ");
    addEvent(1, "P/3", QDate(2024, 3, 6), 0, "INNY");
    TZdarzenia_FiltrInfo info;
    info.WybranyOdbiorca = true;
    info.Odbiorca = "DZIAŁ \"A\"";
    EXPECT_EQ(WarunekFiltru(info), " and ZD_ODB = \"DZIAŁ \"\"A\"\"\" ");
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList({"P/1"}));
    // A text built to end the literal and add a condition of its own stays a plain text.
    info.Odbiorca = "X\" or ZD_TYP=1 or ZD_ODB=\"";
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList());
    info.Odbiorca = "\"";
    EXPECT_EQ(listed(WarunekFiltru(info)), QStringList());
}

// ====================================================================== the filter dialog

class FilterDialog : public Register {
  protected:
    void open() {
        w = std::make_unique<TF_k_przy>();
        w->SetInfo(&info);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TZdarzenia_FiltrInfo info;
    std::unique_ptr<TF_k_przy> w;
};

TEST_F(FilterDialog, ShowsTheSettingsAndOkWritesTheChoicesBack) {
    const int firma = addAddress("Młyn Zbożowy", "Nowak");
    info.Od = QDateTime(QDate(2024, 3, 5), QTime(10, 0));
    info.Do = QDateTime(QDate(2024, 3, 19), QTime(10, 0));
    info.IdAdresu = firma;
    info.WybranyAdres = true;
    open();
    EXPECT_EQ(w->windowTitle(), "Filtrowanie zdarzeń");
    EXPECT_EQ(HelpContextOf(child<QLineEdit>(w.get(), "edOdbiorca")), kHelpFiltrKorPrzy);  // F1
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbWszystkieDaty")->isChecked());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnOd")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnDo")->isEnabled());
    EXPECT_EQ(child<QLineEdit>(w.get(), "edOd")->text(), "2024-03-05");
    EXPECT_EQ(child<QLineEdit>(w.get(), "edDo")->text(), "2024-03-19");
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbWybranyAdres")->isChecked());
    EXPECT_EQ(child<QLineEdit>(w.get(), "edAdres")->text(), "Młyn Zbożowy;  Nowak");
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbWszyscyOdbiorcy")->isChecked());
    auto* edOdbiorca = child<QLineEdit>(w.get(), "edOdbiorca");
    EXPECT_EQ(edOdbiorca->text(), "NIE WAŻNY");
    EXPECT_FALSE(edOdbiorca->isEnabled());

    // "Do:" through the calendar: the chosen day comes back as a short date.
    child<QRadioButton>(w.get(), "rbWybranaData")->click();
    ASSERT_TRUE(child<QPushButton>(w.get(), "btnDo")->isEnabled());
    {
        ModalScript script;
        script.then([](QWidget* d) {
            auto* k = qobject_cast<TKalendarz*>(d);
            ASSERT_NE(k, nullptr);
            EXPECT_EQ(k->SelectedDate(), QDate(2024, 3, 19));
            k->Calendar1->setSelectedDate(QDate(2024, 3, 25));
            click(d, "btnOK");
        });
        click(w.get(), "btnDo");
    }
    EXPECT_EQ(child<QLineEdit>(w.get(), "edDo")->text(), "2024-03-25");
    child<QRadioButton>(w.get(), "rbWybranyOdbiorca")->click();
    ASSERT_TRUE(edOdbiorca->isEnabled());
    edOdbiorca->selectAll();
    test::typeText(edOdbiorca, "sekretariat \"b\"");
    EXPECT_EQ(edOdbiorca->text(), "SEKRETARIAT \"B\"");
    click(w.get(), "btnOK");
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_TRUE(info.ZakresDat);
    EXPECT_EQ(info.Od.date(), QDate(2024, 3, 5));
    EXPECT_EQ(info.Do.date(), QDate(2024, 3, 25));
    EXPECT_TRUE(info.WybranyAdres);
    EXPECT_EQ(info.IdAdresu, firma);
    EXPECT_TRUE(info.WybranyOdbiorca);
    EXPECT_EQ(info.Odbiorca, "SEKRETARIAT \"B\"");
}

TEST_F(FilterDialog, CancelLeavesTheSettingsAsTheyWere) {
    open();
    child<QRadioButton>(w.get(), "rbWybranaData")->click();
    child<QRadioButton>(w.get(), "rbWybranyOdbiorca")->click();
    test::typeText(child<QLineEdit>(w.get(), "edOdbiorca"), "X");
    click(w.get(), "btnAnuluj");
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_FALSE(info.ZakresDat);
    EXPECT_FALSE(info.WybranyOdbiorca);
    EXPECT_EQ(info.Odbiorca, "NIE WAŻNY");
    // The next showing starts from the settings again.
    w->hide();
    w->show();
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbWszystkieDaty")->isChecked());
    EXPECT_EQ(child<QLineEdit>(w.get(), "edOdbiorca")->text(), "NIE WAŻNY");
}

TEST_F(FilterDialog, AnAddressChosenIsKeptAtOnceEvenWhenTheDialogIsCancelled) {
    addAddress("Inna firma");
    const int firma = addAddress("Młyn Zbożowy", "Nowak");
    open();
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnWyborStrony")->isEnabled());
    child<QRadioButton>(w.get(), "rbWybranyAdres")->click();
    ModalScript script;
    script.then([](QWidget* d) { test::chooseAddress(d, "Młyn"); });
    click(w.get(), "btnWyborStrony");
    EXPECT_TRUE(script.done());
    EXPECT_EQ(child<QLineEdit>(w.get(), "edAdres")->text(), "Młyn Zbożowy;  Nowak");
    click(w.get(), "btnAnuluj");
    EXPECT_EQ(info.IdAdresu, firma);
    EXPECT_FALSE(info.WybranyAdres);
}

TEST_F(FilterDialog, WithoutSettingsItSaysSoAndChangesNothing) {
    w = std::make_unique<TF_k_przy>();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(inst.env.prompts.texts(), QStringList({"Nie podano struktury inicjującej !"}));
    click(w.get(), "btnOK");
    EXPECT_EQ(w->result(), QDialog::Rejected);
}

// ====================================================================== the incoming window

class IncomingWindow : public Register {
  protected:
    void open() {
        w = std::make_unique<TOknoKorPrzy>();
        ASSERT_TRUE(w->Prepare());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TCV_DBGrid* grid() { return child<TCV_DBGrid>(w.get(), "DBGrid1"); }
    QStringList columns() {
        QStringList out;
        for (int c = 0; c < grid()->model()->columnCount(); ++c)
            out << grid()->model()->headerData(c, Qt::Horizontal).toString();
        return out;
    }
    QStringList numbers() {
        QStringList out;
        for (int r = 0; r < grid()->model()->rowCount(); ++r)
            out << grid()->model()->index(r, 0).data().toString();
        return out;
    }
    std::unique_ptr<TOknoKorPrzy> w;
};

TEST_F(IncomingWindow, ListsIncomingLettersByDateAndChoosesTheHighlightedOne) {
    const int firma = addAddress("Młyn Zbożowy", "Nowak");
    addEvent(1, "P/3", QDate(2024, 3, 9));
    const int second = addEvent(1, "P/2", QDate(2024, 3, 5), firma, "KADRY");
    addEvent(2, "W/1", QDate(2024, 3, 1));
    addEvent(1, "P/1", QDate(2024, 3, 5));
    addEvent(3, "I/1", QDate(2024, 3, 2));
    open();
    EXPECT_EQ(w->windowTitle(), "Korespondencja Przychodząca");
    EXPECT_EQ(HelpContextOf(grid()), kHelpKorPrzy);  // F1
    EXPECT_EQ(w->ListSql(),
              "select \n\tZD_NMR, ZD_DAT,ZD_ADR,id\nfrom \n\tZDARZ\nwhere \n\tZD_TYP=1\norder "
              "by \n\tZD_DAT,ID");
    EXPECT_EQ(columns(), QStringList({"ZD_NMR", "ZD_DAT", "ZD_ADR", "id"}));
    QTRY_COMPARE(numbers(), QStringList({"P/2", "P/1", "P/3"}));
    EXPECT_TRUE(child<QPushButton>(w.get(), "btnOK")->isEnabled());
    EXPECT_EQ(child<TDBEdit>(w.get(), "edNumer")->text(), "P/2");
    EXPECT_EQ(child<TDBEdit>(w.get(), "edOdbiorca")->text(), "KADRY");
    EXPECT_EQ(child<TDBEdit>(w.get(), "edFirma")->text(), "Młyn Zbożowy");
    EXPECT_TRUE(child<TDBEdit>(w.get(), "edNumer")->isReadOnly());

    test::clickRow(grid(), 2);
    EXPECT_EQ(child<TDBEdit>(w.get(), "edNumer")->text(), "P/3");
    EXPECT_EQ(child<TDBEdit>(w.get(), "edFirma")->text(), "");
    test::clickRow(grid(), 0);
    click(w.get(), "btnOK");
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_EQ(w->Wynik(), second);
}

TEST_F(IncomingWindow, AFilterRebuildsTheListAndAnEmptyOneDisablesOk) {
    const int firma = addAddress("Młyn Zbożowy");
    addEvent(1, "P/1", QDate(2024, 3, 4), firma);
    addEvent(1, "P/2", QDate(2024, 3, 20));
    open();
    QTRY_COMPARE(numbers(), QStringList({"P/1", "P/2"}));

    ModalScript script;
    script.then([](QWidget* d) {
        child<QRadioButton>(d, "rbWybranyOdbiorca")->click();
        auto* e = child<QLineEdit>(d, "edOdbiorca");
        e->selectAll();
        test::typeText(e, "nikt \"taki\"");
        click(d, "btnOK");
    });
    click(w.get(), "btnFiltr");
    EXPECT_EQ(w->ListSql(),
              " select ZD_NMR,ZD_DAT,ZD_SMB,ZD_ADR,ID from ZDARZ where ZD_TYP=1 and ZD_ODB = "
              "\"NIKT \"\"TAKI\"\"\"  order by ZD_DAT, ID");
    EXPECT_EQ(columns(), QStringList({"ZD_NMR", "ZD_DAT", "ZD_SMB", "ZD_ADR", "ID"}));
    QTRY_COMPARE(numbers(), QStringList());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnOK")->isEnabled());
    EXPECT_FALSE(child<QTabWidget>(w.get(), "PageControl1")->isEnabled());
    EXPECT_TRUE(inst.env.prompts.texts().isEmpty());

    // Everything off again: every incoming letter.
    script.then([](QWidget* d) {
        child<QRadioButton>(d, "rbWszyscyOdbiorcy")->click();
        click(d, "btnOK");
    });
    click(w.get(), "btnFiltr");
    QTRY_COMPARE(numbers(), QStringList({"P/1", "P/2"}));
    EXPECT_TRUE(child<QPushButton>(w.get(), "btnOK")->isEnabled());
}

TEST_F(IncomingWindow, TheEntryFunctionGivesTheChosenIdOrZero) {
    const int first = addEvent(1, "P/1", QDate(2024, 3, 4));
    {
        ModalScript script;
        script.then([](QWidget* d) { click(d, "btnOK"); });
        EXPECT_EQ(OknoKorPrzy(nullptr), first);
    }
    {
        ModalScript script;
        script.then([](QWidget* d) { click(d, "btnAnuluj"); });
        EXPECT_EQ(OknoKorPrzy(nullptr), 0);
    }
}

TEST_F(IncomingWindow, WithoutIncomingLettersNothingCanBeChosen) {
    addEvent(2, "W/1", QDate(2024, 3, 4));
    open();
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnOK")->isEnabled());
    click(w.get(), "btnAnuluj");
    EXPECT_EQ(w->Wynik(), 0);
}

}  // namespace
}  // namespace pulpex
