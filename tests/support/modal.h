// Drives modal dialogs from a test. `OnModal(f)` runs `f` on the next dialog that opens modally;
// it polls, so it also finds a dialog opened from inside another one. `ModalScript` runs its
// steps on the modal dialogs in turn, also when the same dialog is shown again, and fails the
// test when a step never ran.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <deque>
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

class ModalScript : public QObject {
  public:
    using Step = std::function<void(QWidget*)>;
    ModalScript() {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, &ModalScript::tick);
        timer_.start();
    }
    ModalScript& then(Step s) {
        steps_.push_back(std::move(s));
        return *this;
    }
    bool done() const { return steps_.empty(); }
    // Drops the steps left (a test that expects some never to run says so).
    void discard() { steps_.clear(); }
    // A step that never ran means a dialog the test expected did not open.
    ~ModalScript() override {
        EXPECT_TRUE(steps_.empty()) << steps_.size() << " modal step(s) never ran";
    }

  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Hide) busy_.remove(o);
        return false;
    }

  private:
    void tick() {
        QWidget* w = QApplication::activeModalWidget();
        // Back on a dialog after another one was on top of it: its next step may run.
        if (w != last_) busy_.remove(w);
        last_ = w;
        if (!w || busy_.contains(w) || steps_.empty()) return;
        busy_.insert(w);
        w->installEventFilter(this);
        Step s = std::move(steps_.front());
        steps_.pop_front();
        // Run outside the timer's slot, so that a dialog the step opens is driven too.
        QPointer<QWidget> p(w);
        QTimer::singleShot(0, this, [s, p] {
            if (p) s(p);
        });
    }
    QTimer timer_;
    std::deque<Step> steps_;
    QSet<QObject*> busy_;
    QWidget* last_ = nullptr;  // only compared, never dereferenced
};

}  // namespace pulpex::test
