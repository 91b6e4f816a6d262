// "Serwer pocztowy": the small status window of a mail transfer. The transfer runs on a thread of
// its own while this window shows every state in words and the caller's window stays painted;
// "Zatrzymaj" stops it within a fraction of a second.
#pragma once

#include <QString>
#include <functional>

#include "core/ui/window.h"
#include "mail/transport/mail_transfer.h"

class QLabel;
class QPushButton;

namespace pulpex {

class TformMailServer : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformMailServer(QWidget* parent = nullptr);
    ~TformMailServer() override;

    // Runs `work` off the user-interface thread with this window's watch and returns its result
    // once it has ended; the window processes events meanwhile.
    TMailResult Run(const std::function<TMailResult(TTransferWatch&)>& work);
    bool Running() const { return running_; }
    QString StatusText() const;

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void btnCloseClick();
    void SetStatus(const QString& text);

    QLabel* Image1 = nullptr;
    QLabel* lStatusik = nullptr;
    QPushButton* btnClose = nullptr;
    TTransferWatch watch_;
    bool running_ = false;
};

// The caller's window is disabled while the status window shows the transfer, and enabled and
// focused again afterwards, whatever happened. A failure is told to the user (except a stop and a
// letter that could not be fetched, which the caller reports). The servers, ports, security,
// user names and passwords come from the settings (MailServerFromConfig); the host of `letter`
// (and the POP user and password of `connection`) replace them when given.
bool MailSend(QWidget* caller, const TMailTransfer& letter);
bool MailReceive(QWidget* caller, const TMailTransfer& connection, TMailList& list);
// Deletes message `number` of the last fetch (found by `uid`, the letter's identifier from that
// fetch, when given); the status window is not shown. A failure is told to the user.
bool MailDelete(QWidget* caller, int number, const TMailTransfer& connection,
                const QString& uid = {});

}  // namespace pulpex
