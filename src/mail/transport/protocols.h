// What the mail transfer library of this machine can do: the program sends over SMTP (plain or
// TLS) and fetches over POP3 (plain or TLS). Checked once after installation.
#pragma once

#include <QString>
#include <QStringList>

namespace pulpex {

// The protocols the mail transfer needs ("smtp", "smtps", "pop3", "pop3s").
const QStringList& RequiredMailProtocols();
// Those of them the transfer library was built without.
QStringList MissingMailProtocols();
// One line for the diagnostics log: the library's version and what is missing.
QString MailProtocolsReport();

}  // namespace pulpex
