// Page images of PISMA.Rysunek: reading pages from image files and the form they are stored in.
//
// Stored form: a grey or colour page is kept as JPEG (quality 90), a page of two colours (a fax
// or a black-and-white scan) as PNG of one bit a pixel. A grey A4 page at 300 dpi with a
// scanner's noise takes about 2 MB as JPEG against 8.7 MB as a bitmap (docs/performance.md), so a
// year of daily scanning stays within a few gigabytes. A JPEG or PNG file loaded as it is keeps
// its own bytes. Whatever is stored reads back as a picture (QImage::fromData), old Windows
// bitmaps included.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

namespace pulpex {

// The file patterns the documents window offers: BMP, PNG, JPEG, TIFF.
QStringList PictureFilePatterns();
// Whether a file name has one of those extensions (any case).
bool IsPictureFileName(const QString& fileName);

// One page of an image file, ready to be stored.
struct TPicturePage {
    QImage image;
    QByteArray stored;  // the bytes for Rysunek
};

// The pages of an image file: a multi-page TIFF gives one page each. Empty, with a Polish
// message, when the file cannot be read as a picture.
QList<TPicturePage> ReadPicturePages(const QString& fileName, QString* error = nullptr);

// The same of a picture file's bytes (an attachment of a letter); empty when they are no picture.
QList<TPicturePage> PicturePagesFromBytes(const QByteArray& bytes);

// The stored form of a page (see above).
QByteArray StoredPicture(const QImage& image);

// The size of a stored picture read from its header only; invalid when the bytes are no picture.
QSize StoredPictureSize(const QByteArray& bytes);

}  // namespace pulpex
