// Real mail servers on 127.0.0.1 for mail tests: aiosmtpd started per test
// (tests/scripts/smtp_server.py, storing into a maildir) with a test certificate made once per
// run, and mailboxes of the dovecot POP3 server of the run (the ctest fixture that starts
// tests/scripts/pop3_server.sh in PULPEX_POP3_DIR).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "mail/transport/mail_transfer.h"
#include "support/loopback.h"

namespace pulpex::test {

// A certificate for 127.0.0.1 (cert.pem, key.pem), made once per run.
inline const QString& TestCertDir() {
    static QTemporaryDir dir;
    static const bool made =
        QProcess::execute(
            QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
             QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
             QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
             QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
             dir.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
             dir.filePath(QStringLiteral("cert.pem"))}) == 0;
    EXPECT_TRUE(made);
    static const QString path = dir.path() + QLatin1Char('/');
    return path;
}

// aiosmtpd with the options of smtp_server.py ("--tls" adds the test certificate).
class TestSmtpServer {
  public:
    explicit TestSmtpServer(QStringList options = {}) : port(FreePort()) {
        if (options.removeAll(QStringLiteral("--tls")) > 0 ||
            options.contains(QStringLiteral("--implicit-tls")))
            options << QStringLiteral("--cert") << TestCertDir() + QStringLiteral("cert.pem")
                    << QStringLiteral("--key") << TestCertDir() + QStringLiteral("key.pem");
        process.setReadChannel(QProcess::StandardOutput);
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral(PULPEX_TEST_SCRIPTS "/smtp_server.py"),
                                  QString::number(port), box.filePath(QStringLiteral("box"))} +
                          options);
        while (!ready && process.waitForReadyRead(20000))
            ready = process.readAllStandardOutput().contains("READY");
        EXPECT_TRUE(ready) << process.readAllStandardError().toStdString();
    }
    ~TestSmtpServer() {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000)) process.kill();
        process.waitForFinished(2000);
    }
    TestSmtpServer(const TestSmtpServer&) = delete;
    TestSmtpServer& operator=(const TestSmtpServer&) = delete;

    // Its settings; a secured connection trusts the test certificate.
    TMailServer server(MailSecurity security = MailSecurity::None) const {
        TMailServer s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        s.security = security;
        s.timeoutMs = 5000;
        if (security != MailSecurity::None)
            s.acceptedCertificate = TestCertDir() + QStringLiteral("cert.pem");
        return s;
    }
    // Signing in as `user`.
    TMailServer server(MailSecurity security, const QString& user, const QString& password) const {
        TMailServer s = server(security);
        s.user = user;
        s.password = password;
        return s;
    }

    // The stored messages, oldest first.
    QList<QByteArray> stored() const {
        QList<QByteArray> out;
        QDir dir(box.filePath(QStringLiteral("box/new")));
        for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Time | QDir::Reversed)) {
            QFile file(f.filePath());
            if (file.open(QIODevice::ReadOnly)) out << file.readAll();
        }
        return out;
    }

    QTemporaryDir box;
    QProcess process;
    int port;
    bool ready = false;
};

// The POP3 server of the run: any user signs in with "tajne".
class TestPop3 {
  public:
    TestPop3() {
        QFile ports(QStringLiteral(PULPEX_POP3_DIR "/ports"));
        EXPECT_TRUE(ports.open(QIODevice::ReadOnly)) << "the POP3 fixture did not run";
        const QList<QByteArray> p = ports.readAll().simplified().split(' ');
        plainPort = p.value(0).toInt();
        tlsPort = p.value(1).toInt();
        QFile owner(QStringLiteral(PULPEX_POP3_DIR "/owner"));
        EXPECT_TRUE(owner.open(QIODevice::ReadOnly));
        const QList<QByteArray> o = owner.readAll().simplified().split(' ');
        uid = o.value(0).toUInt();
        gid = o.value(1).toUInt();
    }
    // A new mailbox of `user` holding `letters` in this order; its server settings (a secured
    // connection trusts the certificate of the run).
    TMailServer mailbox(const QString& user, const QList<QByteArray>& letters,
                        MailSecurity security = MailSecurity::None) const {
        const QString dir = QStringLiteral(PULPEX_POP3_DIR "/mail/") + user;
        QDir(dir).removeRecursively();
        for (const char* sub : {"new", "cur", "tmp"})
            QDir().mkpath(dir + QLatin1Char('/') + QLatin1String(sub));
        for (int i = 0; i < letters.size(); ++i) {
            QFile f(dir + QStringLiteral("/cur/%1.M%2P1.pulpex:2,").arg(1700000000 + i).arg(i));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(letters[i]);
            f.close();
            EXPECT_EQ(::chown(QFile::encodeName(f.fileName()).constData(), uid, gid), 0);
        }
        for (const char* sub : {"", "/new", "/cur", "/tmp"})
            EXPECT_EQ(::chown(QFile::encodeName(dir + QLatin1String(sub)).constData(), uid, gid),
                      0);
        TMailServer s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = security == MailSecurity::Tls ? tlsPort : plainPort;
        s.security = security;
        s.user = user;
        s.password = QStringLiteral("tajne");
        s.timeoutMs = 5000;
        if (security != MailSecurity::None)
            s.acceptedCertificate = QStringLiteral(PULPEX_POP3_DIR "/cert.pem");
        return s;
    }
    int plainPort = 0, tlsPort = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Letters for the mailboxes: UTF-8 quoted-printable with encoded headers, and 8-bit ISO-8859-2.
inline const QByteArray kUtf8Letter =
    "From: =?UTF-8?Q?Pawe=C5=82_Nowak?= <pawel@firma.pl>\r\n"
    "To: sekretariat@firma.pl\r\n"
    "Subject: =?UTF-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhSBqYcW6xYQ=?=\r\n"
    "Date: Mon, 7 Dec 2026 10:15:00 +0100\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Dzie=C5=84 dobry, przesy=C5=82am pismo.\r\n";

inline const QByteArray kLatin2Letter =
    "From: urzad@gmina.pl\r\n"
    "Subject: =?ISO-8859-2?Q?Wezwanie_do_z=B3o=BFenia_wyja=B6nie=F1?=\r\n"
    "Date: Mon, 7 Dec 2026 11:00:00 +0100\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=ISO-8859-2\r\n"
    "Content-Transfer-Encoding: 8bit\r\n"
    "\r\n"
    "Prosz\xea o z\xb3o\xbf"
    "enie wyja\xb6nie\xf1 w ci\xb1gu 7 dni.\r\n";

// The invoice letters' headers without their Content-Type, and their text: windows-1250 plain
// text in base64 with an HTML alternative.
inline const QByteArray kInvoiceHeaders =
    "From: \"Biuro Rachunkowe\" <biuro@rachunki.pl>\r\n"
    "Subject: Faktura\r\n"
    "Date: Mon, 7 Dec 2026 12:00:00 +0100\r\n"
    "MIME-Version: 1.0\r\n";

inline const QByteArray kInvoiceAlternative =
    "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
    "\r\n"
    "--alt\r\n"
    "Content-Type: text/plain; charset=windows-1250\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n" +
    QByteArray(
        "W za\xb3\xb9"
        "czeniu faktura za grudzie\xf1.\r\n")
        .toBase64() +
    "\r\n"
    "--alt\r\n"
    "Content-Type: text/html; charset=UTF-8\r\n"
    "\r\n"
    "<p>HTML</p>\r\n"
    "--alt--\r\n";

}  // namespace pulpex::test
