// Mail transfer against real servers on 127.0.0.1: aiosmtpd started per test (plain, STARTTLS,
// implicit TLS, sign-in, refusals) and the dovecot POP3 server of the test run (the ctest fixture
// that starts tests/scripts/pop3_server.sh).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <thread>

#include "mail/transport/mail_transfer.h"
#include "support/loopback.h"
#include "support/mail_servers.h"

namespace pulpex {
namespace {

using test::FreePort;
using test::kLatin2Letter;
using test::kUtf8Letter;
using test::SilentServer;
using test::TestPop3;
using test::TestSmtpServer;

TMailTransfer PolishLetter() {
    TMailTransfer letter;
    SetOutgoing(letter, QStringLiteral("127.0.0.1"),
                QStringLiteral("Żaneta Kołodziej <zaneta@urzad.gov.pl>"),
                QStringLiteral("Szanowna Pani,\nzażółć gęślą jaźń — ZAŻÓŁĆ GĘŚLĄ JAŹŃ.\n.\n"
                               "Z poważaniem\nSekretariat"),
                QStringLiteral("Odpowiedź w sprawie pisma nr 12/2026 – ważne"),
                QStringLiteral("Sekretariat Łódź <sekretariat@firma.pl>"));
    return letter;
}

struct Recorder {
    TTransferWatch watch;
    QStringList states;
    Recorder() {
        watch.onState = [this](int, const QString& text) { states << text; };
    }
};

TEST(SmtpTransfer, PlainLetterIsStoredWithUtf8BodyEncodedHeadersDateAndMessageId) {
    TestSmtpServer smtp;
    Recorder rec;
    const TMailTransfer letter = PolishLetter();
    const TMailResult r = MailSend(smtp.server(), letter, &rec.watch);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    const auto stored = smtp.stored();
    ASSERT_EQ(stored.size(), 1);
    const QByteArray raw = stored[0];
    // Every header line is ASCII; the Polish words travel encoded.
    const QByteArray head = raw.left(raw.indexOf("\r\n\r\n"));
    for (const char c : head)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << head.toStdString();
    EXPECT_TRUE(head.contains("charset=utf-8")) << head.toStdString();
    EXPECT_TRUE(head.toLower().contains("\nsubject: =?utf-8?")) << head.toStdString();
    EXPECT_TRUE(head.toLower().contains("content-transfer-encoding: quoted-printable"));

    const QRegularExpression date(QStringLiteral("(?:^|\\n)Date: ([^\\r\\n]+)"));
    const auto d = date.match(QString::fromLatin1(head));
    ASSERT_TRUE(d.hasMatch());
    const QDateTime when = QDateTime::fromString(d.captured(1), Qt::RFC2822Date);
    ASSERT_TRUE(when.isValid()) << d.captured(1).toStdString();
    EXPECT_LT(std::abs(when.secsTo(QDateTime::currentDateTime())), 300);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\nMessage-Id: <[^<>@\\s]+@firma\\.pl>"),
                                   QRegularExpression::CaseInsensitiveOption)
                    .match(QString::fromLatin1(head))
                    .hasMatch())
        << head.toStdString();

    TMailTransfer back;
    ParseMessage(raw, back);
    EXPECT_EQ(back.subject, letter.subject);
    EXPECT_EQ(back.body.trimmed(), letter.body.trimmed());
    EXPECT_EQ(back.senderAddress, QStringLiteral("sekretariat@firma.pl"));
    EXPECT_TRUE(back.recipient.contains(QStringLiteral("Sekretariat Łódź")));

    EXPECT_EQ(rec.states.value(0), QStringLiteral("Łączę z serwerem SMTP : 127.0.0.1..."));
    EXPECT_TRUE(rec.states.contains(QStringLiteral("Połączono z serwerem SMTP: 127.0.0.1")));
    EXPECT_EQ(rec.states.last(), QStringLiteral("Odłączono od serwera SMTP: 127.0.0.1"));
}

