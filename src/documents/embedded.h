// Embedded documents of PISMA.PIS_OLE. What the program embeds (an office document, a PDF, a
// picture) is kept whole in a small container of our own: the file's bytes with its original
// name and type, so that it can be opened again with the desktop's application. A stream the old
// Windows program wrote (an OLE container's stream) is not ours: it is kept byte for byte.
//
// Container layout (little-endian):
//   0   8  "PXEMBED1"
//   8   2  length n of the original file name, then n bytes of UTF-8
//   .   2  length m of the MIME type, then m bytes of ASCII
//   .   8  length k of the document, then its k bytes
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace pulpex {

struct TEmbeddedDocument {
    QString fileName;  // without folder, e.g. "umowa.odt"
    QString mimeType;  // e.g. "application/vnd.oasis.opendocument.text"
    QByteArray data;
};

// Stored objects of this size or less count as empty.
inline constexpr qsizetype kEmptyObjectSize = 32;

QByteArray PackEmbedded(const TEmbeddedDocument& doc);
// The document of a container of ours; nullopt for anything else (an old OLE stream, damage).
std::optional<TEmbeddedDocument> UnpackEmbedded(const QByteArray& stored);

// A document made from a file: its bytes, its name and the type guessed from name and content.
// nullopt (with a Polish message) when the file cannot be read.
std::optional<TEmbeddedDocument> EmbeddedFromFile(const QString& path, QString* error = nullptr);

}  // namespace pulpex
