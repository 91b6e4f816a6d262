#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "addresses/adresy.h"
#include "controls/data/dataset.h"
#include "controls/dbcontrols.h"
#include "controls/grid/cvdbgrid.h"
#include "core/config.h"
#include "core/ui/help.h"
#include "register/ui/choose_address.h"
#include "register/ui/n_kor.h"
#include "register/ui/w_kor_p.h"
#include "register/ui/w_tresc.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/fieldio.h"
#include "tables/globals.h"
#include "tables/id_gener.h"

namespace pulpex {
namespace {

using test::child;
using test::chooseAddress;
using test::click;
using test::ModalScript;
using test::typeText;

const QString kSugerowany =
    QStringLiteral("Sugerowany numer jest inny niż wybrany przez użytkownika!");
const QString kPorzucic = QStringLiteral("Czy napewno chcesz porzucić edycję nowego zdarzenia?");

class NewEntry : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        previousToday = SetPatternToday(QDate(2024, 3, 14));
        TblID->retryUnitMs = 1;
    }
    void TearDown() override {
        w.reset();
        SetPatternToday(previousToday);
    }

    int addAddress(const QString& company, const QString& surname, const QString& mail = {}) {
        TRec_Adresy a;
        a.AD_NAZF = company;
        a.AD_NAZW = surname;
        a.AD_IMIE = QStringLiteral("JAN");
        a.AD_MIAS = QStringLiteral("Łódź");
        a.AD_MAIL() = mail;
        int id = 0;
        TblAdresy->OT_AddNew(id, a);
        return id;
    }
    int addIncoming(const QString& number, const QDate& date) {
        TRec_Zdarzenia r;
        r.ZD_NMR = number;
        r.ZD_DAT = QDateTime(date, QTime(8, 0));
        int id = 0;
        TblZdarzenia->OT_AddNew(id, r);
        return id;
    }
    static qsizetype eventCount() {
        return static_cast<qsizetype>(TblZdarzenia->T().recordCount());
    }
    static TRec_Zdarzenia event(int id) {
        TRec_Zdarzenia r;
        EXPECT_TRUE(TblZdarzenia->ReadRecordByID(id, r));
        return r;
    }
    void open(const QString& content = {}, const QString& email = {}, int kind = 1) {
        w = std::make_unique<TNowaKor>();
        ASSERT_TRUE(w->Prepare(content, email, kind));
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    // The correspondent, as the address window would set it.
    void setCorrespondent(int addressId) {
        auto* t = w->findChild<TTableDataSet*>(QStringLiteral("tZdarzenia"));
        t->Edit();
        t->SetFieldValue(QStringLiteral("ZD_ADR"), addressId);
        t->Post();
    }
    QPushButton* ok() { return child<QPushButton>(w.get(), "btnOK"); }
    TDBEdit* edit(const char* name) { return child<TDBEdit>(w.get(), name); }

    test::TestInstallation inst;
    QDate previousToday;
    std::unique_ptr<TNowaKor> w;
};

TEST_F(NewEntry, TheDialogStoresItsRowAtOnceWithTheSuggestedNumber) {
    open();
    EXPECT_EQ(w->windowTitle(), "Nowe zdarzenie");
    EXPECT_EQ(HelpContextOf(edit("edNumer")), kHelpNowaKor);  // F1
    EXPECT_EQ(eventCount(), 1);
    const TRec_Zdarzenia r = event(w->EventID());
    EXPECT_EQ(r.ZD_TYP, 1);
    EXPECT_EQ(r.ZD_NMR, "P/2024/3/1");
    EXPECT_EQ(r.ZD_DAT.date(), QDate::currentDate());
    EXPECT_EQ(edit("edNumer")->text(), "P/2024/3/1");
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbPrzychodzace")->isChecked());
    // Nothing was taken: the counter still offers 1.
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 1);
    EXPECT_FALSE(ok()->isEnabled());
}

