#include "register/ui/w_tresc.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "addresses/adresy.h"
#include "core/ui/printer.h"
#include "core/utils.h"
#include "register/zdarzen.h"
#include "support/installation.h"
#include "support/modal.h"
#include "support/widgets.h"
#include "tables/engine/table.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::typeText;

// The text of a PDF file as pdftotext reads it (pages separated by form feeds).
QString pdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

class ContentEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
        // Each test prints to a file of its own; none reaches a real printer.
        SharedPrinter().setOutputFormat(QPrinter::PdfFormat);
        SharedPrinter().setOutputFileName({});
    }
    void TearDown() override { SharedPrinter().setOutputFileName({}); }

    int addAddress() {
        TRec_Adresy a;
        a.AD_NAZW = QStringLiteral("ŻÓŁKIEWSKI");
        a.AD_IMIE = QStringLiteral("STANISŁAW");
        a.AD_MIAS = QStringLiteral("Łódź");
        a.AD_KOD = QStringLiteral("90-001");
        a.AD_ULIC = QStringLiteral("Piotrkowska");
        a.AD_DOM = QStringLiteral("12");
        a.AD_TEL1 = QStringLiteral("42 630 00 00");
        OpenForCall open(*TblAdresy);
        TblAdresy->OT_AddNew(a.ID, a);
        return a.ID;
    }
    int addEvent(const QString& content, int address = 0, int kind = 1) {
        TRec_Zdarzenia z;
        z.ZD_NMR = QStringLiteral("1/2024");
        z.ZD_TRE.SetText(content);
        z.ZD_ADR = address;
        z.ZD_TYP = kind;
        OpenForCall open(*TblZdarzenia);
        TblZdarzenia->OT_AddNew(z.ID, z);
        return z.ID;
    }
    QString storedContent(int id) {
        TRec_Zdarzenia z;
        OpenForCall open(*TblZdarzenia);
        EXPECT_TRUE(TblZdarzenia->ReadRecordByID(id, z));
        return z.ZD_TRE.GetText();
    }
    void open(int mode, int id) {
        w = std::make_unique<TformEdytorTresciZdarzenia>();
        w->Prepare(mode, id);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    QPlainTextEdit* memo() { return child<QPlainTextEdit>(w.get(), "memTresc"); }
    QString file(const QString& name) { return inst.env.dir.path() + QLatin1Char('/') + name; }
    // Prints the memo to a PDF file and gives its text back.
    QString printToPdf(const QString& name) {
        SharedPrinter().setOutputFileName(file(name));
        EXPECT_TRUE(click(w.get(), "btnDrukowanie"));
        EXPECT_TRUE(QFile::exists(file(name)));
        return pdfText(file(name));
    }

    test::TestInstallation inst;
    std::unique_ptr<TformEdytorTresciZdarzenia> w;
};

TEST_F(ContentEditor, AddressButtonsInsertTheCorrespondentAtTheCaretAndLeavingSaves) {
    const int id = addEvent(QString(), addAddress());
    open(1, id);
    EXPECT_EQ(w->windowTitle(), "Okno edycyjne");
    EXPECT_TRUE(child<QWidget>(w.get(), "panAdres")->isVisible());
    EXPECT_EQ(child<QPushButton>(w.get(), "btnN")->toolTip(), "Nazwiwsko i imie");

    typeText(memo(), QStringLiteral("Szanowny Panie "));
    ASSERT_TRUE(click(w.get(), "btnN"));
    QTest::keyClick(memo(), Qt::Key_Return);
    ASSERT_TRUE(click(w.get(), "btnK"));
    typeText(memo(), QStringLiteral(" "));
    ASSERT_TRUE(click(w.get(), "btnM"));
    ASSERT_TRUE(click(w.get(), "btnL"));  // no flat number: nothing inserted
    typeText(memo(), QStringLiteral(", ul. "));
    ASSERT_TRUE(click(w.get(), "btnU"));
    typeText(memo(), QStringLiteral(" "));
    ASSERT_TRUE(click(w.get(), "btnD"));
    const QString expected =
        QStringLiteral("Szanowny Panie STANISŁAW ŻÓŁKIEWSKI\n90-001 Łódź, ul. Piotrkowska 12");
    EXPECT_EQ(memo()->toPlainText(), expected);

    // Esc leaves the window like "Koniec": the content is saved either way.
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QTRY_VERIFY(!w->isVisible());
    EXPECT_EQ(storedContent(id), expected);
}

