// Real mail servers on 127.0.0.1 for window tests: aiosmtpd started per test
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
    // A new mailbox of `user` holding `letters` in this order; its server settings.
    TMailServer mailbox(const QString& user, const QList<QByteArray>& letters) const {
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
        s.port = plainPort;
        s.user = user;
        s.password = QStringLiteral("tajne");
        s.timeoutMs = 5000;
        return s;
    }
    int plainPort = 0, tlsPort = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

}  // namespace pulpex::test
