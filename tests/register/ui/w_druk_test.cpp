#include "register/ui/w_druk.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <cmath>

#include "addresses/adresy.h"
#include "core/system.h"
#include "core/ui/print_text.h"
#include "core/ui/printer.h"
#include "core/ui/text_file.h"
#include "core/utils.h"
#include "planner/ui/w_kaled.h"
#include "register/ui/listzdrz.h"
#include "register/zdarzen.h"
#include "register/zestawienie.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::ModalScript;
using test::typeText;

const QDate kDzien(2024, 3, 5);

// The pages of a PDF file as pdftotext reads them, each as its non-empty lines with runs of
// blanks made one (the layout of the columns is checked on the memo text, the words here).
QList<QStringList> pdfPages(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    // The text ends with a form feed after the last page.
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    QList<QStringList> out;
    for (const QString& page : pages) {
        QStringList lines;
        for (const QString& l : page.split(QLatin1Char('\n')))
            if (!l.trimmed().isEmpty()) lines << l.simplified();
        out << lines;
    }
    return out;
}

class PrintedLists : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
        // Nothing reaches a real printer.
        SharedPrinter().setOutputFormat(QPrinter::PdfFormat);
        SharedPrinter().setOutputFileName({});
    }
    void TearDown() override { SharedPrinter().setOutputFileName({}); }

    int address(const QString& company, const QString& town, const QString& street = {}) {
        TRec_Adresy a;
        a.AD_NAZF = company;
        a.AD_MIAS = town;
        a.AD_KOD = QStringLiteral("00-950");
        a.AD_ULIC = street;
        a.AD_DOM = QStringLiteral("1");
        OpenForCall open(*TblAdresy);
        TblAdresy->OT_AddNew(a.ID, a);
        return a.ID;
    }
    int letter(int kind, int addressId, const QString& number = {}, bool registered = false,
               const QDate& date = kDzien) {
        TRec_Zdarzenia z;
        z.ZD_TYP = kind;
        z.ZD_ADR = addressId;
        z.ZD_NMR = number;
        z.ZD_POL = registered;
        z.ZD_DAT = QDateTime(date, QTime(9, 0));
        OpenForCall open(*TblZdarzenia);
        TblZdarzenia->OT_AddNew(z.ID, z);
        return z.ID;
    }
    void open(const QDate& date = kDzien) {
        w = std::make_unique<TDruk_lista>();
        w->Prepare(date);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    QPlainTextEdit* memo() { return child<QPlainTextEdit>(w.get(), "Memo1"); }
    QStringList memoLines() { return memo()->toPlainText().split(QLatin1Char('\n')); }
    QString file(const QString& name) { return inst.env.dir.path() + QLatin1Char('/') + name; }
    QString lists(bool incoming, const QDate& date = kDzien) {
        return (incoming ? Kor_p_w(CurrentDataDir(), date) : Kor_w_w(CurrentDataDir(), date))
            .join(QLatin1Char('\n'));
    }

    test::TestInstallation inst;
    std::unique_ptr<TDruk_lista> w;
};

TEST_F(PrintedLists, OpensOnTheIncomingListInFixedsysAndTheRadioButtonsSwitchLists) {
    const int a = address(QStringLiteral("Urząd Skarbowy"), QStringLiteral("Łódź"));
    letter(1, a, QStringLiteral("KP/1"));
    letter(2, a, {}, true);
    open();
    EXPECT_EQ(w->windowTitle(), "Wydruk");
    EXPECT_EQ(child<QLineEdit>(w.get(), "edData")->text(), "2024-03-05");
    EXPECT_TRUE(child<QLineEdit>(w.get(), "edData")->isReadOnly());
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbPrzychodzaca")->isChecked());
    EXPECT_EQ(memo()->font().family(), "Fixedsys");
    EXPECT_EQ(memo()->font().pointSize(), 9);
    EXPECT_EQ(memo()->toPlainText(), lists(true));
    EXPECT_TRUE(memo()->toPlainText().contains("|KP/1 |Urząd Skarbowy"));

    child<QRadioButton>(w.get(), "rbWychodzaca")->click();
    EXPECT_EQ(memo()->toPlainText(), lists(false));
    EXPECT_TRUE(memoLines().contains("Korespondencja polecona z dnia :2024-03-05"));
    child<QRadioButton>(w.get(), "rbPrzychodzaca")->click();
    EXPECT_EQ(memo()->toPlainText(), lists(true));
}

