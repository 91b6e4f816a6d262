// Text recognition of page images over Tesseract with the Polish data. TRecognizer does the work
// in the calling thread; TRecognitionJob runs it on a thread of its own and reports on the
// thread of a context object, so that a window stays responsive while a page is read.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

struct Pix;
namespace tesseract {
class TessBaseAPI;
}

namespace pulpex::ocr {

inline constexpr const char* kLanguage = "pol";

// The Tesseract data directory that the pattern path (MainDir + "patterns/pattern.dat") names:
// the pattern file's directory when it holds the Polish data, otherwise empty, which stands for
// the system's data.
QString TessDataDirFor(const QString& patternPath);

struct TRecognitionResult {
    enum class Status { Done, Stopped, Failed };
    Status status = Status::Failed;
    QString text;   // the recognised text (UTF-8 from Tesseract); empty unless Done
    QString error;  // a Polish message when Failed
};

class TRecognizer {
  public:
    TRecognizer();
    ~TRecognizer();
    TRecognizer(const TRecognizer&) = delete;
    TRecognizer& operator=(const TRecognizer&) = delete;

    // Where the language data are, as a pattern path (see TessDataDirFor). Takes effect at the
    // next recognition.
    void SetDataPath(const QString& patternPath);

    // Loads a page. False, with a Polish message, when the file cannot be read as an image.
    // A resolution of 0 takes the one stored in the file, or 300 dpi when it stores none.
    bool LoadFile(const QString& fileName, QString* error = nullptr, int dpi = 0);
    bool LoadImage(const QImage& image, int dpi = 0);
    bool HasImage() const { return pix_ || !image_.isNull(); }

    // Recognises the loaded page. `progress` (0..100) is called on the calling thread as the
    // work goes on; `stop`, when it turns true, ends the work early with Stopped.
    TRecognitionResult Recognise(const std::function<void(int)>& progress = {},
                                 const std::atomic_bool* stop = nullptr);

  private:
    struct PixDeleter {
        void operator()(Pix* p) const;
    };
    struct ApiDeleter {
        void operator()(tesseract::TessBaseAPI* api) const;
    };
    bool ensureEngine(QString& error);

    QString dataDir_;
    QString engineDataDir_;
    std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api_;
    std::unique_ptr<Pix, PixDeleter> pix_;  // a page read from a file
    QImage image_;                          // or one given in memory, 8-bit grey
    int dpi_ = 0;
};

// One recognition on a thread of its own. Progress and the result are delivered as queued calls
// on `context`'s thread (the user-interface thread), and dropped when `context` is gone by then:
// a caller that must store the text whatever happens to its window passes a longer-lived
// context (the application object). Destroying the job stops the work and waits for its thread.
class TRecognitionJob {
  public:
    struct Input {
        QString fileName;  // read when `image` is null
        QImage image;
        int dpi = 0;
        QString patternPath;
    };
    using ProgressFn = std::function<void(int)>;
    using DoneFn = std::function<void(const TRecognitionResult&)>;

    TRecognitionJob(Input input, QObject* context, ProgressFn progress, DoneFn done);
    ~TRecognitionJob();
    TRecognitionJob(const TRecognitionJob&) = delete;
    TRecognitionJob& operator=(const TRecognitionJob&) = delete;

    // Asks the work to end; the result then comes as Stopped (unless it was already done).
    void Stop() { stop_ = true; }
    bool Finished() const { return finished_; }

  private:
    std::atomic_bool stop_{false};
    std::atomic_bool finished_{false};
    std::thread thread_;
};

// Limits the OpenMP threads that Tesseract starts from the calling thread to one: on a machine
// shared with the user's work the threads spin more than they help (4 s against 1.4 s a page).
void LimitRecognitionThreads();

}  // namespace pulpex::ocr
