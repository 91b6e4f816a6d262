// The recognition run of stored pages: pages wait in one queue and are read one at a time off
// the user-interface thread; each page's text is written into its PISMA row as soon as it is
// recognised, also when the window that stored the page has been closed meanwhile. The page is
// stored before it is queued, so stopping or a failure leaves the document with its picture and
// without text.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace pulpex {

namespace ocr {
class TRecognitionJob;
struct TRecognitionResult;
}  // namespace ocr

// Writes recognised text into the PIS_IDX of document `documentId` (catalogue table). False when
// the row is gone or cannot be written now; engine errors are not thrown.
bool StoreRecognisedText(int documentId, const QString& text);

// A QObject only as the context the recognition jobs report to; it lives as long as the
// application object that owns it.
class TRecognitionQueue : public QObject {
  public:
    struct Handlers {
        // Percent of the page being read, and the pages of the event still to be read.
        std::function<void(int eventId, int percent, int pending)> progress;
        // The document's row got its text (`text` empty when nothing was recognised or the run
        // was stopped or failed).
        std::function<void(int eventId, int documentId, const QString& text)> stored;
        // The last page of the event is done.
        std::function<void(int eventId)> idle;
    };

    // The program's one queue, owned by the application object.
    static TRecognitionQueue& Instance();

    // Queues `page` of document `documentId` of event `eventId`.
    void Add(int eventId, int documentId, const QImage& page, int dpi);
    // Drops the event's waiting pages and stops the one being read.
    void Stop(int eventId);
    // Pages of the event still to be read, the one being read included.
    int Pending(int eventId) const;
    bool Busy() const { return job_ != nullptr; }
    // Tells `owner` what happens until `owner` is destroyed.
    void Watch(QObject* owner, Handlers handlers);

  private:
    explicit TRecognitionQueue(QObject* parent);
    ~TRecognitionQueue() override;
    struct Task {
        int eventId = 0;
        int documentId = 0;
        QImage page;
        int dpi = 0;
    };
    void startNext();
    void finished(const ocr::TRecognitionResult& result);
    template <class F>
    void tell(F f);

    std::vector<std::pair<QPointer<QObject>, Handlers>> watchers_;

    std::deque<Task> waiting_;
    Task current_;
    std::unique_ptr<ocr::TRecognitionJob> job_;
};

}  // namespace pulpex