TEST_F(PrintedLists, WhatWasTypedIntoTheListIsNotReplacedWithoutAsking) {
    const int a = address(QStringLiteral("Firma"), QStringLiteral("Opole"));
    letter(1, a, QStringLiteral("KP/1"));
    letter(1, a, QStringLiteral("KP/2"), false, kDzien.addDays(2));
    open();
    memo()->moveCursor(QTextCursor::End);
    typeText(memo(), QStringLiteral("Odebrała: Zofia Wróbel"));
    const QString typed = memo()->toPlainText();

    // "No" keeps the list, the radio button and the day.
    inst.env.prompts.setNextAnswer(Answer::No);
    child<QRadioButton>(w.get(), "rbWychodzaca")->click();
    EXPECT_EQ(memo()->toPlainText(), typed);
    EXPECT_TRUE(child<QRadioButton>(w.get(), "rbPrzychodzaca")->isChecked());
    inst.env.prompts.setNextAnswer(Answer::No);
    {
        ModalScript script;
        script.then([](QWidget* d) {
            auto* k = qobject_cast<TKalendarz*>(d);
            ASSERT_NE(k, nullptr);
            EXPECT_EQ(k->SelectedDate(), kDzien);
            k->Calendar1->setSelectedDate(kDzien.addDays(2));
            click(d, "btnOK");
        });
        ASSERT_TRUE(click(w.get(), "btnKalendarz"));
    }
    EXPECT_EQ(memo()->toPlainText(), typed);
    EXPECT_EQ(child<QLineEdit>(w.get(), "edData")->text(), "2024-03-05");
    // Nor does leaving the window.
    inst.env.prompts.setNextAnswer(Answer::No);
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(inst.env.prompts.shown().size(), 3u);
    EXPECT_TRUE(
        inst.env.prompts.shown().at(2).text.endsWith("Czy zamknąć okno? Zmiany zostaną "
                                                     "utracone."));

    // Saved to a file, the list may go: the calendar now rebuilds it for the other day.
    inst.env.prompts.setNextFileName(file("lista.txt"));
    ASSERT_TRUE(click(w.get(), "btnZapisz"));
    EXPECT_EQ(ReadTextFile(file("lista.txt")).value_or(QString()), typed);
    {
        ModalScript script;
        script.then([](QWidget* d) {
            qobject_cast<TKalendarz*>(d)->Calendar1->setSelectedDate(kDzien.addDays(2));
            click(d, "btnOK");
        });
        ASSERT_TRUE(click(w.get(), "btnKalendarz"));
    }
    EXPECT_EQ(child<QLineEdit>(w.get(), "edData")->text(), "2024-03-07");
    EXPECT_EQ(memo()->toPlainText(), lists(true, kDzien.addDays(2)));
    EXPECT_TRUE(memo()->toPlainText().contains("KP/2"));

    // The saved file comes back with "Wstaw z pliku".
    inst.env.prompts.setNextFileName(file("lista.txt"));
    ASSERT_TRUE(click(w.get(), "btnWstaw"));
    EXPECT_EQ(memo()->toPlainText(), typed);
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    QTRY_VERIFY(!w->isVisible());
}