TEST_F(ContentEditor, ModeTwoHasNoAddressButtonsAndA35PixelToolBar) {
    const int id = addEvent(QStringLiteral("Notatka służbowa"), addAddress(), 3);
    open(2, id);
    EXPECT_FALSE(child<QWidget>(w.get(), "panAdres")->isVisible());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnN")->isVisible());
    EXPECT_EQ(child<QWidget>(w.get(), "ToolBar1")->height(), 35);
    EXPECT_EQ(memo()->toPlainText(), "Notatka służbowa");
    memo()->moveCursor(QTextCursor::End);
    typeText(memo(), QStringLiteral(" – pilne"));
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    QTRY_VERIFY(!w->isVisible());
    EXPECT_EQ(storedContent(id), "Notatka służbowa – pilne");
}

TEST_F(ContentEditor, TextFilesWithPolishLettersLoadAndSave) {
    const int id = addEvent(QStringLiteral("stara treść"));
    open(1, id);

    // A UTF-8 file replaces the content and is stored at once.
    const QString polish = QStringLiteral("Zażółć gęślą jaźń\nŹDŹBŁO – ąćęłńóśźż\n\nkoniec");
    QFile utf8(file("tresc.txt"));
    ASSERT_TRUE(utf8.open(QIODevice::WriteOnly));
    utf8.write(polish.toUtf8());
    utf8.close();
    inst.env.prompts.setNextFileName(file("tresc.txt"));
    ASSERT_TRUE(click(w.get(), "btnWczytanie"));
    EXPECT_EQ(inst.env.prompts.asked().back().filter,
              "Pliki tekstowe (*.txt)|*.txt|Pliki wszystkie (*.*)|*.*");
    EXPECT_EQ(memo()->toPlainText(), polish);
    EXPECT_EQ(storedContent(id), polish);

    // A file from the older program in Windows-1250 with CR LF.
    QFile cp1250(file("stary.txt"));
    ASSERT_TRUE(cp1250.open(QIODevice::WriteOnly));
    cp1250.write("Pa\xb3" "ac\r\n\xaf\xf3\xb3" "w\r\n");
    cp1250.close();
    inst.env.prompts.setNextFileName(file("stary.txt"));
    ASSERT_TRUE(click(w.get(), "btnWczytanie"));
    EXPECT_EQ(memo()->toPlainText(), "Pałac\nŻółw\n");

    // Saving writes UTF-8; a name without an extension gets ".txt".
    inst.env.prompts.setNextFileName(file("zapis.txt"));
    ASSERT_TRUE(click(w.get(), "btnZapis"));
    EXPECT_EQ(inst.env.prompts.asked().back().defaultSuffix, "txt");
    QFile saved(file("zapis.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), "Pałac\nŻółw\n");

    // A file that cannot be read is told and changes nothing.
    inst.env.prompts.setNextFileName(file("brak.txt"));
    ASSERT_TRUE(click(w.get(), "btnWczytanie"));
    ASSERT_FALSE(inst.env.prompts.texts().isEmpty());
    EXPECT_TRUE(inst.env.prompts.texts().back().startsWith("Nie można odczytać pliku"));
    EXPECT_EQ(memo()->toPlainText(), "Pałac\nŻółw\n");
}

TEST_F(ContentEditor, PrintingToPdfGivesEveryLineBackInTheMemoFont) {
    const QString content = QStringLiteral(
        "Szanowni Państwo,\n\nw odpowiedzi na pismo z dnia "
        "5 marca uprzejmie informujemy…\nZ poważaniem");
    const int id = addEvent(content);
    open(1, id);
    // No settings: the memo shows "Fixedsys" (a monospace font), 9 points, black.
    EXPECT_EQ(memo()->font().family(), "Fixedsys");
    EXPECT_EQ(memo()->font().pointSize(), 9);
    EXPECT_EQ(memo()->palette().color(QPalette::Text), QColor(0, 0, 0));

    const QString text = printToPdf("druk.pdf");
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        l = l.trimmed();
    EXPECT_TRUE(lines.contains("Szanowni Państwo,")) << text.toStdString();
    EXPECT_TRUE(lines.contains("w odpowiedzi na pismo z dnia 5 marca uprzejmie informujemy…"));
    EXPECT_TRUE(lines.contains("Z poważaniem"));
    // The empty line keeps its place between the two.
    const qsizetype first = lines.indexOf("Szanowni Państwo,");
    EXPECT_GE(lines.indexOf("w odpowiedzi na pismo z dnia 5 marca uprzejmie informujemy…"),
              first + 2);
}

TEST_F(ContentEditor, ALongTextGoesOnOverSeveralPagesAndLongLinesWrap) {
    QStringList lines;
    for (int i = 1; i <= 150; ++i)
        lines << QStringLiteral("Wiersz %1 – źdźbło").arg(i);
    QStringList words;
    for (int i = 1; i <= 80; ++i)
        words << QStringLiteral("słowo%1").arg(i);
    lines << words.join(QLatin1Char(' '));  // far wider than a page
    const int id = addEvent(lines.join(QLatin1Char('\n')));
    open(2, id);

    const QString text = printToPdf("dlugi.pdf");
    EXPECT_GT(text.count(QLatin1Char('\f')), 1) << "more than one page";
    QStringList printed = text.split(QRegularExpression(QStringLiteral("[\\n\\f]")));
    for (QString& l : printed)
        l = l.trimmed();
    for (int i = 1; i <= 150; ++i)
        EXPECT_TRUE(printed.contains(QStringLiteral("Wiersz %1 – źdźbło").arg(i))) << i;
    // Every word of the long line is printed, in order, on more than one line.
    const QString all = printed.join(QLatin1Char(' ')).simplified();
    EXPECT_TRUE(all.contains(words.join(QLatin1Char(' '))));
    EXPECT_FALSE(printed.contains(words.join(QLatin1Char(' '))));
}

TEST_F(ContentEditor, APdfPrinterWithoutAFileAsksForOne) {
    const int id = addEvent(QStringLiteral("Treść do PDF"));
    open(1, id);
    inst.env.prompts.setNextFileName(file("zapytany.pdf"));
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    ASSERT_FALSE(inst.env.prompts.asked().empty());
    EXPECT_EQ(inst.env.prompts.asked().back().caption, "Zapisz jako PDF");
    EXPECT_TRUE(pdfText(file("zapytany.pdf")).contains("Treść do PDF"));
    // The next printout asks again instead of writing over the file; cancelled, nothing printed.
    EXPECT_TRUE(SharedPrinter().outputFileName().isEmpty());
    ASSERT_TRUE(click(w.get(), "btnDrukowanie"));
    EXPECT_EQ(inst.env.prompts.asked().size(), 2u);
}

TEST_F(ContentEditor, SaveAsPdfAsksForAFileAlsoWhenAPrinterFileIsSetUp) {
    const int id = addEvent(QStringLiteral("Zażółć gęślą jaźń"));
    open(1, id);
    SharedPrinter().setOutputFileName(file("drukarka.pdf"));
    inst.env.prompts.setNextFileName(file("kopia.pdf"));
    ASSERT_TRUE(click(w.get(), "btnPdf"));
    ASSERT_EQ(inst.env.prompts.asked().size(), 1u);
    EXPECT_EQ(inst.env.prompts.asked().at(0).caption, "Zapisz jako PDF");
    EXPECT_TRUE(pdfText(file("kopia.pdf")).contains("Zażółć gęślą jaźń"));
    EXPECT_FALSE(QFile::exists(file("drukarka.pdf")));
}

TEST_F(ContentEditor, TheChosenFontIsKeptAlsoWhenTheDialogIsCancelled) {
    const int id = addEvent(QStringLiteral("x"));
    open(1, id);
    inst.env.prompts.setNextFont(QFont(QStringLiteral("DejaVu Serif"), 14));
    ASSERT_TRUE(click(w.get(), "btnCzcionka"));
    EXPECT_EQ(memo()->font().family(), "DejaVu Serif");
    EXPECT_EQ(IniReadString("Czcionka memo", "Nazwa", {}, UserIniPath()), "DejaVu Serif");
    EXPECT_EQ(IniReadString("Czcionka memo", "Rozmiar", {}, UserIniPath()), "14");
    EXPECT_EQ(IniReadString("Czcionka memo", "Kolor", {}, UserIniPath()), "0");

    // Cancelled: the font shown is written again.
    ASSERT_TRUE(IniWriteString("Czcionka memo", "Rozmiar", "11", UserIniPath()));
    inst.env.prompts.setNextFontCancel();
    ASSERT_TRUE(click(w.get(), "btnCzcionka"));
    EXPECT_EQ(IniReadString("Czcionka memo", "Rozmiar", {}, UserIniPath()), "14");

    // A window opened later reads the kept font and colour (0x0000FF is red).
    ASSERT_TRUE(IniWriteString("Czcionka memo", "Kolor", "255", UserIniPath()));
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    open(2, id);
    EXPECT_EQ(memo()->font().family(), "DejaVu Serif");
    EXPECT_EQ(memo()->font().pointSize(), 14);
    EXPECT_EQ(memo()->palette().color(QPalette::Text), QColor(255, 0, 0));
}

TEST_F(ContentEditor, ARowEditedElsewhereIsToldAndShownReadOnly) {
    const int id = addEvent(QStringLiteral("treść z innego stanowiska"));
    auto other = engine::Table::open((inst.env.dataDir() + "ZDARZ.DBF").toStdString());
    other->setIndex("ZDARZ_ID");
    ASSERT_TRUE(other->findKey(engine::Value{std::int64_t{id}}));
    other->edit();

    open(1, id);
    ASSERT_EQ(inst.env.prompts.texts().size(), 1);
    EXPECT_TRUE(inst.env.prompts.texts()[0].startsWith(
        "Treść tego zdarzenia jest teraz zmieniana na innym stanowisku; okno pokaże ją tylko do "
        "odczytu.\r\nRekord jest zablokowany przez innego użytkownika"));
    EXPECT_TRUE(w->ReadOnly());
    EXPECT_TRUE(memo()->isReadOnly());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnWczytanie")->isEnabled());
    typeText(memo(), QStringLiteral("zmiana"));
    EXPECT_EQ(memo()->toPlainText(), "treść z innego stanowiska");
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    QTRY_VERIFY(!w->isVisible());
    EXPECT_EQ(inst.env.prompts.texts().size(), 1);  // leaving says nothing more
    other->cancel();
    EXPECT_EQ(storedContent(id), "treść z innego stanowiska");

    // Once the other workstation has let go, the editor takes the row.
    open(1, id);
    EXPECT_FALSE(w->ReadOnly());
}

TEST_F(ContentEditor, ATextTheTableCannotHoldKeepsTheWindowOpenWithIt) {
    const int id = addEvent(QStringLiteral("Treść"));
    open(2, id);
    memo()->moveCursor(QTextCursor::End);
    typeText(memo(), QStringLiteral(" 漢字"));
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(inst.env.prompts.texts().isEmpty());
    EXPECT_EQ(memo()->toPlainText(), "Treść 漢字");
    EXPECT_EQ(storedContent(id), "Treść");
    // Taken out again, the text is saved on leaving.
    memo()->moveCursor(QTextCursor::End);
    QTest::keyClick(memo(), Qt::Key_Backspace);
    QTest::keyClick(memo(), Qt::Key_Backspace);
    QTest::keyClick(memo(), Qt::Key_Backspace);
    ASSERT_TRUE(click(w.get(), "btnKoniec"));
    QTRY_VERIFY(!w->isVisible());
    EXPECT_EQ(storedContent(id), "Treść");
}

TEST_F(ContentEditor, TheEntryFunctionShowsTheEditorModally) {
    const int id = addEvent(QStringLiteral("Pismo"), addAddress());
    test::ModalScript script;
    script.then([](QWidget* d) {
        auto* m = child<QPlainTextEdit>(d, "memTresc");
        m->moveCursor(QTextCursor::End);
        typeText(m, QStringLiteral(" do "));
        click(d, "btnT");
        click(d, "btnKoniec");
    });
    EdytorTresciZdarzenia(nullptr, 1, id);
    EXPECT_EQ(storedContent(id), "Pismo do 42 630 00 00");
}

}  // namespace
}  // namespace pulpex
