// The mail servers of the current user, from section "config_" + user of the settings file, and
// their passwords. A password is kept for the session only, unless the user asks to remember it;
// then it is stored sealed (libsodium secretbox) with a key file readable only by that user
// ($XDG_CONFIG_HOME/pulpex/mail.key), never as plain text.
#pragma once

#include <QString>

#include "mail/transport/mail_transfer.h"

namespace pulpex {

enum class MailAccount { Smtp, Pop };

// Server, port, security ("brak", "starttls", "tls"), user, accepted certificate and the
// password (session first, then the remembered one) of the account.
TMailServer MailServerFromConfig(MailAccount account);
// Writes the settings of the account (not its password).
bool WriteMailServerConfig(MailAccount account, const TMailServer& server);

// How long a transfer waits for a server that does not answer, in seconds (both accounts;
// 30 when not set).
int MailTimeoutSeconds();
bool WriteMailTimeoutSeconds(int seconds);

// The password for this session; `remember` also stores it sealed, otherwise a stored one is
// removed. False when it could not be stored.
bool SetMailPassword(MailAccount account, const QString& password, bool remember);
QString MailPassword(MailAccount account);
// Forgets the session passwords (a new login).
void ForgetSessionMailPasswords();

// The sealed form of `plain` ("s1:" + base64 of nonce and box) with the key in `keyFile`,
// created (mode 0600) when missing; empty when the key cannot be made. Opening gives an empty text
// for anything that was not sealed with that key.
QString SealPassword(const QString& plain, const QString& keyFile);
QString OpenPassword(const QString& sealed, const QString& keyFile);
QString MailKeyFile();

MailSecurity MailSecurityFromText(const QString& text);
QString MailSecurityText(MailSecurity security);

}  // namespace pulpex
