// Hands work from a worker thread to the user-interface thread, for a receiver that may be gone
// by then.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <functional>

namespace pulpex::ocr {

// Queues `f` to run on the application's thread (the user-interface thread, where `context`
// lives) unless `context` has been deleted meanwhile. The check is made there, as a QPointer
// may only be trusted on the thread that deletes its object. Without an application nothing
// runs.
inline void DeliverTo(const QPointer<QObject>& context, std::function<void()> f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    QMetaObject::invokeMethod(
        app,
        [context, f = std::move(f)] {
            if (context) f();
        },
        Qt::QueuedConnection);
}

}  // namespace pulpex::ocr
