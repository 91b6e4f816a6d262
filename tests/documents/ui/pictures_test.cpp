// The stored forms of pages and embedded documents (run with the windows' application object,
// which the image plugins need).
#include "documents/pictures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include "documents/embedded.h"

namespace pulpex {
namespace {

QByteArray formatOf(const QByteArray& bytes) {
    QBuffer b;
    b.setData(bytes);
    b.open(QIODevice::ReadOnly);
    return QImageReader(&b).format();
}

TEST(StoredPictures, GreyPagesBecomeGreyJpegAndTwoColouredPagesOneBitPng) {
    QImage grey(400, 300, QImage::Format_Grayscale8);
    grey.fill(180);
    const QByteArray g = StoredPicture(grey);
    EXPECT_EQ(formatOf(g), "jpeg");
    const QImage back = QImage::fromData(g);
    EXPECT_EQ(back.size(), grey.size());
    EXPECT_TRUE(back.isGrayscale());

    QImage mono(400, 300, QImage::Format_Mono);
    mono.fill(1);
    const QByteArray m = StoredPicture(mono);
    EXPECT_EQ(formatOf(m), "png");
    EXPECT_EQ(QImage::fromData(m).depth(), 1);
    EXPECT_EQ(StoredPictureSize(m), QSize(400, 300));
    EXPECT_FALSE(StoredPictureSize(QByteArray("nie obraz")).isValid());
}

TEST(StoredPictures, AJpegFileKeepsItsBytesAndABitmapIsCompressed) {
    QTemporaryDir dir;
    QImage colour(200, 100, QImage::Format_RGB32);
    colour.fill(Qt::darkGreen);
    const QString jpg = dir.filePath(QStringLiteral("zdjecie.JPG"));
    const QString bmp = dir.filePath(QStringLiteral("skan.bmp"));
    ASSERT_TRUE(colour.save(jpg, "JPEG"));
    ASSERT_TRUE(colour.save(bmp, "BMP"));
    QFile f(jpg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    auto pages = ReadPicturePages(jpg);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].stored, f.readAll());
    pages = ReadPicturePages(bmp);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(formatOf(pages[0].stored), "jpeg");
    EXPECT_LT(pages[0].stored.size(), QFile(bmp).size() / 4);

    QString error;
    const QString text = dir.filePath(QStringLiteral("pismo.png"));
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("to nie jest obraz");
    t.close();
    EXPECT_TRUE(ReadPicturePages(text, &error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("Nie można odczytać obrazu"))) << error.toStdString();
    EXPECT_TRUE(IsPictureFileName(QStringLiteral("A.TIFF")));
    EXPECT_FALSE(IsPictureFileName(QStringLiteral("a.pdf")));
}

TEST(EmbeddedDocuments, OurContainerRoundTripsAndAnythingElseIsNotTakenForIt) {
    TEmbeddedDocument doc{QStringLiteral("Umowa – Łódź.odt"),
                          QStringLiteral("application/vnd.oasis.opendocument.text"),
                          QByteArray("\x00\x01PK\x03\x04 treść", 14)};
    const QByteArray packed = PackEmbedded(doc);
    const auto back = UnpackEmbedded(packed);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->fileName, doc.fileName);
    EXPECT_EQ(back->mimeType, doc.mimeType);
    EXPECT_EQ(back->data, doc.data);
    // Cut short or lengthened: not ours any more, so it is kept as it is and never misread.
    EXPECT_FALSE(UnpackEmbedded(packed.left(packed.size() - 1)).has_value());
    EXPECT_FALSE(UnpackEmbedded(packed + 'x').has_value());
    EXPECT_FALSE(UnpackEmbedded(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)).has_value());
    // An empty document is still a document.
    const auto empty = UnpackEmbedded(PackEmbedded({QStringLiteral("a.txt"), {}, {}}));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->data.isEmpty());
}

}  // namespace
}  // namespace pulpex
