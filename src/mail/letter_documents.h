// The attached files of a received letter as documents of the event the letter was registered
// as, so that the paper trail of an e-mailed letter is complete: a picture becomes pages (their
// text recognised afterwards, like a page loaded in the documents window), a PDF an embedded
// document keeping its file name. Other files stay with the letter only.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "mail/transport/mail_transfer.h"

namespace pulpex {

enum class AttachmentKind { Picture, Pdf, Other };

// By the declared type; a file sent as application/octet-stream (or untyped) by its extension.
AttachmentKind KindOfAttachment(const TMailAttachment& attachment);

// The attachment's name for the user: its file name, or its type when it has none.
QString AttachmentName(const TMailAttachment& attachment);

struct TAttachmentsStored {
    int documents = 0;    // PISMA rows added
    QStringList notKept;  // names of the files neither a picture nor a PDF
    QStringList failed;   // names of the pictures and PDFs that could not be stored
    QString reason;       // why the first of them failed, in Polish
};

// Adds the pictures and PDFs among `attachments` to the documents of event `eventId` (catalogue
// table PISMA) and queues the pages for recognition. A file that fails is skipped and named in
// the result; nothing is thrown.
TAttachmentsStored StoreAttachments(int eventId, const QList<TMailAttachment>& attachments);

}  // namespace pulpex
