#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <QTextBrowser>
#include "support/qtry.h"

#include "controls/data/dataset.h"
#include "core/pulpex_system.h"
#include "core/ui/am_confg.h"
#include "core/ui/help.h"
#include "core/ui/w_glow.h"
#include "core/utils.h"
#include "planner/alarms.h"
#include "planner/note_dz.h"
#include "planner/ui/alarm_check.h"
#include "support/modal.h"
#include "support/testenv.h"
#include "support/widgets.h"
#include "tables/engine/table.h"
#include "tables/globals.h"
#include "users/ui/user_lst.h"

namespace pulpex {
namespace {

using test::click;
using test::ModalScript;

ModalScript::Step choose(const QString& name) {
    return [name](QWidget* w) {
        auto* list = qobject_cast<TformUserList*>(w);
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(list->EmployeeQuery->Locate("FNAME", name));
        list->btnOk->click();
    };
}
ModalScript::Step type(const QString& text) {
    return [text](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>("edPassword");
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, text);
        w->findChild<QPushButton*>("btnOk")->click();
    };
}

// What the diagnostics table holds: OPIS1 of every row, in order.
QStringList diagTexts(const QString& dataDir) {
    QStringList texts;
    auto t = engine::Table::open((dataDir + "DIAGS.DBF").toStdString());
    for (t->first(); !t->eof(); t->next())
        texts << QString::fromStdString(t->asString("OPIS1"));
    return texts;
}

// A digest of every file under `dir` except those named in `skip`.
QMap<QString, QByteArray> digests(const QString& dir, const QStringList& skip) {
    QMap<QString, QByteArray> m;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (skip.contains(QFileInfo(path).fileName(), Qt::CaseInsensitive)) continue;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        m[path] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    return m;
}

class MainWindow : public ::testing::Test {
  protected:
    // Shows the window and waits until the start sequence has either succeeded or closed it.
    void start(TOknoGlowne& w) {
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(w.started() || !w.isVisible(), 20000);
    }
    test::TestSystem env{false};
};

TEST_F(MainWindow, FreshInstallationStartsLogsInAndClosesCleanly) {
    ModalScript script;
    script.then(choose("ADMINISTRATOR")).then(type(""));
    {
        TOknoGlowne w(env.mainDir());
        int afterStart = 0;
        w.afterStart = [&] { ++afterStart; };
        start(w);
        ASSERT_TRUE(w.started()) << env.prompts.texts().join("|").toStdString();
        EXPECT_TRUE(script.done());
        EXPECT_EQ(afterStart, 1);
        EXPECT_EQ(w.system()->TableCount(), TPulpex_System::kTables);
        EXPECT_EQ(w.system()->CurrentUserName(), "ADMINISTRATOR");
        EXPECT_EQ(w.lblUzytkownik->text(), "Użytkownik: ADMINISTRATOR");
        EXPECT_EQ(QDir(env.dataDir()).entryList({"*.DBF"}).size(), TPulpex_System::kTables);

        // Activating the window again (after a dialog) asks for no second login.
        QApplication::setActiveWindow(&w);
        QTest::qWait(50);
        EXPECT_EQ(afterStart, 1);

        w.close();
        EXPECT_EQ(w.system()->TableCount(), 0);
    }
    EXPECT_TRUE(env.prompts.texts().isEmpty()) << env.prompts.texts().join("|").toStdString();
    const QStringList diags = diagTexts(env.dataDir());
    ASSERT_EQ(diags.size(), 3) << diags.join("|").toStdString();
    EXPECT_EQ(diags[0], "Logowanie do systemu.");
    EXPECT_TRUE(diags[1].startsWith("Poczta: biblioteka curl ")) << diags[1].toStdString();
    EXPECT_EQ(diags[2], "Zamknięcie systemu");
    EXPECT_EQ(IniReadString("config", "register_nnocod", "", env.mainDir() + "PULPEX.INI"), "nie");
    // Released: every table can now be opened alone.
    for (const QString& name : QDir(env.dataDir()).entryList({"*.DBF"})) {
        engine::Table::OpenOptions alone;
        alone.exclusive = true;
        EXPECT_NO_THROW(engine::Table::open((env.dataDir() + name).toStdString(), alone))
            << name.toStdString();
    }

    // A second start finds everything as it was left, and the first-run check does not repeat.
    const auto before = digests(env.mainDir(), {"DIAGS.DBF", "DIAGS.MDX", "DIAGS.DBT"});
    script.then(choose("ADMINISTRATOR")).then(type(""));
    {
        TOknoGlowne w(env.mainDir());
        start(w);
        ASSERT_TRUE(w.started());
        w.close();
    }
    EXPECT_EQ(digests(env.mainDir(), {"DIAGS.DBF", "DIAGS.MDX", "DIAGS.DBT"}), before);
    EXPECT_EQ(diagTexts(env.dataDir()).mid(3),
              (QStringList{"Logowanie do systemu.", "Zamknięcie systemu"}));
}

TEST_F(MainWindow, FailedStartsSayTheProgramCannotRun) {
    // Three wrong passwords.
    {
        ModalScript script;
        script.then(choose("ADMINISTRATOR")).then(type("a")).then(type("b")).then(type("c"));
        TOknoGlowne w(env.mainDir());
        start(w);
        EXPECT_FALSE(w.started());
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(env.prompts.texts(),
                  (QStringList{"Podano błędne hasło.", "Podano błędne hasło.",
                               "Podano błędne hasło.", "Uruchomienie programu nie jest możliwe"}));
        // The tables were checked, so they stay; nobody logged in and nothing was left open.
        EXPECT_EQ(w.system()->CurrentUserID(), 0);
    }
    EXPECT_EQ(diagTexts(env.dataDir()).filter("Logowanie").size(), 0);
    env.prompts.clear();

    // A newer release was run here before.
    IniWriteString("CONFIG", "RELEASE", "4", env.mainDir() + "PULPEX.INI");
    {
        TOknoGlowne w(env.mainDir());
        start(w);
        EXPECT_FALSE(w.started());
        EXPECT_EQ(env.prompts.texts(),
                  (QStringList{"Błędna wersja systemu !\r\n\rPróba zainstalowania wersji starszej "
                               "niż ostatnio uruchamiana !!!",
                               "Uruchomienie programu nie jest możliwe"}));
    }
    EXPECT_EQ(IniReadString("CONFIG", "RELEASE", "", env.mainDir() + "PULPEX.INI"), "4");
}

TEST_F(MainWindow, DataDirectoryThatCannotBeMadeLeavesNothingBehind) {
    // The installation directory lies under a plain file.
    QFile blocker(env.dir.path() + "/plik");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString mainDir = env.dir.path() + "/plik/pulpex/";
    const auto before = digests(env.dir.path(), {});
    {
        TOknoGlowne w(mainDir);
        start(w);
        EXPECT_FALSE(w.started());
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_EQ(env.prompts.texts(), QStringList{"Uruchomienie programu nie jest możliwe"});
    EXPECT_EQ(digests(env.dir.path(), {}), before);
}

TEST_F(MainWindow, ButtonsAndCaptions) {
    TOknoGlowne w(env.mainDir());
    // Only the buttons whose windows exist, with their exact captions.
    QStringList shown;
    for (QPushButton* b : w.findChildren<QPushButton*>())
        shown << b->objectName() + "=" + b->text();
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"btnAdresy=         Baza &adresów         ",
                                  "btnKonfiguracja=           K&onfiguracja           ",
                                  "btnKoniec=&Koniec", "btnPoczta= &Poczta email",
                                  "btnSeryjna= Ko&respondencja seryjna",
                                  "btnSprawy=            &Sprawy               ",
                                  "btnTerminarz=            &Terminarz            ", "btnWWW=www",
                                  "btnZdarzenia=         &Zdarzenia             "}));
    EXPECT_EQ(w.lblPomoc->text(), "F1 - Pomoc");
    EXPECT_EQ(w.lblPomoc->toolTip(),
              "Naciśnięcie w dowolnym miejscu programu klawisz F1 wyświetli plik pomocy.");
    EXPECT_EQ(HelpContextOf(&w), kHelpMainWindow);
    EXPECT_EQ(HelpContextOf(w.btnKoniec), kHelpMainWindow);
}