TEST_F(NewEntry, EachKindShowsItsOwnFieldsAndNumber) {
    open();
    auto* tabs = child<QTabWidget>(w.get(), "PageControl1");
    auto* lbOdbiorca = child<QLabel>(w.get(), "lbOdbiorca");
    EXPECT_TRUE(edit("edSymbol")->isVisible());
    EXPECT_TRUE(edit("edOdbiorca")->isVisible());
    EXPECT_FALSE(child<QWidget>(w.get(), "chbPolecone")->isVisible());
    EXPECT_FALSE(edit("edDoPisma")->isVisible());
    EXPECT_EQ(lbOdbiorca->text(), "Odbiorca");

    // A typed number gives way to the kind's suggestion.
    edit("edNumer")->selectAll();
    typeText(edit("edNumer"), "X/1");
    child<QRadioButton>(w.get(), "rbWychodzace")->click();
    EXPECT_EQ(edit("edNumer")->text(), "W/2024/3/1");
    EXPECT_EQ(event(w->EventID()).ZD_TYP, 2);
    EXPECT_EQ(event(w->EventID()).ZD_NMR, "W/2024/3/1");
    EXPECT_FALSE(edit("edSymbol")->isVisible());
    EXPECT_FALSE(edit("edOdbiorca")->isVisible());
    EXPECT_TRUE(child<QWidget>(w.get(), "chbPolecone")->isVisible());
    EXPECT_TRUE(edit("edDoPisma")->isVisible());
    EXPECT_TRUE(child<QPushButton>(w.get(), "btnDoPisma")->isVisible());
    EXPECT_EQ(lbOdbiorca->text(), "Do pisma");

    // "Inne" from the address page goes back to the first page; the address page stays shut.
    child<QRadioButton>(w.get(), "rbPrzychodzace")->click();
    tabs->setCurrentIndex(2);
    child<QRadioButton>(w.get(), "rbInne")->click();
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_FALSE(tabs->isTabEnabled(2));
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_FALSE(lbOdbiorca->isVisible());
    EXPECT_FALSE(edit("edSymbol")->isVisible());
    EXPECT_EQ(edit("edNumer")->text(), "I/2024/3/1");
    EXPECT_EQ(event(w->EventID()).ZD_TYP, 3);
}

TEST_F(NewEntry, OkNeedsWhatEachKindNeeds) {
    const int firma = addAddress("Młyn Zbożowy", "NOWAK");
    open();
    // Incoming: number, symbol and correspondent.
    EXPECT_FALSE(ok()->isEnabled());
    typeText(edit("edSymbol"), "L.dz. 5");
    EXPECT_FALSE(ok()->isEnabled());
    setCorrespondent(firma);
    typeText(edit("edSymbol"), "/24");
    EXPECT_TRUE(ok()->isEnabled());
    edit("edNumer")->clear();
    EXPECT_FALSE(ok()->isEnabled());
    // Outgoing: number and correspondent.
    child<QRadioButton>(w.get(), "rbWychodzace")->click();
    EXPECT_TRUE(ok()->isEnabled());
    setCorrespondent(0);
    typeText(edit("edNumer"), "A");
    EXPECT_FALSE(ok()->isEnabled());
    // Other: a number only.
    child<QRadioButton>(w.get(), "rbInne")->click();
    EXPECT_TRUE(ok()->isEnabled());
    edit("edNumer")->clear();
    EXPECT_FALSE(ok()->isEnabled());
}

TEST_F(NewEntry, OkKeepsTheSuggestionSilentlyAndTakesTheCounter) {
    const int firma = addAddress("Młyn Zbożowy", "NOWAK");
    open();
    setCorrespondent(firma);
    typeText(edit("edSymbol"), "ZB/12");
    typeText(edit("edOdbiorca"), "kadry");
    typeText(child<TDBMemo>(w.get(), "memOpis"), "Zamówienie mąki żytniej");
    click(w.get(), "btnOK");
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_TRUE(w->Finish(w->result()));
    EXPECT_TRUE(inst.env.prompts.texts().isEmpty());
    const TRec_Zdarzenia r = event(w->EventID());
    EXPECT_EQ(r.ZD_NMR, "P/2024/3/1");
    EXPECT_EQ(r.ZD_SMB, "ZB/12");
    EXPECT_EQ(r.ZD_ODB, "KADRY");
    EXPECT_EQ(r.ZD_ADR, firma);
    EXPECT_EQ(r.ZD_OPIS.GetText(), "Zamówienie mąki żytniej");
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 2);
}

