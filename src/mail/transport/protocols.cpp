#include "mail/transport/protocols.h"

#include <curl/curl.h>

namespace pulpex {

const QStringList& RequiredMailProtocols() {
    static const QStringList list{QStringLiteral("smtp"), QStringLiteral("smtps"),
                                  QStringLiteral("pop3"), QStringLiteral("pop3s")};
    return list;
}

QStringList MissingMailProtocols() {
    QStringList offered;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info && info->protocols)
        for (const char* const* p = info->protocols; *p; ++p)
            offered << QString::fromLatin1(*p).toLower();
    QStringList missing;
    for (const QString& p : RequiredMailProtocols())
        if (!offered.contains(p)) missing << p;
    return missing;
}

QString MailProtocolsReport() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    const QString version = info && info->version ? QString::fromLatin1(info->version) : QString();
    const QStringList missing = MissingMailProtocols();
    if (missing.isEmpty())
        return QStringLiteral("Poczta: biblioteka curl %1 obsługuje %2")
            .arg(version, RequiredMailProtocols().join(QStringLiteral(", ")));
    return QStringLiteral("Poczta: biblioteka curl %1 nie obsługuje %2")
        .arg(version, missing.join(QStringLiteral(", ")));
}

}  // namespace pulpex