TEST(SmtpTransfer, StartTlsWithSignInSendsASeriesThroughOneConnection) {
    TestSmtpServer smtp(
        {QStringLiteral("--tls"), QStringLiteral("--auth"), QStringLiteral("jan:hasło-1")});
    TMailServer server =
        smtp.server(MailSecurity::StartTls, QStringLiteral("jan"), QStringLiteral("hasło-1"));
    Recorder rec;
    {
        TSmtpSession session(server, &rec.watch);
        for (int i = 1; i <= 3; ++i) {
            TMailTransfer letter = PolishLetter();
            letter.subject = QStringLiteral("List %1").arg(i);
            const TMailResult r = session.Send(letter);
            ASSERT_TRUE(r.ok) << r.message.toStdString();
        }
    }
    EXPECT_EQ(smtp.stored().size(), 3);
    EXPECT_EQ(rec.states.count(QStringLiteral("Połączono z serwerem SMTP: 127.0.0.1")), 1);

    // The same server with a wrong password.
    server.password = QStringLiteral("zle");
    const TMailResult wrong = MailSend(server, PolishLetter());
    EXPECT_EQ(wrong.failure, MailFailure::Connect);
    EXPECT_EQ(wrong.message, QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                                            "Serwer odrzucił nazwę użytkownika lub hasło."))
        << wrong.message.toStdString();
    // A certificate the user never accepted.
    server.password = QStringLiteral("hasło-1");
    server.acceptedCertificate.clear();
    const TMailResult untrusted = MailSend(server, PolishLetter());
    EXPECT_EQ(untrusted.message, QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                                                "Certyfikat serwera nie jest zaufany."));
    EXPECT_EQ(smtp.stored().size(), 3);
}

TEST(SmtpTransfer, ImplicitTlsWithSignIn) {
    TestSmtpServer smtp(
        {QStringLiteral("--implicit-tls"), QStringLiteral("--auth"), QStringLiteral("jan:tajne")});
    const TMailResult r =
        MailSend(smtp.server(MailSecurity::Tls, QStringLiteral("jan"), QStringLiteral("tajne")),
                 PolishLetter());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    ASSERT_EQ(smtp.stored().size(), 1);
    TMailTransfer back;
    ParseMessage(smtp.stored()[0], back);
    EXPECT_EQ(back.body.trimmed(), PolishLetter().body.trimmed());
}

TEST(SmtpTransfer, RefusedRecipientIsReportedAndAServerThatWillNotVerifyStillTakesTheLetter) {
    {
        TestSmtpServer smtp({QStringLiteral("--refuse"), QStringLiteral("nikt@urzad.gov.pl")});
        TMailTransfer letter = PolishLetter();
        letter.recipient = QStringLiteral("nikt@urzad.gov.pl");
        const TMailResult r = MailSend(smtp.server(), letter);
        EXPECT_EQ(r.failure, MailFailure::Verify);
        EXPECT_TRUE(r.message.startsWith(QStringLiteral("Błąd podczas weryfikacji adresata\r\n")))
            << r.message.toStdString();
        EXPECT_TRUE(smtp.stored().isEmpty());
    }
    TestSmtpServer smtp({QStringLiteral("--vrfy-unsupported"), QStringLiteral("--refuse"),
                         QStringLiteral("nikt@urzad.gov.pl")});
    EXPECT_TRUE(MailSend(smtp.server(), PolishLetter()).ok);
    EXPECT_EQ(smtp.stored().size(), 1);
    TMailTransfer letter = PolishLetter();
    letter.recipient = QStringLiteral("nikt@urzad.gov.pl");
    const TMailResult r = MailSend(smtp.server(), letter);
    EXPECT_EQ(r.failure, MailFailure::Send);
    EXPECT_TRUE(
        r.message.startsWith(QStringLiteral("Błąd podczas wysyłania listu\r\n"
                                            "Serwer odpowiedział: 550")))
        << r.message.toStdString();
    EXPECT_EQ(smtp.stored().size(), 1);
}

TEST(SmtpTransfer, ServerDownStalledOrStoppedEndsWithItsMessage) {
    TMailServer server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = FreePort();
    server.timeoutMs = 1000;
    const TMailResult down = MailSend(server, PolishLetter());
    EXPECT_EQ(down.message, QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                                           "Serwer 127.0.0.1 nie przyjmuje połączeń."));

    SilentServer silent;
    server.port = silent.port;
    QElapsedTimer t;
    t.start();
    const TMailResult stalled = MailSend(server, PolishLetter());
    EXPECT_EQ(stalled.message,
              QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                             "Serwer 127.0.0.1 nie odpowiedział w wyznaczonym czasie."));
    EXPECT_LT(t.elapsed(), 20000);  // the time limit, not a hang

    // "Zatrzymaj" ends a wait long before its limit.
    server.timeoutMs = 600000;
    TTransferWatch watch;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        watch.abort = true;
    });
    t.restart();
    const TMailResult stopped = MailSend(server, PolishLetter(), &watch);
    stopper.join();
    EXPECT_EQ(stopped.failure, MailFailure::Aborted);
    EXPECT_EQ(stopped.message, QStringLiteral("Transfer przerwano"));
    EXPECT_LT(t.elapsed(), 20000);
}

