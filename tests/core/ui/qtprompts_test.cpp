#include "core/ui/qtprompts.h"
#include "core/ui/printer.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/ui/fonts.h"
#include "support/modal.h"

namespace pulpex {
namespace {

using test::OnModal;

QStringList buttonTexts(QMessageBox* box) {
    QStringList out;
    for (QAbstractButton* b : box->buttons())
        out << b->text();
    out.sort();
    return out;
}

QAbstractButton* buttonNamed(QWidget* w, const QString& text) {
    for (auto* b : w->findChildren<QAbstractButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// Each button set shows its Polish texts and the pressed one comes back; the text's Windows line
// breaks are real ones, and a message without caption is titled by its severity.
TEST(QtPrompts, MessageBoxesInPolish) {
    QtPrompts qp;
    struct Case {
        Buttons buttons;
        QStringList texts;
        QString press;
        Answer expected;
    };
    const std::vector<Case> cases = {
        {Buttons::Ok, {"OK"}, "OK", Answer::Ok},
        {Buttons::OkCancel, {"Anuluj", "OK"}, "Anuluj", Answer::Cancel},
        {Buttons::YesNo, {"&Nie", "&Tak"}, "&Nie", Answer::No},
        {Buttons::YesNoCancel, {"&Nie", "&Tak", "Anuluj"}, "&Tak", Answer::Yes},
        {Buttons::AbortRetryIgnore, {"Ignoruj", "Ponów", "Przerwij"}, "Ponów", Answer::Retry},
    };
    for (const Case& c : cases) {
        QStringList seen;
        QString text, title;
        OnModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            seen = buttonTexts(box);
            text = box->text();
            title = box->windowTitle();
            buttonNamed(box, c.press)->click();
        });
        EXPECT_EQ(qp.message(Severity::Warning, "Pierwsza\r\nDruga\rTrzecia", c.buttons, {}),
                  c.expected);
        QStringList want = c.texts;
        want.sort();
        EXPECT_EQ(seen, want);
        EXPECT_EQ(text, "Pierwsza\nDruga\nTrzecia");
        EXPECT_EQ(title, "Ostrzeżenie");
    }
    QString title;
    OnModal([&](QWidget* w) {
        title = w->windowTitle();
        // Escape on Yes/No/Cancel is the cancel, never the yes.
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(qp.message(Severity::Confirmation, "Usunąć?", Buttons::YesNoCancel, "Pytanie"),
              Answer::Cancel);
    EXPECT_EQ(title, "Pytanie");
}

TEST(QtPrompts, InputBoxReturnsTypedTextOrKeepsValueOnCancel) {
    QtPrompts qp;
    QString shownValue, label;
    OnModal([&](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        shownValue = edit->text();
        label = qobject_cast<QInputDialog*>(w)->labelText();
        edit->selectAll();
        QTest::keyClicks(edit, "Za");
        edit->insert("żółć");  // QTest types ASCII only
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QString value = "stara";
    EXPECT_TRUE(qp.inputBox("Nazwa", "Podaj nazwę:", value));
    EXPECT_EQ(value, "Zażółć");
    EXPECT_EQ(shownValue, "stara");
    EXPECT_EQ(label, "Podaj nazwę:");

    QStringList texts;
    OnModal([&](QWidget* w) {
        for (auto* b : w->findChildren<QPushButton*>())
            texts << b->text();
        QTest::keyClicks(w->findChild<QLineEdit*>(), "xyz");
        buttonNamed(w, "Anuluj")->click();
    });
    EXPECT_FALSE(qp.inputBox("Nazwa", "Podaj nazwę:", value));
    EXPECT_EQ(value, "Zażółć");
    EXPECT_TRUE(texts.contains("OK"));
    EXPECT_TRUE(texts.contains("Anuluj"));
}

// The file names the open dialog lists under its filter, once its model has read the directory.
QStringList listedFiles(QFileDialog* dlg, const QString& dir, int expected) {
    auto* model = dlg->findChild<QFileSystemModel*>();
    QStringList names;
    // The names are compared by the caller, so a timeout shows there.
    (void)QTest::qWaitFor(
        [&] {
            names.clear();
            const QModelIndex root = model->index(dir);
            for (int r = 0; r < model->rowCount(root); ++r) {
                const QModelIndex i = model->index(r, 0, root);
                if (!model->isDir(i)) names << model->fileName(i);
            }
            return names.size() >= expected;
        },
        3000);
    names.sort();
    return names;
}

// Windows matches "*.txt" against "LISTA.TXT" too; the dialogs must do the same.
TEST(QtPrompts, FileDialogsMatchExtensionsInAnyLetterCase) {
    QTemporaryDir dir;
    for (const char* n : {"LISTA.TXT", "b.txt", "c.Txt", "d.doc"}) {
        QFile f(dir.filePath(n));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QtPrompts qp;
    QStringList listed;
    OnModal([&](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_TRUE(dlg->testOption(QFileDialog::DontUseNativeDialog));
        listed = listedFiles(dlg, dir.path(), 3);
        dlg->selectFile(dir.filePath("LISTA.TXT"));
        static_cast<QDialog*>(dlg)->accept();
    });
    EXPECT_EQ(qp.openFileName("Otwórz", "Pliki tekstowe (*.txt)|*.txt|Wszystkie pliki (*.*)|*.*",
                              dir.path()),
              dir.filePath("LISTA.TXT"));
    EXPECT_EQ(listed, (QStringList{"LISTA.TXT", "b.txt", "c.Txt"}));

    // Save: a typed name without extension gets the default one; cancel gives an empty name.
    OnModal([&](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText("rejestr");
        qobject_cast<QDialog*>(w)->accept();
    });
    EXPECT_EQ(qp.saveFileName("Zapisz", "Pliki tekstowe (*.txt)|*.txt", dir.path(), "txt"),
              dir.filePath("rejestr.txt"));
    OnModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(qp.saveFileName("Zapisz", "Pliki tekstowe (*.txt)|*.txt", dir.path(), "txt"), "");
}

TEST(QtPrompts, FontDialogHandsBackTheChosenFont) {
    QtPrompts qp;
    OnModal([](QWidget* w) {
        auto* dlg = qobject_cast<QFontDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->setCurrentFont(QFont("DejaVu Sans Mono", 14));
        static_cast<QDialog*>(dlg)->accept();
    });
    QFont font("DejaVu Sans", 9);
    EXPECT_TRUE(qp.chooseFont(font));
    EXPECT_EQ(font.family(), "DejaVu Sans Mono");
    EXPECT_EQ(font.pointSize(), 14);

    OnModal([](QWidget* w) {
        qobject_cast<QFontDialog*>(w)->setCurrentFont(QFont("DejaVu Serif", 20));
        qobject_cast<QDialog*>(w)->reject();
    });
    EXPECT_FALSE(qp.chooseFont(font));
    EXPECT_EQ(font.family(), "DejaVu Sans Mono");
}

// Printer setup works on the one shared printer, which printouts use afterwards.
TEST(QtPrompts, PrinterSetupEditsTheSharedPrinter) {
    QtPrompts qp;
    QPrinter* seen = nullptr;
    OnModal([&](QWidget* w) {
        auto* dlg = qobject_cast<QPrintDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        seen = dlg->printer();
        dlg->accept();
    });
    EXPECT_TRUE(qp.printerSetup());
    EXPECT_EQ(seen, &SharedPrinter());
    OnModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(qp.printerSetup());
}

// Settings written by the older program name "Fixedsys"; it must come out monospaced, and a font
// the system has stays itself. Monospacing is judged by what the user sees: a font's own flag
// says false for some monospaced fonts (Noto Sans Mono).
TEST(QtPrompts, StoredFixedsysIsMonospaced) {
    const QFont fixedsys = StoredFont("Fixedsys", 10);
    EXPECT_EQ(fixedsys.family(), "Fixedsys");  // the settings keep their name
    EXPECT_EQ(QFontInfo(fixedsys).pointSize(), 10);
    const QFontMetrics fixed(fixedsys);
    EXPECT_EQ(fixed.horizontalAdvance("iiii"), fixed.horizontalAdvance("WWWW"));
    // Without a font of that name the system's fixed font stands in for it.
    ASSERT_FALSE(QFontDatabase::hasFamily("Fixedsys"));
    EXPECT_EQ(QFontInfo(fixedsys).family(),
              QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family());
    const QFont sans = StoredFont("DejaVu Sans", 12);
    EXPECT_EQ(QFontInfo(sans).family(), "DejaVu Sans");
    const QFontMetrics proportional(sans);
    EXPECT_LT(proportional.horizontalAdvance("iiii"), proportional.horizontalAdvance("WWWW"));
}

TEST(QtPrompts, ScriptedFontsAnswerInOrder) {
    ScriptedPrompts sp;
    sp.setNextFont(QFont("DejaVu Sans Mono", 11));
    sp.setNextFontCancel();
    QFont f("DejaVu Sans", 9);
    EXPECT_TRUE(prompts().chooseFont(f));
    EXPECT_EQ(f.family(), "DejaVu Sans Mono");
    EXPECT_FALSE(prompts().chooseFont(f));
    EXPECT_FALSE(prompts().chooseFont(f));
    EXPECT_EQ(f.pointSize(), 11);
    ASSERT_EQ(sp.asked().size(), 3u);
    EXPECT_EQ(sp.asked()[0].kind, ScriptedPrompts::Kind::Font);
}

TEST(QtPrompts, InstallsItselfAndRestoresThePrevious) {
    ScriptedPrompts sp;
    {
        QtPrompts qp;
        EXPECT_EQ(&prompts(), &qp);
    }
    EXPECT_EQ(&prompts(), &sp);
}

// A critical error ends the running loops with a failure code, and ends the process when no loop
// runs. Both leave the process unable to run another loop, so each runs in a child process.
TEST(QtPrompts, QuitEndsLoopsOrTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QtPrompts qp;
            QEventLoop loop;
            QTimer::singleShot(0, [&] { qp.quitApplication(); });
            const int rc = loop.exec();
            std::_Exit(rc == EXIT_FAILURE ? 7 : 8);
        },
        ::testing::ExitedWithCode(7), "");
    EXPECT_EXIT(
        {
            QtPrompts qp;
            qp.quitApplication();
            std::_Exit(9);
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

}  // namespace
}  // namespace pulpex