TEST_F(NewEntry, ATypedNumberIsReplacedAndTheUserIsTold) {
    open({}, {}, 3);
    edit("edNumer")->selectAll();
    typeText(edit("edNumer"), "MÓJ/1");
    click(w.get(), "btnOK");
    EXPECT_EQ(inst.env.prompts.texts(), QStringList({kSugerowany}));
    EXPECT_EQ(event(w->EventID()).ZD_NMR, "I/2024/3/1");
}

TEST_F(NewEntry, CountersThatAdvancedMeanwhileAreToldAndTheNewNumberStored) {
    open({}, {}, 3);
    EXPECT_EQ(edit("edNumer")->text(), "I/2024/3/1");
    ASSERT_EQ(TblID->GenerateID("{NZ}"), 1);  // another workstation registered a letter
    click(w.get(), "btnOK");
    EXPECT_EQ(inst.env.prompts.texts(), QStringList({kSugerowany}));
    EXPECT_EQ(event(w->EventID()).ZD_NMR, "I/2024/3/2");
}

TEST_F(NewEntry, WithAnEmptyPatternTheTypedNumberIsStored) {
    ASSERT_TRUE(WriteConfig("smb_inne", ""));
    open({}, {}, 3);
    EXPECT_EQ(edit("edNumer")->text(), "");
    EXPECT_FALSE(ok()->isEnabled());
    typeText(edit("edNumer"), "NOTATKA-7");
    EXPECT_TRUE(ok()->isEnabled());
    click(w.get(), "btnOK");
    EXPECT_TRUE(inst.env.prompts.texts().isEmpty());
    EXPECT_EQ(event(w->EventID()).ZD_NMR, "NOTATKA-7");
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 1);
}

TEST_F(NewEntry, CancellingAsksAndThenLeavesTheTableAsItWas) {
    addIncoming("P/2024/3/1", QDate(2024, 3, 1));
    ASSERT_EQ(eventCount(), 1);
    open("Treść z poczty");
    typeText(edit("edSymbol"), "ABC");
    // "No" keeps the dialog and what was typed.
    inst.env.prompts.setNextAnswer(Answer::No);
    click(w.get(), "btnAnuluj");
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(edit("edSymbol")->text(), "ABC");
    // Esc asks the same; "Yes" drops the row.
    inst.env.prompts.setNextAnswer(Answer::Yes);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(inst.env.prompts.texts(), QStringList({kPorzucic, kPorzucic}));
    EXPECT_EQ(inst.env.prompts.shown().at(1).buttons, Buttons::YesNoCancel);
    EXPECT_FALSE(w->Finish(w->result()));
    EXPECT_EQ(eventCount(), 1);
    EXPECT_FALSE(TblZdarzenia->LocateID(w->EventID()));
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 1);
}

TEST_F(NewEntry, ClosingTheWindowAlsoAsksBeforeAnythingTypedIsDropped) {
    open();
    typeText(edit("edSymbol"), "ABC");
    inst.env.prompts.setNextAnswer(Answer::Cancel);
    w->close();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(inst.env.prompts.texts(), QStringList({kPorzucic}));
}

TEST_F(NewEntry, TheAnsweredLetterIsChosenInTheIncomingWindow) {
    addIncoming("P/2024/2/7", QDate(2024, 2, 10));
    const int answered = addIncoming("P/2024/3/9", QDate(2024, 3, 2));
    open({}, {}, 2);
    ModalScript script;
    script.then([](QWidget* d) {
        auto* grid = child<TCV_DBGrid>(d, "DBGrid1");
        QTRY_COMPARE(grid->model()->rowCount(), 2);
        test::clickRow(grid, 1);
        click(d, "btnOK");
    });
    click(w.get(), "btnDoPisma");
    EXPECT_TRUE(script.done());
    EXPECT_EQ(event(w->EventID()).ZD_DOP, answered);
    EXPECT_EQ(edit("edDoPisma")->text(), "P/2024/3/9");
}

