#include "mail/transport/mail_settings.h"

#include <sodium.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <algorithm>

#include "core/config.h"
#include "core/utils.h"

namespace pulpex {

namespace {

struct Keys {
    const char* server;
    const char* port;
    const char* security;
    const char* user;
    const char* password;
    const char* certificate;
};

const Keys& KeysOf(MailAccount account) {
    static const Keys smtp{"smb_smtp_server", "smb_smtp_port",     "smb_smtp_security",
                           "smb_smtp_user",   "smb_smtp_password", "smb_smtp_certificate"};
    static const Keys pop{"smb_pop_server", "smb_pop_port",     "smb_pop_security",
                          "smb_pop_user",   "smb_pop_password", "smb_pop_certificate"};
    return account == MailAccount::Smtp ? smtp : pop;
}

QMutex sessionLock;
QString sessionPassword[2];
bool sessionSet[2] = {false, false};

int Slot(MailAccount account) {
    return account == MailAccount::Smtp ? 0 : 1;
}

// The key of this user, made on first use; empty when it cannot be read or made.
QByteArray Key(const QString& keyFile, bool create) {
    if (sodium_init() < 0) return {};
    QFile f(keyFile);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray key = f.readAll();
        return key.size() == crypto_secretbox_KEYBYTES ? key : QByteArray();
    }
    if (!create) return {};
    QDir().mkpath(QFileInfo(keyFile).absolutePath());
    QByteArray key(crypto_secretbox_KEYBYTES, '\0');
    randombytes_buf(key.data(), static_cast<size_t>(key.size()));
    // Created private before the key goes in.
    const mode_t old = ::umask(077);
    const bool opened = f.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    ::umask(old);
    if (!opened || f.write(key) != key.size()) return {};
    f.close();
    QFile::setPermissions(keyFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return key;
}

}  // namespace

MailSecurity MailSecurityFromText(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("starttls")) return MailSecurity::StartTls;
    if (t == QLatin1String("tls")) return MailSecurity::Tls;
    return MailSecurity::None;
}

QString MailSecurityText(MailSecurity security) {
    switch (security) {
        case MailSecurity::StartTls:
            return QStringLiteral("starttls");
        case MailSecurity::Tls:
            return QStringLiteral("tls");
        case MailSecurity::None:
            break;
    }
    return QStringLiteral("brak");
}

QString MailKeyFile() {
    return QFileInfo(WinIniPath()).absolutePath() + QStringLiteral("/mail.key");
}

QString SealPassword(const QString& plain, const QString& keyFile) {
    const QByteArray key = Key(keyFile, true);
    if (key.isEmpty()) return {};
    const QByteArray message = plain.toUtf8();
    QByteArray out(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + message.size(), '\0');
    auto* nonce = reinterpret_cast<unsigned char*>(out.data());
    randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(nonce + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char*>(message.constData()),
                          static_cast<unsigned long long>(message.size()), nonce,
                          reinterpret_cast<const unsigned char*>(key.constData()));
    return QStringLiteral("s1:") + QString::fromLatin1(out.toBase64());
}

QString OpenPassword(const QString& sealed, const QString& keyFile) {
    if (!sealed.startsWith(QLatin1String("s1:"))) return {};
    const QByteArray key = Key(keyFile, false);
    const QByteArray box = QByteArray::fromBase64(sealed.mid(3).toLatin1());
    if (key.isEmpty() || box.size() < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES)
        return {};
    QByteArray plain(box.size() - crypto_secretbox_NONCEBYTES - crypto_secretbox_MACBYTES, '\0');
    const auto* nonce = reinterpret_cast<const unsigned char*>(box.constData());
    if (crypto_secretbox_open_easy(
            reinterpret_cast<unsigned char*>(plain.data()), nonce + crypto_secretbox_NONCEBYTES,
            static_cast<unsigned long long>(box.size()) - crypto_secretbox_NONCEBYTES, nonce,
            reinterpret_cast<const unsigned char*>(key.constData())) != 0)
        return {};
    return QString::fromUtf8(plain);
}

bool SetMailPassword(MailAccount account, const QString& password, bool remember) {
    {
        QMutexLocker lock(&sessionLock);
        sessionPassword[Slot(account)] = password;
        sessionSet[Slot(account)] = true;
    }
    const QString key = QString::fromLatin1(KeysOf(account).password);
    if (!remember) return WriteUserConfig(key, QString());
    const QString sealed = SealPassword(password, MailKeyFile());
    return !sealed.isEmpty() && WriteUserConfig(key, sealed);
}

QString MailPassword(MailAccount account) {
    {
        QMutexLocker lock(&sessionLock);
        if (sessionSet[Slot(account)]) return sessionPassword[Slot(account)];
    }
    return OpenPassword(ReadUserConfig(QString::fromLatin1(KeysOf(account).password), QString()),
                        MailKeyFile());
}

void ForgetSessionMailPasswords() {
    QMutexLocker lock(&sessionLock);
    for (int i = 0; i < 2; ++i) {
        sessionPassword[i].clear();
        sessionSet[i] = false;
    }
}

TMailServer MailServerFromConfig(MailAccount account) {
    const Keys& k = KeysOf(account);
    TMailServer s;
    s.host = ReadUserConfig(QString::fromLatin1(k.server), QString()).trimmed();
    s.security = MailSecurityFromText(
        ReadUserConfig(QString::fromLatin1(k.security), QStringLiteral("brak")));
    bool ok = false;
    const int port = ReadUserConfig(QString::fromLatin1(k.port), QString()).toInt(&ok);
    s.port = ok && port > 0 && port < 65536 ? port : 0;
    s.user = ReadUserConfig(QString::fromLatin1(k.user), QString()).trimmed();
    s.acceptedCertificate = ReadUserConfig(QString::fromLatin1(k.certificate), QString());
    s.password = MailPassword(account);
    s.timeoutMs = MailTimeoutSeconds() * 1000;
    return s;
}

namespace {
const QString kTimeoutKey = QStringLiteral("smb_limit_czasu");
constexpr int kDefaultTimeout = 30;
constexpr int kMaxTimeout = 600;
}  // namespace

int MailTimeoutSeconds() {
    bool ok = false;
    const int seconds = ReadUserConfig(kTimeoutKey, QString()).toInt(&ok);
    return ok && seconds >= 1 && seconds <= kMaxTimeout ? seconds : kDefaultTimeout;
}

bool WriteMailTimeoutSeconds(int seconds) {
    return WriteUserConfig(kTimeoutKey, QString::number(std::clamp(seconds, 1, kMaxTimeout)));
}

bool WriteMailServerConfig(MailAccount account, const TMailServer& server) {
    const Keys& k = KeysOf(account);
    bool ok = WriteUserConfig(QString::fromLatin1(k.server), server.host);
    ok = WriteUserConfig(QString::fromLatin1(k.port),
                         server.port > 0 ? QString::number(server.port) : QString()) &&
         ok;
    ok = WriteUserConfig(QString::fromLatin1(k.security), MailSecurityText(server.security)) && ok;
    ok = WriteUserConfig(QString::fromLatin1(k.user), server.user) && ok;
    ok = WriteUserConfig(QString::fromLatin1(k.certificate), server.acceptedCertificate) && ok;
    return ok;
}

}  // namespace pulpex
