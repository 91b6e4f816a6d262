#include "mail/ui/mail_srv.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <thread>

#include "core/prompts.h"
#include "core/ui/help.h"
#include "mail/transport/mail_settings.h"

namespace pulpex {

TformMailServer::TformMailServer(QWidget* parent)
    : TPulpexDialog(parent, "formMailServer", QStringLiteral("Serwer pocztowy"), kHelpMailServer) {
    setModal(false);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
    lStatusik = new QLabel(this);
    lStatusik->setObjectName(QStringLiteral("lStatusik"));
    lStatusik->setFrameShape(QFrame::Panel);
    lStatusik->setFrameShadow(QFrame::Sunken);
    lStatusik->setMinimumWidth(360);
    btnClose = MakeButton(this, QStringLiteral("Zatrzymaj"), "btnClose");
    connect(btnClose, &QPushButton::clicked, this, &TformMailServer::btnCloseClick);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addStretch();
    top->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lStatusik);
    SetActiveControl(btnClose);
}

TformMailServer::~TformMailServer() = default;

QString TformMailServer::StatusText() const {
    return lStatusik->text();
}

void TformMailServer::SetStatus(const QString& text) {
    lStatusik->setText(text);
    lStatusik->repaint();
}

TMailResult TformMailServer::Run(const std::function<TMailResult(TTransferWatch&)>& work) {
    // Reports of the transfer's thread reach the label through this window's event queue; those
    // still queued when the window goes are dropped with it.
    watch_.abort = false;
    watch_.onState = [this](int, const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { SetStatus(text); }, Qt::QueuedConnection);
    };
    watch_.onStatus = [this](const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { SetStatus(text); }, Qt::QueuedConnection);
    };
    TMailResult result;
    QEventLoop loop;
    running_ = true;
    std::thread worker([&] {
        result = work(watch_);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    running_ = false;
    QCoreApplication::sendPostedEvents(this);
    if (result.failure == MailFailure::Aborted) SetStatus(QStringLiteral("Transfer przerwano"));
    watch_.onState = nullptr;
    watch_.onStatus = nullptr;
    return result;
}

void TformMailServer::btnCloseClick() {
    // A running transfer is stopped; an idle window closes.
    if (running_)
        watch_.abort = true;
    else
        TPulpexDialog::reject();
}

void TformMailServer::reject() {
    if (running_)
        watch_.abort = true;
    else
        TPulpexDialog::reject();
}

void TformMailServer::closeEvent(QCloseEvent* event) {
    if (running_) {
        watch_.abort = true;
        event->ignore();
        return;
    }
    TPulpexDialog::closeEvent(event);
}

namespace {

// Disables the caller for the time of a transfer; enables, shows and focuses it again at the end.
class CallerLock {
  public:
    explicit CallerLock(QWidget* caller) : caller_(caller) {
        if (caller_) caller_->setEnabled(false);
    }
    ~CallerLock() {
        if (!caller_) return;
        caller_->setEnabled(true);
        caller_->show();
        caller_->repaint();
        caller_->activateWindow();
        caller_->setFocus();
    }
    CallerLock(const CallerLock&) = delete;
    CallerLock& operator=(const CallerLock&) = delete;

  private:
    QPointer<QWidget> caller_;
};

TMailServer PopServer(const TMailTransfer& connection) {
    TMailServer server = MailServerFromConfig(MailAccount::Pop);
    if (!connection.server.trimmed().isEmpty()) server.host = connection.server.trimmed();
    if (!connection.user.trimmed().isEmpty()) server.user = connection.user.trimmed();
    if (!connection.password.isEmpty()) server.password = connection.password;
    return server;
}

}  // namespace

bool MailSend(QWidget* caller, const TMailTransfer& letter) {
    CallerLock lock(caller);
    TMailServer server = MailServerFromConfig(MailAccount::Smtp);
    if (!letter.server.trimmed().isEmpty()) server.host = letter.server.trimmed();
    TformMailServer window(caller);
    window.show();
    const TMailResult r =
        window.Run([&](TTransferWatch& watch) { return MailSend(server, letter, &watch); });
    if (!r.ok && r.failure != MailFailure::Aborted) prompts().message(Severity::Error, r.message);
    return r.ok;
}

bool MailReceive(QWidget* caller, const TMailTransfer& connection, TMailList& list) {
    CallerLock lock(caller);
    const TMailServer server = PopServer(connection);
    TformMailServer window(caller);
    window.show();
    // The letters arrive in a list of the transfer's own and join the caller's at the end.
    TMailList fetched;
    const TMailResult r =
        window.Run([&](TTransferWatch& watch) { return MailReceive(server, fetched, &watch); });
    for (int i = 1; i <= fetched.Count(); ++i)
        list.Append(std::make_unique<TMailTransfer>(fetched.Letter(i)));
    if (r.failure == MailFailure::Connect) prompts().message(Severity::Error, r.message);
    return r.ok;
}

bool MailDelete(QWidget* caller, int number, const TMailTransfer& connection, const QString& uid) {
    CallerLock lock(caller);
    const TMailServer server = PopServer(connection);
    TformMailServer window(caller);
    const TMailResult r =
        window.Run([&](TTransferWatch& watch) { return MailDelete(server, number, &watch, uid); });
    // Nothing may look deleted that was not: every failure is told.
    if (!r.ok && r.failure != MailFailure::Aborted) prompts().message(Severity::Error, r.message);
    return r.ok;
}

}  // namespace pulpex
