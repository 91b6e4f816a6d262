// "Wzorce korespondecji seryjnej" and the template editor on a real installation: templates
// created, edited and deleted through the catalogue's table, series sent to aiosmtpd on 127.0.0.1
// and printed to PDF files read back with pdftotext.
#include "mail/ui/lst_wzrc.h"

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <map>

#include "addresses/adresy.h"
#include "controls/grid/cvdbgrid.h"
#include "core/config.h"
#include "core/system.h"
#include "core/ui/printer.h"
#include "mail/koresp.h"
#include "mail/transport/mail_settings.h"
#include "mail/transport/mail_transfer.h"
#include "mail/ui/wz_krsp.h"
#include "support/installation.h"
#include "support/loopback.h"
#include "support/mail_servers.h"
#include "support/modal.h"
#include "support/qtry.h"
#include "support/widgets.h"
#include "tables/fieldio.h"
#include "tables/globals.h"

namespace pulpex {
namespace {

using test::child;
using test::click;
using test::ModalScript;
using test::TestSmtpServer;
using test::typeText;

// The bare address of the "To" header of a raw message.
QString recipientOf(const QByteArray& raw) {
    static const QRegularExpression re(
        QStringLiteral("^To:.*?([^<\\s]+@[^>\\s]+)"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    return re.match(QString::fromUtf8(raw)).captured(1);
}

// The text of a PDF file (pages separated by form feeds).
QString pdfText(const QString& path, const QStringList& options = {}) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            QStringList{QStringLiteral("-enc"), QStringLiteral("UTF-8")} + options +
                QStringList{path, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

class SerialMailing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inst.ok);
        inst.logIn(1);
        ForgetSessionMailPasswords();
        SharedPrinter().setOutputFormat(QPrinter::PdfFormat);
        SharedPrinter().setOutputFileName({});
    }
    void TearDown() override { SharedPrinter().setOutputFileName({}); }

    int addAddress(const QString& surname, const QString& firstName, const QString& email,
                   const QString& city = {}) {
        TRec_Adresy a;
        a.AD_NAZW = surname;
        a.AD_IMIE = firstName;
        a.AD_MAIL() = email;
        a.AD_MIAS = city;
        int id = 0;
        TblAdresy->OT_AddNew(id, a);
        return id;
    }
    int addTemplate(const QString& name, const QString& text) {
        TRec_Korespondencja k;
        k.KOR_OPI() = name;
        k.KOR_TRS.SetText(text);
        int id = 0;
        TblKorespondencja->OT_AddNew(id, k);
        return id;
    }
    std::vector<int> templateIds() {
        std::vector<int> ids;
        engine::Table& t = TblKorespondencja->T();
        for (t.first(); !t.eof(); t.next())
            ids.push_back(fieldInt(t, QStringLiteral("ID")));
        return ids;
    }
    void useSmtp(int port, const QString& sender = QStringLiteral("sekretariat@gmina.pl")) {
        TMailServer s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        ASSERT_TRUE(WriteMailServerConfig(MailAccount::Smtp, s));
        ASSERT_TRUE(WriteUserConfig(QStringLiteral("smb_adres_zwrotny"), sender));
    }
    void open() {
        w = std::make_unique<TformSerialMailing>();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TCV_DBGrid* grid() { return child<TCV_DBGrid>(w.get(), "dbgWzorce"); }
    // Makes the template named `name` current in the list.
    void choose(const QString& name) {
        QAbstractItemModel* m = grid()->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->data(m->index(r, 0)).toString().trimmed() == name) {
                ASSERT_TRUE(test::clickRow(grid(), r));
                return;
            }
        FAIL() << "no template " << name.toStdString();
    }
    // A step for the address book: selects the rows of `surnames` and confirms; then runs
    // `after` (what another workstation does meanwhile).
    static ModalScript::Step pick(const QStringList& surnames, std::function<void()> after = {}) {
        return [surnames, after](QWidget* d) {
            auto* g = child<TCV_DBGrid>(d, "dbgAdresy");
            QAbstractItemModel* m = g->model();
            while (m->canFetchMore({}))
                m->fetchMore({});
            g->selectionModel()->clearSelection();
            for (int r = 0; r < m->rowCount(); ++r)
                if (surnames.contains(m->data(m->index(r, 1)).toString().trimmed()))
                    g->selectionModel()->select(
                        m->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
            ASSERT_EQ(g->selectionModel()->selectedRows().size(), surnames.size());
            ASSERT_TRUE(click(d, "btnOk"));
            if (after) after();
        };
    }
    QStringList errors() {
        QStringList out;
        for (const auto& s : inst.env.prompts.shown())
            if (s.severity == Severity::Error) out << s.text;
        return out;
    }
    ScriptedPrompts& prompts() { return inst.env.prompts; }

    test::TestInstallation inst;
    std::unique_ptr<TformSerialMailing> w;
};

// ------------------------------------------------------------------ templates

TEST_F(SerialMailing, CancelledNowyLeavesNoRowAndKoniecStoresNameAndText) {
    addTemplate(QStringLiteral("Zaproszenie"), QStringLiteral("Zapraszamy"));
    open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Wzorce korespondecji seryjnej"));
    const std::vector<int> before = templateIds();
    {
        ModalScript script;
        script.then([](QWidget* d) {
            EXPECT_EQ(d->windowTitle(), QStringLiteral("Wzory korespondencji"));
            d->close();  // nothing typed: closed without a question
        });
        ASSERT_TRUE(click(w.get(), "btnNowy"));
        QTRY_VERIFY(script.done());
    }
    EXPECT_EQ(templateIds(), before);
    EXPECT_TRUE(prompts().shown().empty());

    {
        ModalScript script;
        script.then([](QWidget* d) {
            typeText(child<QLineEdit>(d, "edNazwa"), QStringLiteral("Życzenia świąteczne"));
            typeText(child<QPlainTextEdit>(d, "mTresc"), QStringLiteral("Szanowna Pani "));
            // The surname token from the menu, at the caret.
            auto* menu = child<QMenu>(d, "mnuPolaAdresowe");
            menu->actions().at(1)->trigger();
            ASSERT_TRUE(click(d, "btnKoniec"));
        });
        ASSERT_TRUE(click(w.get(), "btnNowy"));
        QTRY_VERIFY(script.done());
    }
    const std::vector<int> after = templateIds();
    ASSERT_EQ(after.size(), before.size() + 1);
    TRec_Korespondencja k;
    ASSERT_TRUE(TblKorespondencja->ReadRecordByID(after.back(), k));
    EXPECT_EQ(k.KOR_OPI().trimmed(), QStringLiteral("Życzenia świąteczne"));
    EXPECT_EQ(k.KOR_TRS.GetText(), QStringLiteral("Szanowna Pani {<1>NAZW}"));
    // The new template is the current one of the list.
    EXPECT_EQ(grid()->model()->data(grid()->currentIndex().siblingAtColumn(0)).toString().trimmed(),
              QStringLiteral("Życzenia świąteczne"));
}

TEST_F(SerialMailing, EditorKeepsItsNameAndDefinesUserFieldsOnTheTemplateRow) {
    const int id = addTemplate(QStringLiteral("Wezwanie"), QStringLiteral("Termin: "));
    open();
    choose(QStringLiteral("Wezwanie"));
    ModalScript script;
    script.then([&](QWidget* d) {
        auto* name = child<QLineEdit>(d, "edNazwa");
        auto* text = child<QPlainTextEdit>(d, "mTresc");
        EXPECT_EQ(name->text(), QStringLiteral("Wezwanie"));
        EXPECT_EQ(name->maxLength(), 25);
        // Without a name the editor stays open and says why.
        name->clear();
        ASSERT_TRUE(click(d, "btnKoniec"));
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(prompts().texts().value(0),
                  QStringLiteral("Proszę wpisać nazwę wzorca korespondencji"));
        EXPECT_EQ(QApplication::focusWidget(), name);

        // Field 3 defined: stored in the row at once, shown in both menus' captions.
        auto* define = child<QMenu>(d, "mnuDefiniowanie");
        auto* fields = child<QMenu>(d, "mnuPolaUzytkownika");
        EXPECT_EQ(define->actions().at(2)->text(), QStringLiteral("Pole &3 : "));
        prompts().setNextInput(QStringLiteral("sala nr 5 – piętro"));
        define->actions().at(2)->trigger();
        const auto& asked = prompts().asked().back();
        EXPECT_EQ(asked.caption, QStringLiteral("Definiowanie pola"));
        EXPECT_EQ(asked.prompt, QStringLiteral("Podaj nową wartość pola : "));
        EXPECT_EQ(fields->actions().at(2)->text(), QStringLiteral("Pole &3 : sala nr 5 – piętro"));
        // Cancelled: nothing changes; the proposed text was the stored value.
        prompts().setNextInputCancel();
        define->actions().at(2)->trigger();
        EXPECT_EQ(prompts().asked().back().value, QStringLiteral("sala nr 5 – piętro"));

        text->moveCursor(QTextCursor::End);
        fields->actions().at(2)->trigger();
        child<QMenu>(d, "mnuPolaStale")->actions().at(0)->trigger();
        EXPECT_EQ(text->toPlainText(), QStringLiteral("Termin: {<3>UZYTK_3}{<2>OPERATOR}"));
        // TEST fills the text in.
        prompts().clear();
        ASSERT_TRUE(click(d, "btnTest"));
        EXPECT_EQ(prompts().texts().value(0),
                  QStringLiteral("Termin: sala nr 5 – piętro") + System()->CurrentUserName());
        typeText(name, QStringLiteral("Wezwanie 2"));
        ASSERT_TRUE(click(d, "btnKoniec"));
    });
    ASSERT_TRUE(click(w.get(), "btnPopraw"));
    QTRY_VERIFY(script.done());
    TRec_Korespondencja k;
    ASSERT_TRUE(TblKorespondencja->ReadRecordByID(id, k));
    EXPECT_EQ(k.KOR_OPI().trimmed(), QStringLiteral("Wezwanie 2"));
    EXPECT_EQ(k.KOR_TRS.GetText(), QStringLiteral("Termin: {<3>UZYTK_3}{<2>OPERATOR}"));
    EXPECT_EQ(k.KOR_US[3].trimmed(), QStringLiteral("sala nr 5 – piętro"));
}

TEST_F(SerialMailing, EscapeAfterChangesAsksAndNoKeepsTheStoredTemplate) {
    const int id = addTemplate(QStringLiteral("Pismo"), QStringLiteral("Stara treść"));
    open();
    choose(QStringLiteral("Pismo"));
    ModalScript script;
    script.then([&](QWidget* d) {
        typeText(child<QPlainTextEdit>(d, "mTresc"), QStringLiteral(" i nowa"));
        prompts().setNextAnswer(Answer::Cancel);
        QTest::keyClick(d, Qt::Key_Escape);
        EXPECT_TRUE(d->isVisible());  // Cancel: back to the editor
        prompts().setNextAnswer(Answer::No);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    ASSERT_TRUE(click(w.get(), "btnPopraw"));
    QTRY_VERIFY(script.done());
    EXPECT_EQ(prompts().shown().size(), 2u);
    TRec_Korespondencja k;
    ASSERT_TRUE(TblKorespondencja->ReadRecordByID(id, k));
    EXPECT_EQ(k.KOR_TRS.GetText(), QStringLiteral("Stara treść"));
}

TEST_F(SerialMailing, UsunDeletesOnlyAfterYes) {
    const int id = addTemplate(QStringLiteral("Do usunięcia"), QStringLiteral("x"));
    open();
    choose(QStringLiteral("Do usunięcia"));
    prompts().setNextAnswer(Answer::No);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    ASSERT_EQ(prompts().shown().size(), 1u);
    EXPECT_EQ(prompts().shown()[0].text, QStringLiteral("Czy na pewno chcesz usunąć ten rekord ?"));
    EXPECT_EQ(prompts().shown()[0].buttons, Buttons::YesNoCancel);
    EXPECT_TRUE(TblKorespondencja->LocateID(id));
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnUsun"));
    EXPECT_FALSE(TblKorespondencja->LocateID(id));
    // An empty list: nothing to edit, delete or send.
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnPopraw")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(w.get(), "btnEmail")->isEnabled());
}

// ------------------------------------------------------------------ e-mail series

TEST_F(SerialMailing, AddressDeletedMeanwhileIsSkippedWithoutAnError) {
    TestSmtpServer smtp;
    ASSERT_TRUE(smtp.ready);
    useSmtp(smtp.port);
    addTemplate(QStringLiteral("Zawiadomienie"), QStringLiteral("Dzień dobry {<1>IMIE}"));
    addAddress(QStringLiteral("Adamczyk"), QStringLiteral("Ewa"), QStringLiteral("ewa@a.pl"));
    const int gone =
        addAddress(QStringLiteral("Bielecka"), QStringLiteral("Zofia"), QStringLiteral("z@b.pl"));
    addAddress(QStringLiteral("Czarnecki"), QStringLiteral("Łukasz"), QStringLiteral("l@c.pl"));
    open();
    choose(QStringLiteral("Zawiadomienie"));
    ModalScript script;
    script.then(
        pick({QStringLiteral("Adamczyk"), QStringLiteral("Bielecka"), QStringLiteral("Czarnecki")},
             [&] { TblAdresy->DeleteByID(gone); }));
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnEmail"));
    QTRY_VERIFY(script.done());
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(smtp.stored().size(), 2);
    EXPECT_EQ(w->LastSummary().sent, 2);
    EXPECT_TRUE(prompts().texts().value(0).contains(QStringLiteral("Listów do wysłania: 2")));
}

class SerialFailure : public SerialMailing, public ::testing::WithParamInterface<Answer> {};

// The server refuses the second of three: Ignore sends the third, Abort nothing more, Retry
// tries the second again (and then gives up on it with Ignore).
TEST_P(SerialFailure, OnTheSecondOfThree) {
    const Answer answer = GetParam();
    TestSmtpServer smtp({QStringLiteral("--refuse"), QStringLiteral("z@b.pl")});
    ASSERT_TRUE(smtp.ready);
    useSmtp(smtp.port);
    addTemplate(QStringLiteral("Zawiadomienie"), QStringLiteral("Treść"));
    addAddress(QStringLiteral("Adamczyk"), QStringLiteral("Ewa"), QStringLiteral("ewa@a.pl"));
    addAddress(QStringLiteral("Bielecka"), QStringLiteral("Zofia"), QStringLiteral("z@b.pl"));
    addAddress(QStringLiteral("Czarnecki"), QStringLiteral("Łukasz"), QStringLiteral("l@c.pl"));
    open();
    choose(QStringLiteral("Zawiadomienie"));
    ModalScript script;
    script.then(pick(
        {QStringLiteral("Adamczyk"), QStringLiteral("Bielecka"), QStringLiteral("Czarnecki")}));
    prompts().setNextAnswer(Answer::Yes);
    prompts().setNextAnswer(answer);
    if (answer == Answer::Retry) prompts().setNextAnswer(Answer::Ignore);
    ASSERT_TRUE(click(w.get(), "btnEmail"));
    QTRY_VERIFY(script.done());

    const QStringList failures = errors();
    ASSERT_EQ(failures.size(), answer == Answer::Retry ? 2 : 1);
    for (const QString& f : failures)
        EXPECT_TRUE(f.startsWith(SerialFailureText(QStringLiteral("Bielecka")))) << f.toStdString();
    for (const auto& s : prompts().shown())
        if (s.severity == Severity::Error) {
            EXPECT_EQ(s.buttons, Buttons::AbortRetryIgnore);
        }
    QStringList to;
    for (const QByteArray& m : smtp.stored())
        to << recipientOf(m);
    to.sort();
    if (answer == Answer::Abort) {
        EXPECT_EQ(to, QStringList{QStringLiteral("ewa@a.pl")});
        EXPECT_EQ(w->LastSummary().skipped, 1);
    } else {
        EXPECT_EQ(to, (QStringList{QStringLiteral("ewa@a.pl"), QStringLiteral("l@c.pl")}));
    }
    EXPECT_EQ(w->LastSummary().failed, 1);
    // The summary comes last.
    EXPECT_TRUE(prompts().texts().back().startsWith(
        QStringLiteral("Wysłano: %1\r\nNie wysłano z powodu błędu: 1")
            .arg(answer == Answer::Abort ? 1 : 2)));
}

INSTANTIATE_TEST_SUITE_P(Answers, SerialFailure,
                         ::testing::Values(Answer::Ignore, Answer::Abort, Answer::Retry),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Answer::Ignore:
                                     return std::string("Ignore");
                                 case Answer::Abort:
                                     return std::string("Abort");
                                 default:
                                     return std::string("Retry");
                             }
                         });

TEST_F(SerialMailing, FiftyLettersEachWithItsOwnValuesAndThoseWithoutAddressListedFirst) {
    TestSmtpServer smtp;
    ASSERT_TRUE(smtp.ready);
    useSmtp(smtp.port);
    addTemplate(QStringLiteral("Życzenia"),
                QStringLiteral("Szanowny Panie {<1>IMIE} {<1>NAZW},\r\nz {<1>MIASTO} "
                               "życzymy zdrowia.\r\nPole: {<3>UZYTK_1}"));
    TblKorespondencja->T().first();
    TblKorespondencja->T().edit();
    setFieldString(TblKorespondencja->T(), QStringLiteral("KOR_US01"), QStringLiteral("żółć"));
    TblKorespondencja->T().post();
    QStringList surnames;
    std::map<QString, QString> expected;  // address → body
    for (int i = 0; i < 50; ++i) {
        const QString surname = QStringLiteral("Wąsowicz%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString first = QStringLiteral("Jęrzy%1").arg(i);
        const QString city = QStringLiteral("Łódź-%1").arg(i);
        const QString mail = QStringLiteral("adresat%1@urzad.pl").arg(i);
        addAddress(surname, first, mail, city);
        surnames << surname;
        expected[mail] = QStringLiteral(
                             "Szanowny Panie %1 %2,\r\nz %3 życzymy zdrowia.\r\n"
                             "Pole: żółć")
                             .arg(first, surname, city);
    }
    addAddress(QStringLiteral("Bezadresowy"), QStringLiteral("Jan"), {});
    surnames << QStringLiteral("Bezadresowy");
    open();
    choose(QStringLiteral("Życzenia"));
    ModalScript script;
    script.then(pick(surnames));
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnEmail"));
    QTRY_VERIFY(script.done());

    const QStringList texts = prompts().texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], QStringLiteral("Wzorzec: Życzenia\r\nListów do wysłania: 50\r\n\r\n"
                                       "Bez adresu e-mail (nie dostaną listu): Bezadresowy\r\n\r\n"
                                       "Czy rozpocząć wysyłanie?"));
    EXPECT_EQ(texts[1], QStringLiteral("Wysłano: 50\r\nNie wysłano z powodu błędu: 0\r\n"
                                       "Pominięto: 1"));
    const auto messages = smtp.stored();
    ASSERT_EQ(messages.size(), 50);
    std::map<QString, int> seen;
    for (const QByteArray& raw : messages) {
        const QString to = recipientOf(raw);
        ++seen[to];
        TMailTransfer parsed;
        ParseMessage(raw, parsed);
        EXPECT_EQ(parsed.subject, QStringLiteral("Życzenia"));
        ASSERT_TRUE(expected.count(to)) << to.toStdString();
        EXPECT_EQ(parsed.body.trimmed().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                  QString(expected[to]).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
    EXPECT_EQ(seen.size(), 50u);  // each addressee once
}

TEST_F(SerialMailing, PrzerwijStopsTheSeriesAfterTheLetterUnderWay) {
    TestSmtpServer smtp;
    ASSERT_TRUE(smtp.ready);
    useSmtp(smtp.port);
    addTemplate(QStringLiteral("Pismo"), QStringLiteral("Treść {<1>NAZW}"));
    QStringList surnames;
    for (int i = 0; i < 20; ++i) {
        surnames << QStringLiteral("Nowak%1").arg(i, 2, 10, QLatin1Char('0'));
        addAddress(surnames.back(), {}, QStringLiteral("n%1@x.pl").arg(i));
    }
    open();
    choose(QStringLiteral("Pismo"));
    // The progress window shows who is being written to; "Przerwij" as soon as it is up.
    QString shown;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("ProgressDlg_v3") && top->isVisible()) {
                shown = child<QLabel>(top, "lbTekst")->text();
                if (shown.isEmpty()) return;  // not yet at the first letter
                click(top, "btnPrzerwij");
                watch.stop();
            }
    });
    watch.start();
    ModalScript script;
    script.then(pick(surnames));
    prompts().setNextAnswer(Answer::Yes);
    ASSERT_TRUE(click(w.get(), "btnEmail"));
    QTRY_VERIFY(script.done());
    EXPECT_TRUE(shown.startsWith(QStringLiteral("List 1 z 20: Nowak00"))) << shown.toStdString();
    const auto& s = w->LastSummary();
    EXPECT_TRUE(s.stopped);
    EXPECT_GE(s.sent, 1);
    EXPECT_LT(s.sent, 20);
    EXPECT_EQ(s.sent + s.skipped, 20);
    EXPECT_EQ(static_cast<int>(smtp.stored().size()), s.sent);
    EXPECT_TRUE(prompts().texts().back().endsWith(QStringLiteral("Wysyłanie zatrzymano.")));
}

TEST_F(SerialMailing, NoAddressAmongThePickedSendsNothing) {
    useSmtp(test::FreePort());
    addTemplate(QStringLiteral("Pismo"), QStringLiteral("x"));
    addAddress(QStringLiteral("Adamczyk"), QStringLiteral("Ewa"), {});
    open();
    choose(QStringLiteral("Pismo"));
    ModalScript script;
    script.then(pick({QStringLiteral("Adamczyk")}));
    ASSERT_TRUE(click(w.get(), "btnEmail"));
    QTRY_VERIFY(script.done());
    EXPECT_EQ(prompts().texts(),
              QStringList{
                  QStringLiteral("Żaden z wybranych adresatów nie ma adresu e-mail:\r\nAdamczyk")});
}

// ------------------------------------------------------------------ printed series

TEST_F(SerialMailing, PrintedSeriesIsOnePdfEachLetterFromANewPageInOrder) {
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("seria.pdf"));
    // Long enough to go on to a second page.
    QString text = QStringLiteral("Szanowny Panie {<1>NAZW}\r\n\r\n");
    for (int i = 1; i <= 120; ++i)
        text += QStringLiteral("Wiersz %1 dla {<1>NAZW}\r\n").arg(i);
    text += QStringLiteral("Koniec listu do {<1>NAZW}");
    addTemplate(QStringLiteral("Długi"), text);
    addAddress(QStringLiteral("Adamczyk"), QStringLiteral("Ewa"), {});
    addAddress(QStringLiteral("Bielecka"), QStringLiteral("Zofia"), {});
    addAddress(QStringLiteral("Czarnecki"), QStringLiteral("Łukasz"), {});
    open();
    choose(QStringLiteral("Długi"));
    ModalScript script;
    script.then(pick(
        {QStringLiteral("Adamczyk"), QStringLiteral("Bielecka"), QStringLiteral("Czarnecki")}));
    prompts().setNextAnswer(Answer::Yes);
    prompts().setNextFileName(pdf);
    ASSERT_TRUE(click(w.get(), "btnWydruk"));
    QTRY_VERIFY(script.done());
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(prompts().texts().value(0),
              QStringLiteral("Wzorzec: Długi\r\nListów do wydruku: 3\r\n\r\n"
                             "Czy rozpocząć drukowanie?"));

