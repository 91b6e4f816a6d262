#include "documents/scanner/scanner_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "documents/ocr/deliver.h"

namespace pulpex::scanner {

struct TScannerLink::Shared {
    Handlers handlers;
    QString workDir;
    std::atomic_bool stop{false};
    std::atomic_bool busy{false};
};

bool IsPageReady(const QString& itemValue) {
    // Only the first line counts.
    qsizetype eol = 0;
    while (eol < itemValue.size() && itemValue[eol] != QLatin1Char('\r') &&
           itemValue[eol] != QLatin1Char('\n'))
        ++eol;
    return QStringView(itemValue).left(eol).startsWith(kPageReady);
}

namespace {

// A grey page as an 8-bit palette image over the same bytes, so that the bitmap keeps one byte
// a pixel (a quarter of the true-colour size) and reads back as grey anywhere.
QImage bmpImage(const QImage& page) {
    if (page.format() != QImage::Format_Grayscale8) return page;
    QImage indexed(page.constBits(), page.width(), page.height(), page.bytesPerLine(),
                   QImage::Format_Indexed8);
    QList<QRgb> grey(256);
    for (int i = 0; i < 256; ++i)
        grey[i] = qRgb(i, i, i);
    indexed.setColorTable(grey);
    return indexed;
}

}  // namespace

bool WriteExchangeFiles(const TScannedPage& page, const QString& dir, QString* error) {
    const QString pagePath = QDir(dir).filePath(kPageFile);
    const QString rozPath = QDir(dir).filePath(kResolutionFile);
    const auto fail = [&](const QString& path) {
        if (error != nullptr)
            *error =
                QStringLiteral("Nie można zapisać zeskanowanej strony do pliku \"%1\".").arg(path);
        return false;
    };
    // Both files are complete under temporary names before either takes its real name; the
    // window reads them only when told, which happens only after both are in place.
    QSaveFile bmp(pagePath);
    if (!bmp.open(QIODevice::WriteOnly) || !bmpImage(page.image).save(&bmp, "BMP"))
        return fail(pagePath);
    QSaveFile roz(rozPath);
    if (!roz.open(QIODevice::WriteOnly)) return fail(rozPath);
    roz.write(QByteArray::number(page.dpiX) + "\r\n" + QByteArray::number(page.dpiY) + "\r\n");
    if (!bmp.commit()) return fail(pagePath);
    if (!roz.commit()) return fail(rozPath);
    return true;
}

TScannerLink::TScannerLink(QObject* context, Handlers handlers, QString workDir)
    : context_(context), shared_(std::make_shared<Shared>()) {
    shared_->handlers = std::move(handlers);
    shared_->workDir = workDir.isEmpty() ? QDir::currentPath() : std::move(workDir);
}

bool TScannerLink::Busy() const {
    return shared_->busy;
}

void TScannerLink::Stop() {
    shared_->stop = true;
}

TScannerLink::~TScannerLink() {
    shared_->stop = true;
    if (thread_.joinable()) thread_.join();
}

bool TScannerLink::Open(const QString& service, const QString& topic, const QString& item,
                        const TScanSettings& settings) {
    if (service.compare(kLinkService, Qt::CaseInsensitive) != 0 ||
        topic.compare(kLinkTopic, Qt::CaseInsensitive) != 0 ||
        item.compare(kLinkItem, Qt::CaseInsensitive) != 0)
        return false;
    if (shared_->busy) return false;
    if (thread_.joinable()) thread_.join();
    shared_->busy = true;
    shared_->stop = false;

    const QPointer<QObject> ctx = context_;
    std::shared_ptr<Shared> shared = shared_;
    auto post = [ctx](std::function<void()> f) { ocr::DeliverTo(ctx, std::move(f)); };
    thread_ = std::thread([shared, settings, post] {
        const auto delivered = std::make_shared<std::atomic_int>(0);
        const TScanOutcome outcome = ScanPages(
            settings,
            [&](const TScannedPage& page) {
                // Written on the receiving thread just before it is told, so that the next page
                // cannot overwrite a page the window has not read yet.
                post([shared, page, delivered] {
                    if (shared->stop) return;
                    QString error;
                    if (!WriteExchangeFiles(page, shared->workDir, &error)) {
                        shared->stop = true;
                        if (shared->handlers.error) shared->handlers.error(error);
                        return;
                    }
                    ++*delivered;
                    if (shared->handlers.itemChanged) shared->handlers.itemChanged(kPageReady);
                });
            },
            &shared->stop);
        const QString error = outcome.error;
        post([shared, error, delivered] {
            if (!error.isEmpty() && shared->handlers.error) shared->handlers.error(error);
            if (shared->handlers.finished) shared->handlers.finished(*delivered);
        });
        // The pages still on their way are written in order on the receiving thread, so
        // another scan may begin now.
        shared->busy = false;
    });
    return true;
}

}  // namespace pulpex::scanner
