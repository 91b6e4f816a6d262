#include "documents/embedded.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

namespace pulpex {

namespace {

constexpr char kMagic[] = "PXEMBED1";
constexpr qsizetype kMagicSize = 8;

void appendLength(QByteArray& out, quint64 n, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((n >> (8 * i)) & 0xFF));
}

// Reads a little-endian length of `bytes` bytes at `pos`; false when the block ends first.
bool readLength(const QByteArray& in, qsizetype& pos, int bytes, quint64& n) {
    if (in.size() - pos < bytes) return false;
    n = 0;
    for (int i = 0; i < bytes; ++i)
        n |= static_cast<quint64>(static_cast<unsigned char>(in[pos + i])) << (8 * i);
    pos += bytes;
    return true;
}

}  // namespace

QByteArray PackEmbedded(const TEmbeddedDocument& doc) {
    const QByteArray name = doc.fileName.toUtf8().left(0xFFFF);
    const QByteArray mime = doc.mimeType.toLatin1().left(0xFFFF);
    QByteArray out(kMagic, kMagicSize);
    appendLength(out, static_cast<quint64>(name.size()), 2);
    out.append(name);
    appendLength(out, static_cast<quint64>(mime.size()), 2);
    out.append(mime);
    appendLength(out, static_cast<quint64>(doc.data.size()), 8);
    out.append(doc.data);
    return out;
}

std::optional<TEmbeddedDocument> UnpackEmbedded(const QByteArray& stored) {
    if (!stored.startsWith(QByteArray(kMagic, kMagicSize))) return std::nullopt;
    qsizetype pos = kMagicSize;
    quint64 n = 0;
    TEmbeddedDocument doc;
    if (!readLength(stored, pos, 2, n) || static_cast<quint64>(stored.size() - pos) < n)
        return std::nullopt;
    doc.fileName = QString::fromUtf8(stored.mid(pos, static_cast<qsizetype>(n)));
    pos += static_cast<qsizetype>(n);
    if (!readLength(stored, pos, 2, n) || static_cast<quint64>(stored.size() - pos) < n)
        return std::nullopt;
    doc.mimeType = QString::fromLatin1(stored.mid(pos, static_cast<qsizetype>(n)));
    pos += static_cast<qsizetype>(n);
    if (!readLength(stored, pos, 8, n) || static_cast<quint64>(stored.size() - pos) != n)
        return std::nullopt;
    doc.data = stored.mid(pos);
    return doc;
}

std::optional<TEmbeddedDocument> EmbeddedFromFile(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error != nullptr) *error = QStringLiteral("Nie można odczytać pliku \"%1\".").arg(path);
        return std::nullopt;
    }
    TEmbeddedDocument doc;
    doc.data = f.readAll();
    doc.fileName = QFileInfo(path).fileName();
    doc.mimeType = QMimeDatabase().mimeTypeForFileNameAndData(path, doc.data).name();
    return doc;
}

}  // namespace pulpex