TEST_F(PrintedLists, AListOf150LettersPrintsEveryLineOnFullPagesWithItsPolishLetters) {
    const QStringList towns = {QStringLiteral("Łódź"), QStringLiteral("Gdańsk"),
                               QStringLiteral("Kraków"), QStringLiteral("Częstochowa"),
                               QStringLiteral("Białystok")};
    for (int i = 1; i <= 150; ++i) {
        const int a = address(QStringLiteral("Spółdzielnia „Źródło” nr %1").arg(i),
                              towns.at(i % towns.size()), QStringLiteral("Żółkiewskiego"));
        letter(1, a, QStringLiteral("KP/2024/%1").arg(i));
    }
    open();
    const QStringList lines = memoLines();
    ASSERT_EQ(lines.size(), 4 + 3 * 150);

    SharedPrinter().setOutputFileName(file("lista.pdf"));
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    EXPECT_TRUE(inst.env.prompts.shown().empty())
        << inst.env.prompts.texts().join(QLatin1Char('|')).toStdString();
    const QList<QStringList> pages = pdfPages(file("lista.pdf"));

    // As many lines on a page as fit wholly in the printable height, 1.1 line heights apart,
    // starting 10 pixels down.
    QPrinter& printer = SharedPrinter();
    const qreal height = QFontMetricsF(memo()->font(), &printer).height();
    const qreal pageHeight = printer.pageLayout().paintRectPixels(printer.resolution()).height();
    const int perPage =
        static_cast<int>(std::floor((pageHeight - 10 - height) / (1.1 * height))) + 1;
    ASSERT_GT(perPage, 10);
    const int expectedPages = static_cast<int>((lines.size() + perPage - 1) / perPage);
    ASSERT_GT(expectedPages, 1);
    ASSERT_EQ(pages.size(), expectedPages);

    QStringList printed;
    for (int p = 0; p < pages.size(); ++p) {
        if (p + 1 < pages.size()) {
            EXPECT_EQ(pages.at(p).size(), perPage) << "page " << p + 1;
        }
        printed << pages.at(p);
    }
    QStringList expected;
    for (const QString& l : lines)
        expected << l.simplified();
    EXPECT_EQ(printed, expected);
    EXPECT_TRUE(printed.contains("| |Częstochowa 00-950 Żółkiewskiego 1 | | | |"));
    EXPECT_TRUE(printed.contains("|KP/2024/150|Spółdzielnia „Źródło” nr 150 | | | |"));
}

TEST_F(PrintedLists, PrintingAnEmptyDaySaysSoAndPrintsNothing) {
    open();
    EXPECT_TRUE(memo()->toPlainText().isEmpty());
    SharedPrinter().setOutputFileName(file("pusta.pdf"));
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    ASSERT_EQ(inst.env.prompts.texts(),
              QStringList{"Zestawienie jest puste – nie ma czego drukować."});
    EXPECT_FALSE(QFile::exists(file("pusta.pdf")));
}

TEST_F(PrintedLists, LinesWiderThanThePageOfferASmallerFontOrWrapWithoutLoss) {
    const int a = address(QStringLiteral("Zakład Gospodarki Komunalnej i Mieszkaniowej"),
                          QStringLiteral("Szczebrzeszyn"), QStringLiteral("Piastów Śląskich"));
    letter(2, a);
    open();
    child<QRadioButton>(w.get(), "rbWychodzaca")->click();
    inst.env.prompts.setNextFont(QFont(QStringLiteral("DejaVu Sans Mono"), 16));
    ASSERT_TRUE(click(w.get(), "btnCzcionka"));
    EXPECT_TRUE(inst.env.prompts.shown().empty());  // a fixed-width font: nothing to say
    EXPECT_EQ(IniReadString("Czcionka druku", "Rozmiar", {}, UserIniPath()), "16");

    // "Anuluj": nothing printed.
    SharedPrinter().setOutputFileName(file("szeroka.pdf"));
    inst.env.prompts.setNextAnswer(Answer::Cancel);
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    ASSERT_EQ(inst.env.prompts.shown().size(), 1u);
    EXPECT_TRUE(inst.env.prompts.shown().at(0).text.startsWith("Wierszy szerszych niż strona: "));
    EXPECT_EQ(inst.env.prompts.shown().at(0).buttons, Buttons::YesNoCancel);
    EXPECT_FALSE(QFile::exists(file("szeroka.pdf")));

    // "Nie": the same font; every word comes back, the wide lines broken over more than one
    // printed line.
    inst.env.prompts.setNextAnswer(Answer::No);
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    QList<QStringList> pages = pdfPages(file("szeroka.pdf"));
    ASSERT_EQ(pages.size(), 1);
    const QString all = pages.at(0).join(QLatin1Char(' '));
    int tableLines = 0;
    for (const QString& l : memoLines()) {
        if (!l.startsWith(QLatin1Char('|'))) continue;
        ++tableLines;
        EXPECT_FALSE(pages.at(0).contains(l.simplified())) << l.toStdString();
        for (const QString& word : l.split(QRegularExpression("[ |]+"), Qt::SkipEmptyParts))
            EXPECT_TRUE(all.contains(word)) << word.toStdString();
    }
    EXPECT_EQ(tableLines, 3);
    EXPECT_TRUE(pages.at(0).contains("Korespondencja z dnia :2024-03-05"));

    // "Tak": a smaller font that keeps every line of the table whole.
    inst.env.prompts.setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    pages = pdfPages(file("szeroka.pdf"));
    ASSERT_EQ(pages.size(), 1);
    QStringList expected;
    for (const QString& l : memoLines())
        if (!l.trimmed().isEmpty()) expected << l.simplified();
    EXPECT_EQ(pages.at(0), expected);
    // The font of the window and of the settings stays as chosen.
    EXPECT_EQ(memo()->font().pointSize(), 16);
}

