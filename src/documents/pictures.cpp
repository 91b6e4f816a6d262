#include "documents/pictures.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>

namespace pulpex {

QStringList PictureFilePatterns() {
    return {QStringLiteral("*.bmp"),  QStringLiteral("*.png"), QStringLiteral("*.jpg"),
            QStringLiteral("*.jpeg"), QStringLiteral("*.tif"), QStringLiteral("*.tiff")};
}

bool IsPictureFileName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    for (const QString& p : PictureFilePatterns())
        if (p.mid(2) == suffix) return true;
    return false;
}

namespace {

bool twoColoured(const QImage& image) {
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
        return true;
    return image.format() == QImage::Format_Indexed8 && image.colorCount() <= 2;
}

}  // namespace

QByteArray StoredPicture(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (twoColoured(image)) {
        QImageWriter w(&buffer, "PNG");
        w.setCompression(9);
        if (!w.write(image.convertToFormat(QImage::Format_Mono))) return {};
        return bytes;
    }
    QImageWriter w(&buffer, "JPEG");
    w.setQuality(90);
    const bool grey = image.isGrayscale();
    if (!w.write(grey ? image.convertToFormat(QImage::Format_Grayscale8)
                      : image.convertToFormat(QImage::Format_RGB32)))
        return {};
    return bytes;
}

QList<TPicturePage> PicturePagesFromBytes(const QByteArray& bytes) {
    QList<TPicturePage> pages;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const int count = std::max(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToNextImage()) break;
        TPicturePage page;
        page.image = reader.read();
        if (page.image.isNull()) break;
        // A JPEG or PNG keeps its own bytes: no second compression.
        page.stored =
            count == 1 && (format == "jpeg" || format == "png") ? bytes : StoredPicture(page.image);
        if (page.stored.isEmpty()) return {};
        pages.push_back(std::move(page));
    }
    return pages;
}

QList<TPicturePage> ReadPicturePages(const QString& fileName, QString* error) {
    QFile file(fileName);
    QList<TPicturePage> pages;
    if (file.open(QIODevice::ReadOnly)) pages = PicturePagesFromBytes(file.readAll());
    if (pages.isEmpty() && error != nullptr)
        *error = QStringLiteral("Nie można odczytać obrazu z pliku \"%1\".").arg(fileName);
    return pages;
}

QSize StoredPictureSize(const QByteArray& bytes) {
    if (bytes.isEmpty()) return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.size();
}

}  // namespace pulpex