    QStringList pages = pdfText(pdf).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    ASSERT_GE(pages.size(), 6);
    ASSERT_EQ(pages.size() % 3, 0);
    const qsizetype per = pages.size() / 3;
    const QStringList names{QStringLiteral("Adamczyk"), QStringLiteral("Bielecka"),
                            QStringLiteral("Czarnecki")};
    for (qsizetype k = 0; k < 3; ++k) {
        const QString& name = names[k];
        EXPECT_TRUE(pages[k * per].trimmed().startsWith(QStringLiteral("Szanowny Panie ") + name));
        EXPECT_TRUE(pages[(k + 1) * per - 1].contains(QStringLiteral("Koniec listu do ") + name));
        QString letter;
        for (qsizetype p = k * per; p < (k + 1) * per; ++p)
            letter += pages[p];
        // Every line of the letter, none of another addressee.
        for (int i = 1; i <= 120; ++i)
            EXPECT_TRUE(letter.contains(QStringLiteral("Wiersz %1 dla %2\n").arg(i).arg(name)))
                << i;
        for (const QString& other : names)
            if (other != name) {
                EXPECT_FALSE(letter.contains(other));
            }
    }
}

// The vertical positions of the words of a PDF's first page, by word.
std::map<QString, double> wordTops(const QString& pdf) {
    std::map<QString, double> tops;
    const QString html =
        pdfText(pdf, {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1")});
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"[^\"]+\" yMin=\"([^\"]+)\"[^>]*>([^<]+)</word>"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        tops.emplace(m.captured(2), m.captured(1).toDouble());
    }
    return tops;
}

TEST_F(SerialMailing, AnEmptyLineKeepsOneLinesSpacing) {
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("odstep.pdf"));
    addTemplate(QStringLiteral("Odstęp"), QStringLiteral("Alfa\r\nBeta\r\n\r\nGamma"));
    addAddress(QStringLiteral("Adamczyk"), QStringLiteral("Ewa"), {});
    open();
    choose(QStringLiteral("Odstęp"));
    ModalScript script;
    script.then(pick({QStringLiteral("Adamczyk")}));
    prompts().setNextAnswer(Answer::Yes);
    prompts().setNextFileName(pdf);
    ASSERT_TRUE(click(w.get(), "btnWydruk"));
    QTRY_VERIFY(script.done());
    const auto tops = wordTops(pdf);
    ASSERT_TRUE(tops.count("Alfa") && tops.count("Beta") && tops.count("Gamma"));
    const double line = tops.at("Beta") - tops.at("Alfa");
    EXPECT_GT(line, 0);
    // Lines stand at whole printer pixels: each position may be off by up to one of them.
    const double pixel = 72.0 / SharedPrinter().resolution();
    EXPECT_NEAR(tops.at("Gamma") - tops.at("Beta"), 2 * line, 1.5 * pixel);
}

TEST_F(SerialMailing, EntryFunctionShowsTheWindow) {
    ModalScript script;
    script.then([](QWidget* d) {
        EXPECT_EQ(d->objectName(), QStringLiteral("formSerialMailing"));
        ASSERT_TRUE(click(d, "btnZamknij"));
    });
    KorespondencjaSeryjna(nullptr);
}

}  // namespace
}  // namespace pulpex