// The invoice text with a PDF attached.
const QByteArray kMultipartLetter = test::kInvoiceHeaders +
                                    "Content-Type: multipart/mixed; boundary=\"zewn\"\r\n"
                                    "\r\n"
                                    "--zewn\r\n" +
                                    test::kInvoiceAlternative +
                                    "--zewn\r\n"
                                    "Content-Type: application/pdf; name=\"faktura.pdf\"\r\n"
                                    "Content-Disposition: attachment; filename=\"faktura.pdf\"\r\n"
                                    "Content-Transfer-Encoding: base64\r\n"
                                    "\r\n"
                                    "JVBERi0xLjQK\r\n"
                                    "--zewn--\r\n";

TEST(Pop3Transfer, FetchesLettersInTheirCharsetsOverPlainStlsAndPop3s) {
    TestPop3 pop;
    for (const MailSecurity security :
         {MailSecurity::None, MailSecurity::StartTls, MailSecurity::Tls}) {
        const TMailServer server =
            pop.mailbox(QStringLiteral("odczyt%1").arg(static_cast<int>(security)),
                        {kUtf8Letter, kLatin2Letter, kMultipartLetter}, security);
        TMailList list;
        Recorder rec;
        const TMailResult r = MailReceive(server, list, &rec.watch);
        ASSERT_TRUE(r.ok) << r.message.toStdString();
        ASSERT_EQ(list.Count(), 3);
        EXPECT_EQ(list.Letter(1).subject, QStringLiteral("Zażółć gęślą jaźń"));
        EXPECT_EQ(list.Letter(1).recipient, QStringLiteral("Paweł Nowak <pawel@firma.pl>"));
        EXPECT_EQ(list.Letter(1).senderAddress, QStringLiteral("pawel@firma.pl"));
        EXPECT_EQ(list.Letter(1).date, QStringLiteral("Mon, 7 Dec 2026 10:15:00 +0100"));
        EXPECT_EQ(list.Letter(1).body, QStringLiteral("Dzień dobry, przesyłam pismo.\n"));
        EXPECT_EQ(list.Letter(2).subject, QStringLiteral("Wezwanie do złożenia wyjaśnień"));
        EXPECT_EQ(list.Letter(2).senderAddress, QStringLiteral("urzad@gmina.pl"));
        EXPECT_EQ(list.Letter(2).body,
                  QStringLiteral("Proszę o złożenie wyjaśnień w ciągu 7 dni.\n"));
        EXPECT_EQ(list.Letter(3).body, QStringLiteral("W załączeniu faktura za grudzień.\n"));
        EXPECT_EQ(list.Letter(3).senderAddress, QStringLiteral("biuro@rachunki.pl"));
        EXPECT_EQ(rec.states.value(0), QStringLiteral("Łączenie z serwerem POP: 127.0.0.1..."));
        EXPECT_TRUE(rec.states.contains(QStringLiteral("Podłączono do serwera POP: 127.0.0.1")));
        EXPECT_EQ(rec.states.last(), QStringLiteral("Odłączono od serwera POP: 127.0.0.1"));
    }
}

TEST(Pop3Transfer, DeletingTheSecondLetterRenumbersTheThird) {
    TestPop3 pop;
    const TMailServer server =
        pop.mailbox(QStringLiteral("usun"), {kUtf8Letter, kLatin2Letter, kMultipartLetter});
    TMailList list;
    ASSERT_TRUE(MailReceive(server, list).ok);
    ASSERT_EQ(list.Count(), 3);
    ASSERT_TRUE(MailDelete(server, 2).ok);
    list.Remove(2);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Letter(2).subject, QStringLiteral("Faktura"));

    TMailList again;
    ASSERT_TRUE(MailReceive(server, again).ok);
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Letter(1).subject, list.Letter(1).subject);
    EXPECT_EQ(again.Letter(2).subject, QStringLiteral("Faktura"));  // was number 3
    // Appending keeps what the list held.
    ASSERT_TRUE(MailReceive(server, again).ok);
    EXPECT_EQ(again.Count(), 4);
    again.Clear();
    EXPECT_EQ(again.Count(), 0);
}

