#include "core/ui/text_file.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include "core/prompts.h"

namespace pulpex {

std::optional<QString> ReadTextFile(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = f.errorString();
        return std::nullopt;
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error) *error = f.errorString();
        return std::nullopt;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QString text;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf8.decode(bytes);
    if (utf8.hasError()) {
        QStringDecoder cp1250("windows-1250");
        text = cp1250.isValid() ? cp1250.decode(bytes) : QString::fromLatin1(bytes);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

bool WriteTextFile(const QString& path, const QString& text, QString* error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0 || !f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    return true;
}

std::optional<QString> AskAndReadTextFile(const QString& caption) {
    const QString path = prompts().openFileName(caption, kTextFileFilter, {});
    if (path.isEmpty()) return std::nullopt;
    QString error;
    std::optional<QString> text = ReadTextFile(path, &error);
    if (!text)
        prompts().message(Severity::Error, QStringLiteral("Nie można odczytać pliku %1.\r\n%2")
                                               .arg(QDir::toNativeSeparators(path), error));
    return text;
}

bool AskAndWriteTextFile(const QString& caption, const QString& text) {
    const QString path =
        prompts().saveFileName(caption, kTextFileFilter, {}, QStringLiteral("txt"));
    if (path.isEmpty()) return false;
    QString error;
    if (WriteTextFile(path, text, &error)) return true;
    prompts().message(Severity::Error, QStringLiteral("Nie można zapisać pliku %1.\r\n%2")
                                           .arg(QDir::toNativeSeparators(path), error));
    return false;
}

}  // namespace pulpex