TEST_F(PrintedLists, AProportionalFontIsToldAboutAndPrintingAsksFirst) {
    const int a = address(QStringLiteral("Wiśniewski i Syn"), QStringLiteral("Sopot"));
    letter(1, a, QStringLiteral("KP/1"));
    open();
    inst.env.prompts.setNextFont(QFont(QStringLiteral("DejaVu Serif"), 10));
    ASSERT_TRUE(click(w.get(), "btnCzcionka"));
    EXPECT_EQ(memo()->font().family(), "DejaVu Serif");
    EXPECT_EQ(IniReadString("Czcionka druku", "Nazwa", {}, UserIniPath()), "DejaVu Serif");
    ASSERT_EQ(inst.env.prompts.shown().size(), 1u);
    EXPECT_EQ(inst.env.prompts.shown().at(0).severity, Severity::Warning);
    EXPECT_TRUE(inst.env.prompts.shown().at(0).text.contains("ma znaki różnej szerokości"));

    SharedPrinter().setOutputFileName(file("prop.pdf"));
    inst.env.prompts.setNextAnswer(Answer::No);
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    EXPECT_EQ(inst.env.prompts.shown().back().buttons, Buttons::YesNo);
    EXPECT_FALSE(QFile::exists(file("prop.pdf")));

    // The next opening reads the font back from the settings.
    w.reset();
    open();
    EXPECT_EQ(memo()->font().family(), "DejaVu Serif");
    EXPECT_EQ(memo()->font().pointSize(), 10);
}

TEST_F(PrintedLists, SaveAsPdfAsksForAFileWhateverPrinterIsSetUp) {
    const int a = address(QStringLiteral("Gmina Żółkiewka"), QStringLiteral("Żółkiewka"));
    letter(2, a);
    open();
    child<QRadioButton>(w.get(), "rbWychodzaca")->click();
    SharedPrinter().setOutputFileName(file("drukarka.pdf"));
    inst.env.prompts.setNextFileName(file("poczta.pdf"));
    ASSERT_TRUE(click(w.get(), "btnPdf"));
    ASSERT_EQ(inst.env.prompts.asked().size(), 1u);
    EXPECT_EQ(inst.env.prompts.asked().at(0).caption, "Zapisz jako PDF");
    EXPECT_FALSE(QFile::exists(file("drukarka.pdf")));
    const QList<QStringList> pages = pdfPages(file("poczta.pdf"));
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages.at(0).contains("|Gmina Żółkiewka | | |"));
    // The printer set up stays as it was.
    EXPECT_EQ(SharedPrinter().outputFileName(), file("drukarka.pdf"));
}

TEST_F(PrintedLists, TheEventListOpensItFromItsPrintButton) {
    TformListaZdarzen list;
    list.Prepare(false);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    auto* button = child<QPushButton>(&list, "btnWydruk");
    EXPECT_EQ(button->toolTip(), "Wydruk zestawienia na pocztę lub potwierdzenia odbioru");
    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_EQ(d->objectName(), "Druk_lista");
        EXPECT_EQ(d->windowTitle(), "Wydruk");
        EXPECT_EQ(child<QLineEdit>(d, "edData")->text(), DateToStr(QDate::currentDate()));
        EXPECT_TRUE(d->isMaximized());
        click(d, "btnKoniec");
    });
    ASSERT_TRUE(click(&list, "btnWydruk"));
    EXPECT_TRUE(script.done());
}

}  // namespace
}  // namespace pulpex