TEST(Pop3Transfer, DeletingByIdentifierHitsTheRightLetterAfterAnotherProgramRenumbered) {
    TestPop3 pop;
    const TMailServer server =
        pop.mailbox(QStringLiteral("wspolna"), {kUtf8Letter, kLatin2Letter, kMultipartLetter});
    TMailList list;
    ASSERT_TRUE(MailReceive(server, list).ok);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_FALSE(list.Letter(1).uid.isEmpty());
    EXPECT_NE(list.Letter(1).uid, list.Letter(2).uid);
    // Another workstation deletes the first letter: the third is now number 2.
    ASSERT_TRUE(MailDelete(server, 1).ok);
    ASSERT_TRUE(MailDelete(server, 3, nullptr, list.Letter(3).uid).ok);
    TMailList left;
    ASSERT_TRUE(MailReceive(server, left).ok);
    ASSERT_EQ(left.Count(), 1);
    EXPECT_EQ(left.Letter(1).subject, QStringLiteral("Wezwanie do złożenia wyjaśnień"));
    // A letter already gone is not confused with another one.
    const TMailResult gone = MailDelete(server, 1, nullptr, list.Letter(1).uid);
    EXPECT_EQ(gone.message, QStringLiteral("Błąd podczas usuwania listu nr 1\r\n"
                                           "Tego listu nie ma już w skrzynce."));
    TMailList still;
    ASSERT_TRUE(MailReceive(server, still).ok);
    EXPECT_EQ(still.Count(), 1);
}

TEST(Pop3Transfer, EmptyMailboxWrongPasswordAndServerDown) {
    TestPop3 pop;
    TMailServer server = pop.mailbox(QStringLiteral("pusta"), {});
    TMailList list;
    EXPECT_TRUE(MailReceive(server, list).ok);
    EXPECT_EQ(list.Count(), 0);

    server.password = QStringLiteral("zle");
    const TMailResult wrong = MailReceive(server, list);
    EXPECT_EQ(wrong.message, QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                                            "Serwer odrzucił nazwę użytkownika lub hasło."));
    EXPECT_FALSE(MailDelete(server, 1).ok);

    server.port = FreePort();
    server.timeoutMs = 1000;
    const TMailResult down = MailReceive(server, list);
    EXPECT_EQ(down.failure, MailFailure::Connect);
    EXPECT_EQ(down.message, QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                                           "Serwer 127.0.0.1 nie przyjmuje połączeń."));
    SilentServer silent;
    server.port = silent.port;
    const TMailResult stalled = MailReceive(server, list);
    EXPECT_TRUE(stalled.message.endsWith(QStringLiteral("nie odpowiedział w wyznaczonym czasie.")))
        << stalled.message.toStdString();
}

TEST(MailMessage, LongAsciiLinesAreWrappedForTransportAndReadBackWhole) {
    TMailTransfer letter;
    letter.sender = QStringLiteral("a@firma.pl");
    letter.recipient = QStringLiteral("b@firma.pl");
    letter.body = QString(2000, QLatin1Char('x')) + QStringLiteral("\nkoniec");
    const QByteArray raw = BuildMessage(letter);
    for (const QByteArray& line : raw.split('\n'))
        EXPECT_LE(line.size(), 1000);
    TMailTransfer back;
    ParseMessage(raw, back);
    EXPECT_EQ(back.body.trimmed(), letter.body);
}

