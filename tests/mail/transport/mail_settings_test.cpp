// Mail server settings and their passwords: never plain text in the settings file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "mail/transport/mail_settings.h"
#include "support/testenv.h"

namespace pulpex {
namespace {

QByteArray IniText(const test::TestSystem& t) {
    QFile f(t.sys->IniFile);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(MailSettings, ServersRoundTripAndPasswordsAreSessionOnlyOrSealed) {
    test::TestSystem t;
    ForgetSessionMailPasswords();
    TMailServer smtp;
    smtp.host = QStringLiteral("poczta.firma.pl");
    smtp.port = 587;
    smtp.security = MailSecurity::StartTls;
    smtp.user = QStringLiteral("sekretariat");
    ASSERT_TRUE(WriteMailServerConfig(MailAccount::Smtp, smtp));
    TMailServer pop = smtp;
    pop.port = 995;
    pop.security = MailSecurity::Tls;
    pop.acceptedCertificate = QStringLiteral("/etc/pulpex/poczta.pem");
    ASSERT_TRUE(WriteMailServerConfig(MailAccount::Pop, pop));

    // For the session only: nothing of it in the file.
    ASSERT_TRUE(SetMailPassword(MailAccount::Smtp, QStringLiteral("Zażółć-1"), false));
    EXPECT_FALSE(IniText(t).contains(QStringLiteral("Zażółć").toUtf8()));
    TMailServer read = MailServerFromConfig(MailAccount::Smtp);
    EXPECT_EQ(read.host, smtp.host);
    EXPECT_EQ(read.port, 587);
    EXPECT_EQ(read.security, MailSecurity::StartTls);
    EXPECT_EQ(read.user, smtp.user);
    EXPECT_EQ(read.password, QStringLiteral("Zażółć-1"));
    ForgetSessionMailPasswords();
    EXPECT_TRUE(MailServerFromConfig(MailAccount::Smtp).password.isEmpty());

    // Remembered: sealed in the file, the key readable by its owner only.
    ASSERT_TRUE(SetMailPassword(MailAccount::Pop, QStringLiteral("tajne-hasło"), true));
    ForgetSessionMailPasswords();
    const QByteArray ini = IniText(t);
    EXPECT_FALSE(ini.contains(QStringLiteral("tajne-hasło").toUtf8()));
    EXPECT_TRUE(ini.contains("smb_pop_password=s1:"));
    read = MailServerFromConfig(MailAccount::Pop);
    EXPECT_EQ(read.password, QStringLiteral("tajne-hasło"));
    EXPECT_EQ(read.security, MailSecurity::Tls);
    EXPECT_EQ(read.acceptedCertificate, pop.acceptedCertificate);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(MailKeyFile()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Another key (another machine, a copied settings file) opens nothing; nor does tampering.
    const QString sealed = SealPassword(QStringLiteral("x"), MailKeyFile());
    EXPECT_TRUE(OpenPassword(sealed, t.dir.filePath(QStringLiteral("other.key"))).isEmpty());
    QString tampered = sealed;
    tampered[tampered.size() - 3] =
        tampered[tampered.size() - 3] == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');
    EXPECT_TRUE(OpenPassword(tampered, MailKeyFile()).isEmpty());

    // Not remembered any more: the sealed copy goes.
    ASSERT_TRUE(SetMailPassword(MailAccount::Pop, QStringLiteral("nowe"), false));
    EXPECT_FALSE(IniText(t).contains("smb_pop_password=s1:"));
    ForgetSessionMailPasswords();
}

}  // namespace
}  // namespace pulpex