TEST_F(NewEntry, ContentFromAFileAndTheCorrespondentsDataAtTheCaret) {
    const int firma = addAddress("Młyn Zbożowy", "NOWAK");
    const QString path = inst.env.dir.path() + "/list.txt";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("Zażółć gęślą jaźń\n").toUtf8());
    }
    open();
    setCorrespondent(firma);
    QApplication::clipboard()->setText("schowek");
    child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(1);
    inst.env.prompts.setNextFileName(path);
    click(w.get(), "btnWczytaj");
    EXPECT_EQ(event(w->EventID()).ZD_TRE.GetText(), "Zażółć gęślą jaźń\n");
    EXPECT_EQ(inst.env.prompts.asked().at(0).filter,
              "Pliki tekstowe (*.txt)|*.txt|Pliki wszystkie (*.*)|*.*");

    auto* memo = child<TDBMemo>(w.get(), "memTresc");
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(memo->toPlainText(), "Zażółć gęślą jaźń\nJAN NOWAKŁódź");
    EXPECT_EQ(QApplication::clipboard()->text(), "schowek");
    EXPECT_EQ(event(w->EventID()).ZD_TRE.GetText(), "Zażółć gęślą jaźń\nJAN NOWAKŁódź");
    // An event of the kind "Inne" has no correspondent to insert.
    child<QRadioButton>(w.get(), "rbInne")->click();
    QTest::keyClick(memo, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(memo->toPlainText(), "Zażółć gęślą jaźń\nJAN NOWAKŁódź");

    // A CP1250 file from the old program reads the same.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\xAF\xF3\xB3w"));
    }
    inst.env.prompts.setNextFileName(path);
    click(w.get(), "btnWczytaj");
    EXPECT_EQ(event(w->EventID()).ZD_TRE.GetText(), "Żółw");

    const QString saved = inst.env.dir.path() + "/zapis";
    inst.env.prompts.setNextFileName(saved + ".txt");
    click(w.get(), "btnZapisz");
    QFile back(saved + ".txt");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(back.readAll()), "Żółw");
}

TEST_F(NewEntry, TheContentEditorWorksOnTheStoredRowAndItsTextComesBack) {
    const int firma = addAddress("Młyn Zbożowy", "NOWAK");
    open();
    setCorrespondent(firma);
    child<QTabWidget>(w.get(), "PageControl1")->setCurrentIndex(1);
    typeText(child<TDBMemo>(w.get(), "memTresc"), "Szanowni ");
    ModalScript script;
    script.then([](QWidget* d) {
        auto* editor = qobject_cast<TformEdytorTresciZdarzenia*>(d);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->Mode(), 1);  // a letter with its correspondent: the address buttons
        EXPECT_FALSE(editor->ReadOnly());
        auto* memo = child<TDBMemo>(d, "memTresc");
        EXPECT_EQ(memo->toPlainText(), "Szanowni ");
        memo->moveCursor(QTextCursor::End);
        typeText(memo, "Państwo");
        click(d, "btnKoniec");
    });
    click(w.get(), "btnOknoEdycyjne");
    EXPECT_TRUE(script.done());
    EXPECT_EQ(child<TDBMemo>(w.get(), "memTresc")->toPlainText(), "Szanowni Państwo");
    EXPECT_EQ(event(w->EventID()).ZD_TRE.GetText(), "Szanowni Państwo");

    // Without a correspondent the editor comes without the address buttons.
    setCorrespondent(0);
    script.then([](QWidget* d) {
        EXPECT_EQ(qobject_cast<TformEdytorTresciZdarzenia*>(d)->Mode(), 2);
        click(d, "btnKoniec");
    });
    click(w.get(), "btnOknoEdycyjne");
    EXPECT_TRUE(script.done());
}

TEST_F(NewEntry, AMailWhoseSenderIsInTheAddressBookComesWithItsCorrespondent) {
    addAddress("Inna", "KOWALSKI", "biuro@inna.pl");
    const int firma = addAddress("Młyn Zbożowy", "NOWAK", "Sekretariat@mlyn.pl");
    open("Treść listu", "Sekretariat@mlyn.pl");
    EXPECT_EQ(event(w->EventID()).ZD_ADR, firma);
    EXPECT_EQ(event(w->EventID()).ZD_TRE.GetText(), "Treść listu");
    EXPECT_EQ(edit("edFirma")->text(), "Młyn Zbożowy");
    w.reset();
    // The look-up is exact: another case is another address.
    open({}, "sekretariat@mlyn.pl", 2);
    EXPECT_EQ(event(w->EventID()).ZD_ADR, 0);
    EXPECT_FALSE(ok()->isEnabled());
}

