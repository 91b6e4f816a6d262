#include "documents/ocr/recognizer.h"

#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <cmath>

#include "documents/ocr/deliver.h"

namespace pulpex::ocr {

namespace {

constexpr int kDefaultDpi = 300;

// The state the engine's monitor callbacks reach through its cancel_this pointer.
struct MonitorState {
    const std::function<void(int)>* progress = nullptr;
    const std::atomic_bool* stop = nullptr;
    int lastReported = -1;
};

bool cancelRequested(void* state, int /*words*/) {
    const auto* s = static_cast<MonitorState*>(state);
    return s->stop != nullptr && s->stop->load();
}

bool progressed(tesseract::ETEXT_DESC* monitor, int, int, int, int) {
    auto* s = static_cast<MonitorState*>(monitor->cancel_this);
    const int p = monitor->progress;
    if (s->progress != nullptr && *s->progress && p != s->lastReported) {
        s->lastReported = p;
        (*s->progress)(p);
    }
    return true;
}

TRecognitionResult failed(const QString& error) {
    TRecognitionResult r;
    r.status = TRecognitionResult::Status::Failed;
    r.error = error;
    return r;
}

TRecognitionResult stopped() {
    TRecognitionResult r;
    r.status = TRecognitionResult::Status::Stopped;
    return r;
}

}  // namespace

QString TessDataDirFor(const QString& patternPath) {
    if (patternPath.isEmpty()) return {};
    const QString dir = QFileInfo(patternPath).absolutePath();
    if (QFileInfo::exists(dir + QStringLiteral("/") + QLatin1String(kLanguage) +
                          QStringLiteral(".traineddata")))
        return dir;
    return {};
}

void LimitRecognitionThreads() {
    // Looked up at run time: Tesseract brings the OpenMP runtime with it when it uses one, and
    // without it there is nothing to limit.
    using SetThreads = void (*)(int);
    if (auto f = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) f(1);
}

void TRecognizer::PixDeleter::operator()(Pix* p) const {
    pixDestroy(&p);
}

void TRecognizer::ApiDeleter::operator()(tesseract::TessBaseAPI* api) const {
    api->End();
    delete api;
}

TRecognizer::TRecognizer() = default;
TRecognizer::~TRecognizer() = default;

void TRecognizer::SetDataPath(const QString& patternPath) {
    dataDir_ = TessDataDirFor(patternPath);
}

bool TRecognizer::LoadFile(const QString& fileName, QString* error, int dpi) {
    pix_.reset();
    image_ = QImage();
    Pix* p =
        QFileInfo(fileName).isFile() ? pixRead(QFile::encodeName(fileName).constData()) : nullptr;
    if (p == nullptr) {
        if (error != nullptr)
            *error = QStringLiteral("Nie można odczytać obrazu z pliku \"%1\".").arg(fileName);
        return false;
    }
    pix_.reset(p);
    dpi_ = dpi > 0 ? dpi : (pixGetXRes(p) > 0 ? pixGetXRes(p) : kDefaultDpi);
    return true;
}

bool TRecognizer::LoadImage(const QImage& image, int dpi) {
    pix_.reset();
    image_ = image.convertToFormat(QImage::Format_Grayscale8);
    dpi_ = dpi > 0 ? dpi : kDefaultDpi;
    return !image_.isNull();
}

bool TRecognizer::ensureEngine(QString& error) {
    if (api_ && engineDataDir_ == dataDir_) return true;
    api_.reset();
    std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api(new tesseract::TessBaseAPI);
    // The engine's diagnostics (missing resolution, data file lookups) are not for the user.
    api->SetVariable("debug_file", "/dev/null");
    const QByteArray dir = QFile::encodeName(dataDir_);
    if (api->Init(dataDir_.isEmpty() ? nullptr : dir.constData(), kLanguage) != 0) {
        // End() is safe on an engine whose Init failed.
        error = QStringLiteral("Brak danych rozpoznawania tekstu w języku polskim.");
        return false;
    }
    api_ = std::move(api);
    engineDataDir_ = dataDir_;
    return true;
}

TRecognitionResult TRecognizer::Recognise(const std::function<void(int)>& progress,
                                          const std::atomic_bool* stop) {
    if (!HasImage()) return failed(QStringLiteral("Nie wczytano obrazu do rozpoznania."));
    QString error;
    if (!ensureEngine(error)) return failed(error);
    if (stop != nullptr && stop->load()) return stopped();

    if (pix_)
        api_->SetImage(pix_.get());
    else
        api_->SetImage(image_.constBits(), image_.width(), image_.height(), 1,
                       static_cast<int>(image_.bytesPerLine()));
    api_->SetSourceResolution(dpi_);

    MonitorState state;
    state.progress = &progress;
    state.stop = stop;
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.progress_callback2 = &progressed;
    monitor.cancel_this = &state;

    const int rc = api_->Recognize(&monitor);
    if (stop != nullptr && stop->load()) {
        api_->Clear();
        return stopped();
    }
    if (rc != 0) {
        api_->Clear();
        return failed(QStringLiteral("Rozpoznawanie tekstu nie powiodło się."));
    }
    std::unique_ptr<char[]> text(api_->GetUTF8Text());
    api_->Clear();
    TRecognitionResult r;
    r.status = TRecognitionResult::Status::Done;
    if (text) r.text = QString::fromUtf8(text.get());
    if (progress && state.lastReported != 100) progress(100);
    return r;
}

TRecognitionJob::TRecognitionJob(Input input, QObject* context, ProgressFn progress, DoneFn done) {
    const QPointer<QObject> ctx(context);
    auto post = [ctx](std::function<void()> f) { DeliverTo(ctx, std::move(f)); };
    thread_ = std::thread([this, input = std::move(input), post, progress = std::move(progress),
                           done = std::move(done)] {
        LimitRecognitionThreads();
        TRecognizer recognizer;
        recognizer.SetDataPath(input.patternPath);
        TRecognitionResult result;
        QString error;
        const bool loaded = input.image.isNull()
                                ? recognizer.LoadFile(input.fileName, &error, input.dpi)
                                : recognizer.LoadImage(input.image, input.dpi);
        if (!loaded) {
            result = failed(error.isEmpty() ? QStringLiteral("Nie wczytano obrazu do rozpoznania.")
                                            : error);
        } else {
            std::function<void(int)> report;
            if (progress) report = [&](int p) { post([progress, p] { progress(p); }); };
            result = recognizer.Recognise(report, &stop_);
        }
        finished_ = true;
        if (done) post([done, result] { done(result); });
    });
}

TRecognitionJob::~TRecognitionJob() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

}  // namespace pulpex::ocr