TEST_F(MainWindow, SprawyOpensTheCasesWindow) {
    ModalScript script;
    script.then(choose("ADMINISTRATOR")).then(type(""));
    TOknoGlowne w(env.mainDir());
    start(w);
    ASSERT_TRUE(w.started());
    QString title;
    script.then([&](QWidget* d) {
        title = d->windowTitle();
        click(d, "btnKoniec");
    });
    ASSERT_TRUE(click(&w, "btnSprawy"));
    EXPECT_TRUE(script.done());
    EXPECT_EQ(title, "Sprawy");
    w.close();
}

TEST_F(MainWindow, PocztaEmailOpensTheMailWindow) {
    ModalScript script;
    script.then(choose("ADMINISTRATOR")).then(type("")).then([](QWidget* d) {
        EXPECT_EQ(d->objectName(), "formMailEdit");
        EXPECT_EQ(d->windowTitle(), "Obsługa poczty elektronicznej");
        click(d, "btnCancel");
    });
    TOknoGlowne w(env.mainDir());
    start(w);
    ASSERT_TRUE(w.started());
    ASSERT_TRUE(click(&w, "btnPoczta"));
    EXPECT_TRUE(script.done());
    w.close();
}

TEST_F(MainWindow, TodaysNoteOpensThePlanBeforeTheAlarmsRing) {
    // The installation the window starts on, with a note for today and an alarm due since
    // midnight.
    {
        TPulpex_System sys(env.mainDir());
        sys.probeDir = env.dir.path();
        ASSERT_TRUE(sys.CheckTables());
        TRec_Notatki note;
        note.NT_OPI.SetText("Zebranie zarządu");
        int id = 0;
        TblNotatki->OT_AddNew(id, note);
        TRec_Alarmy alarm;
        alarm.ALR_GDZ = QTime(0, 0, 0);
        alarm.ALR_OPI.SetText("Telefon do urzędu");
        id = 0;
        TblAlarmy->OT_AddNew(id, alarm);
        sys.ShutdownTables();
    }
    QStringList order;
    bool timerStoppedDuringAlarm = false;
    TOknoGlowne w(env.mainDir());
    ModalScript script;
    script.then(choose("ADMINISTRATOR"))
        .then(type(""))
        .then([&](QWidget* plan) {
            order << plan->objectName();
            plan->findChild<QPushButton*>("btnClose")->click();
        })
        .then([&](QWidget* clock) {
            order << clock->objectName();
            timerStoppedDuringAlarm = !w.alarmCheck()->timer()->isActive();
            clock->findChild<QPushButton*>("BitBtn1")->click();
        });
    start(w);
    ASSERT_TRUE(w.started());
    QTRY_VERIFY(script.done());
    QTRY_VERIFY(w.alarmCheck()->timer()->isActive());
    EXPECT_EQ(order, (QStringList{"okno_plan", "d_notatka"}));
    EXPECT_TRUE(timerStoppedDuringAlarm);
    w.close();
    EXPECT_FALSE(w.alarmCheck()->timer()->isActive());
}

