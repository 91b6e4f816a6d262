// A full installation for the users' windows, and a script of modal dialogs: each step is run on
// the next dialog that becomes modal, also when the same dialog is shown again.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

#include "core/pulpex_system.h"
#include "support/testenv.h"
#include "tables/globals.h"
#include "tables/users.h"

namespace pulpex::test {

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

// A new installation with the whole catalogue; nobody logged in.
class UsersInstallation {
  public:
    UsersInstallation() {
        sys = std::make_unique<TPulpex_System>(env.mainDir());
        sys->probeDir = env.dir.path();
        ok = sys->CheckTables();
    }
    // Adds a user with a password.
    TRec_Users addUser(const QString& name, const QString& password, bool admin = false) {
        TRec_Users u;
        u.FNAME = name;
        u.USER_ISA = admin;
        TblUsers->SetPassword(u, password);
        TblUsers->AddNewUser(u);
        return u;
    }
    // Makes the user of `id` the logged-in one.
    void logIn(int id) { TblUsers->ReadRecordByID(id, sys->CurrentUser()); }
    TRec_Users read(int id) {
        TRec_Users u;
        TblUsers->ReadRecordByID(id, u);
        return u;
    }

    TestSystem env{false};
    std::unique_ptr<TPulpex_System> sys;
    bool ok = false;
};

}  // namespace pulpex::test