TEST_F(NewEntry, ARowLockedAtAnotherWorkstationKeepsTheDialogOpenWithWhatWasTyped) {
    open({}, {}, 3);
    auto other = engine::Table::open(u8(TblZdarzenia->TableFileName()));
    other->setIndex("ZDARZ_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{w->EventID()}}));
    other->edit();
    click(w.get(), "btnOK");
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(inst.env.prompts.shown().size(), 1u);
    EXPECT_EQ(inst.env.prompts.shown().at(0).severity, Severity::Error);
    EXPECT_TRUE(inst.env.prompts.texts().at(0).startsWith("Nie można nadać numeru zdarzeniu."))
        << inst.env.prompts.texts().at(0).toStdString();
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 1);
    other->cancel();
    click(w.get(), "btnOK");
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(event(w->EventID()).ZD_NMR, "I/2024/3/1");
}

// The whole road through the entry function, as the event list calls it.
TEST_F(NewEntry, ALetterIsRegisteredThroughTheEntryFunction) {
    const int firma = addAddress("Młyn Zbożowy", "NOWAK");
    ModalScript script;
    script
        .then([&](QWidget* d) {
            EXPECT_EQ(d->objectName(), "NowaKor");
            click(d, "rbInne");
            EXPECT_EQ(child<TDBEdit>(d, "edNumer")->text(), "I/2024/3/1");
            click(d, "rbPrzychodzace");
            EXPECT_EQ(child<TDBEdit>(d, "edNumer")->text(), "P/2024/3/1");
            typeText(child<TDBEdit>(d, "edSymbol"), "MZ/3/2024");
            typeText(child<TDBEdit>(d, "edOdbiorca"), "dyrektor");
            EXPECT_FALSE(child<QPushButton>(d, "btnOK")->isEnabled());
            child<QTabWidget>(d, "PageControl1")->setCurrentIndex(2);
            click(d, "btnWybierzAdres");  // the address window opens on top
        })
        .then([&](QWidget* d) {
            EXPECT_EQ(d->objectName(), "OknoStron");
            chooseAddress(d, "Młyn Zbożowy");
        })
        .then([&](QWidget* d) {
            EXPECT_EQ(d->objectName(), "NowaKor");
            EXPECT_EQ(child<TDBEdit>(d, "edFirma")->text(), "Młyn Zbożowy");
            click(d, "btnOK");
        });
    EXPECT_TRUE(NoweZdarzenie(nullptr, "Proszę o ofertę"));
    EXPECT_TRUE(script.done());
    ASSERT_EQ(eventCount(), 1);
    TblZdarzenia->T().first();
    TRec_Zdarzenia r;
    r.LoadFields(*TblZdarzenia);
    EXPECT_EQ(r.ZD_NMR, "P/2024/3/1");
    EXPECT_EQ(r.ZD_SMB, "MZ/3/2024");
    EXPECT_EQ(r.ZD_ODB, "DYREKTOR");
    EXPECT_EQ(r.ZD_ADR, firma);
    EXPECT_EQ(r.ZD_TYP, 1);
    EXPECT_EQ(r.ZD_TRE.GetText(), "Proszę o ofertę");
    EXPECT_TRUE(inst.env.prompts.texts().isEmpty());

    // Cancelled: false, and the table as it was.
    script.then([&](QWidget* d) {
        typeText(child<TDBEdit>(d, "edSymbol"), "X");
        inst.env.prompts.setNextAnswer(Answer::Yes);
        click(d, "btnAnuluj");
    });
    EXPECT_FALSE(NoweZdarzenie(nullptr));
    EXPECT_EQ(eventCount(), 1);
    EXPECT_EQ(TblID->ConsultnextID("{NZ}"), 2);
}

}  // namespace
}  // namespace pulpex
