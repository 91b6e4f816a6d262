#include "mail/letter_documents.h"

#include <QFileInfo>

#include "documents/embedded.h"
#include "documents/pictures.h"
#include "documents/pisma.h"
#include "documents/recognition.h"
#include "tables/globals.h"

namespace pulpex {

namespace {

bool untyped(const QString& mimeType) {
    return mimeType.isEmpty() || mimeType == QLatin1String("application/octet-stream");
}

QString quoted(const QString& name) {
    return QStringLiteral("„%1”").arg(name);
}

}  // namespace

AttachmentKind KindOfAttachment(const TMailAttachment& attachment) {
    const QString type = attachment.mimeType.toLower();
    if (type.startsWith(QLatin1String("image/"))) return AttachmentKind::Picture;
    if (type == QLatin1String("application/pdf") || type == QLatin1String("application/x-pdf"))
        return AttachmentKind::Pdf;
    if (!untyped(type)) return AttachmentKind::Other;
    if (IsPictureFileName(attachment.fileName)) return AttachmentKind::Picture;
    if (QFileInfo(attachment.fileName)
            .suffix()
            .compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return AttachmentKind::Pdf;
    return AttachmentKind::Other;
}

QString AttachmentName(const TMailAttachment& attachment) {
    if (!attachment.fileName.isEmpty()) return quoted(attachment.fileName);
    return QStringLiteral("bez nazwy (%1)")
        .arg(attachment.mimeType.isEmpty() ? QStringLiteral("typ nieznany") : attachment.mimeType);
}

TAttachmentsStored StoreAttachments(int eventId, const QList<TMailAttachment>& attachments) {
    TAttachmentsStored result;
    const auto fail = [&](const TMailAttachment& a, const QString& reason) {
        result.failed << AttachmentName(a);
        if (result.reason.isEmpty()) result.reason = reason;
    };
    for (const TMailAttachment& a : attachments) {
        const AttachmentKind kind = KindOfAttachment(a);
        if (kind == AttachmentKind::Other) {
            result.notKept << AttachmentName(a);
            continue;
        }
        if (TblPisma == nullptr) {
            fail(a, QStringLiteral("Tabela dokumentów PISMA nie jest otwarta."));
            continue;
        }
        try {
            OpenForCall open(*TblPisma);
            if (kind == AttachmentKind::Pdf) {
                TEmbeddedDocument doc;
                doc.fileName = a.fileName.isEmpty() ? QStringLiteral("dokument.pdf") : a.fileName;
                doc.mimeType = QStringLiteral("application/pdf");
                doc.data = a.data;
                TblPisma->DodajObiekt(eventId, PackEmbedded(doc));
                ++result.documents;
                continue;
            }
            const QList<TPicturePage> pages = PicturePagesFromBytes(a.data);
            if (pages.isEmpty()) {
                fail(a, QStringLiteral("Nie można odczytać obrazu z załącznika %1.")
                            .arg(AttachmentName(a)));
                continue;
            }
            // Each page is stored before it is queued, as in the documents window: a page whose
            // recognition fails keeps its picture.
            for (const TPicturePage& page : pages) {
                const int id = TblPisma->DodajStrone(eventId, page.stored);
                ++result.documents;
                TRecognitionQueue::Instance().Add(eventId, id, page.image, 0);
            }
        } catch (const engine::EDatabaseError& e) {
            fail(a, QString::fromUtf8(e.what()));
        }
    }
    return result;
}

}  // namespace pulpex
