// Drives modal dialogs from a test: `OnModal(f)` runs `f` on the next dialog that opens modally.
// It polls, so it also finds a dialog opened from inside another one.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace pulpex::test {

inline void OnModal(std::function<void(QWidget*)> f, QWidget* notThis = nullptr) {
    auto* t = new QTimer(qApp);
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, t, [t, f, notThis] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == notThis) return;
        t->stop();
        t->deleteLater();
        f(w);
    });
    t->start();
}

}  // namespace pulpex::test