TEST(MailMessage, HtmlOnlyUndeclaredCp1250AndBareSenderAreRead) {
    TMailTransfer letter;
    ParseMessage(
        "From: kadry@firma.pl\r\n"
        "Subject: Plan\r\n"
        "Content-Type: text/html; charset=utf-8\r\n"
        "\r\n"
        "<html><head><style>p{}</style></head><body><p>Spotkanie &amp; narada</p>"
        "<p>w &quot;sali&quot;&nbsp;nr&#160;5<br>o 10:00 &lt;pilne&gt;</p></body></html>",
        letter);
    EXPECT_EQ(letter.body, QStringLiteral("Spotkanie & narada\n\nw \"sali\" nr\u00a05\n"
                                          "o 10:00 <pilne>"));
    EXPECT_EQ(letter.senderAddress, QStringLiteral("kadry@firma.pl"));
    EXPECT_EQ(letter.recipient, QStringLiteral("kadry@firma.pl"));

    // A charset nobody knows: read as the Polish Windows code page.
    ParseMessage(
        "From: x@y.pl\r\nContent-Type: text/plain; charset=x-nieznany\r\n\r\n"
        "\x9cwi\xea"
        "to\r\n",
        letter);
    EXPECT_EQ(letter.body, QStringLiteral("święto\n"));

    ParseMessage(
        "From: x@y.pl\r\nSubject: a\r\n\r\nPi\xb9tek, \x9cwi\xea"
        "to\r\n",
        letter);
    EXPECT_EQ(letter.body, QStringLiteral("Piątek, święto\n"));
}

TEST(MailMessage, AttachmentsKeepTheirDecodedNamesTypesAndExactBytes) {
    QByteArray binary;
    for (int i = 0; i < 600; ++i)
        binary.append(static_cast<char>(i * 7 % 256));
    const QByteArray raw =
        "From: biuro@rachunki.pl\r\n"
        "Subject: Dokumenty\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"m\"\r\n"
        "\r\n"
        "--m\r\n"
        "Content-Type: multipart/alternative; boundary=\"a\"\r\n"
        "\r\n"
        "--a\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "\r\n"
        "Treść listu.\r\n"
        "--a\r\n"
        "Content-Type: text/html; charset=utf-8\r\n"
        "\r\n"
        "<p>Treść listu.</p>\r\n"
        "--a--\r\n"
        "--m\r\n"
        "Content-Type: application/pdf\r\n"
        "Content-Disposition: attachment; filename*=UTF-8''faktura%20grudzie%C5%84.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n" +
        binary.toBase64() +
        "\r\n"
        "--m\r\n"
        "Content-Type: image/png; name=\"=?UTF-8?Q?skan_=C5=BC=C3=B3=C5=82ty.png?=\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n" +
        binary.left(100).toBase64() +
        "\r\n"
        "--m\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Content-Disposition: attachment; filename=\"C:\\\\Pisma\\\\uwagi.txt\"\r\n"
        "\r\n"
        "uwagi\r\n"
        "--m--\r\n";
    TMailTransfer letter;
    ParseMessage(raw, letter);
    // The line break before a boundary belongs to the boundary.
    EXPECT_EQ(letter.body, QStringLiteral("Treść listu."));
    ASSERT_EQ(letter.attachments.size(), 3);
    EXPECT_EQ(letter.attachments[0].fileName, QStringLiteral("faktura grudzień.pdf"));
    EXPECT_EQ(letter.attachments[0].mimeType, QStringLiteral("application/pdf"));
    EXPECT_EQ(letter.attachments[0].data, binary);
    EXPECT_EQ(letter.attachments[1].fileName, QStringLiteral("skan żółty.png"));
    EXPECT_EQ(letter.attachments[1].mimeType, QStringLiteral("image/png"));
    EXPECT_EQ(letter.attachments[1].data, binary.left(100));
    // A text file attached is an attachment, not the letter's text; its folder is dropped.
    EXPECT_EQ(letter.attachments[2].fileName, QStringLiteral("uwagi.txt"));
    EXPECT_EQ(letter.attachments[2].data, QByteArray("uwagi"));

    // A letter of one attached file and no text; a plain letter has none.
    ParseMessage(
        "From: x@y.pl\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Disposition: attachment; filename=\"skan.jpg\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
            binary.left(30).toBase64() + "\r\n",
        letter);
    EXPECT_TRUE(letter.body.isEmpty());
    ASSERT_EQ(letter.attachments.size(), 1);
    EXPECT_EQ(letter.attachments[0].fileName, QStringLiteral("skan.jpg"));
    EXPECT_EQ(letter.attachments[0].mimeType, QStringLiteral("application/octet-stream"));
    EXPECT_EQ(letter.attachments[0].data, binary.left(30));
    ParseMessage("From: x@y.pl\r\nSubject: a\r\n\r\ntekst\r\n", letter);
    EXPECT_TRUE(letter.attachments.isEmpty());
}

}  // namespace
}  // namespace pulpex