TEST(MainWindowCaption, WebButtonCaptionScrollsAndWraps) {
    EXPECT_EQ(WwwCaption(1), " WWW * In");
    EXPECT_EQ(WwwCaption(2), "WWW * Int");
    const int n = QString(" WWW * Internet * Przeglądarka").size();
    EXPECT_EQ(WwwCaption(n), "a WWW * I");  // the last character, then the start again
    EXPECT_EQ(WwwCaption(n - 3), "arka WWW ");
    EXPECT_EQ(NextWwwPosition(1), 2);
    EXPECT_EQ(NextWwwPosition(n), 1);
    int p = 1;
    for (int i = 0; i < n; ++i)
        p = NextWwwPosition(p);
    EXPECT_EQ(p, 1);
}

TEST_F(MainWindow, F1OpensTheTopicOfTheWindowInFocus) {
    InstallHelpKey();
    ModalScript script;
    script.then(choose("ADMINISTRATOR")).then(type(""));
    TOknoGlowne w(env.mainDir());
    start(w);
    ASSERT_TRUE(w.started());
    auto source = [] {
        auto* help = HelpWindow();
        return help ? help->findChild<QTextBrowser*>("HelpText")->source().toString() : QString();
    };

    w.activateWindow();
    w.btnKoniec->setFocus();
    QTest::keyClick(w.btnKoniec, Qt::Key_F1);
    QTRY_COMPARE(source(), QString("qrc:/help/999.html"));
    EXPECT_TRUE(
        HelpWindow()->findChild<QTextBrowser*>("HelpText")->toPlainText().contains("Okno główne"));

    // Inside the configuration window (modal), its own topic; the help is usable above it.
    TConfig config(&w);
    QString seen;
    Qt::WindowModality modality = Qt::NonModal;
    test::OnModal([&](QWidget* dlg) {
        QTest::keyClick(config.edSymbol, Qt::Key_F1);
        seen = source();
        modality = HelpWindow()->windowModality();
        HelpWindow()->close();
        static_cast<QDialog*>(dlg)->reject();
    });
    config.Execute();
    EXPECT_EQ(seen, "qrc:/help/100.html");
    EXPECT_EQ(modality, Qt::ApplicationModal);

    // Every topic page exists and names its title; unknown topics lead to the contents.
    for (int topic : kHelpTopics)
        EXPECT_NE(HelpPage(topic), ":/help/index.html") << topic;
    EXPECT_EQ(HelpPage(4242), ":/help/index.html");
    w.close();
}

}  // namespace
}  // namespace pulpex
