#include "documents/recognition.h"

#include <QCoreApplication>
#include <QPointer>

#include "core/system.h"
#include "documents/ocr/recognizer.h"
#include "documents/pisma.h"
#include "tables/globals.h"

namespace pulpex {

bool StoreRecognisedText(int documentId, const QString& text) {
    if (TblPisma == nullptr || !TblPisma->Active()) return false;
    try {
        TRec_Pisma rec;
        if (!TblPisma->ReadRecordByID(documentId, rec)) return false;  // deleted meanwhile
        rec.PIS_IDX.Clear();
        if (!text.isEmpty()) rec.PIS_IDX.SetText(text);
        int id = documentId;
        TblPisma->OT_AddNew(id, rec);
        return true;
    } catch (const engine::EDatabaseError&) {
        // The page stays stored without its text, as when recognition fails.
        return false;
    }
}

TRecognitionQueue& TRecognitionQueue::Instance() {
    static QPointer<TRecognitionQueue> queue;
    if (!queue) queue = new TRecognitionQueue(QCoreApplication::instance());
    return *queue;
}

TRecognitionQueue::TRecognitionQueue(QObject* parent) : QObject(parent) {}

TRecognitionQueue::~TRecognitionQueue() = default;

void TRecognitionQueue::Watch(QObject* owner, Handlers handlers) {
    watchers_.emplace_back(owner, std::move(handlers));
}

template <class F>
void TRecognitionQueue::tell(F f) {
    std::erase_if(watchers_, [](const auto& w) { return w.first.isNull(); });
    // A handler may add watchers: walk a copy.
    const auto watchers = watchers_;
    for (const auto& [owner, handlers] : watchers)
        if (owner) f(handlers);
}

void TRecognitionQueue::Add(int eventId, int documentId, const QImage& page, int dpi) {
    waiting_.push_back({eventId, documentId, page, dpi});
    if (!job_) startNext();
}

void TRecognitionQueue::Stop(int eventId) {
    std::erase_if(waiting_, [eventId](const Task& t) { return t.eventId == eventId; });
    if (job_ && current_.eventId == eventId) job_->Stop();
}

int TRecognitionQueue::Pending(int eventId) const {
    int n = job_ && current_.eventId == eventId ? 1 : 0;
    for (const Task& t : waiting_)
        if (t.eventId == eventId) ++n;
    return n;
}

void TRecognitionQueue::startNext() {
    if (waiting_.empty()) return;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    ocr::TRecognitionJob::Input input;
    input.image = current_.page;
    input.dpi = current_.dpi > 1 ? current_.dpi : 0;
    if (System() != nullptr)
        input.patternPath = System()->MainDir + QStringLiteral("patterns/pattern.dat");
    const int eventId = current_.eventId;
    job_ = std::make_unique<ocr::TRecognitionJob>(
        std::move(input), this,
        [this, eventId](int percent) {
            const int pending = Pending(eventId);
            tell([&](const Handlers& h) {
                if (h.progress) h.progress(eventId, percent, pending);
            });
        },
        [this](const ocr::TRecognitionResult& r) { finished(r); });
    const int pending = Pending(eventId);
    tell([&](const Handlers& h) {
        if (h.progress) h.progress(eventId, 0, pending);
    });
}

void TRecognitionQueue::finished(const ocr::TRecognitionResult& result) {
    const Task done = std::move(current_);
    current_ = {};
    job_.reset();  // its thread has delivered its last word
    const QString text =
        result.status == ocr::TRecognitionResult::Status::Done ? result.text.trimmed() : QString();
    if (!text.isEmpty()) StoreRecognisedText(done.documentId, text);
    tell([&](const Handlers& h) {
        if (h.stored) h.stored(done.eventId, done.documentId, text);
    });
    if (Pending(done.eventId) == 0)
        tell([&](const Handlers& h) {
            if (h.idle) h.idle(done.eventId);
        });
    startNext();
}

}  // namespace pulpex
