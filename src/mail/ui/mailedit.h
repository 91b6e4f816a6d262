// "Obsługa poczty elektronicznej": the user's mail window. It writes and sends single letters,
// fetches the letters waiting in the POP mailbox, shows them, deletes them from the mailbox and
// turns a sent or received letter into an event of the register. Its third page holds the
// connection settings of both servers; they are stored when the window closes, passwords only
// for the session unless the user asks to remember them (then sealed).
#pragma once

#include <QString>
#include <memory>

#include "core/ui/window.h"
#include "mail/transport/mail_transfer.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace pulpex {

class TSplit;

class TformMailEdit : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformMailEdit(QWidget* parent = nullptr);
    ~TformMailEdit() override;

    // Reads the connection settings and starts with an empty letter list.
    void Prepare();
    // The letters of the last fetch (tests).
    const TMailList& Letters() const { return *letters_; }

  protected:
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* buildSendPage();
    QWidget* buildReceivedPage();
    QWidget* buildSettingsPage();

    // The settings on the page into the settings file (and the passwords into the session).
    void StoreSettings();
    void FillList();
    // The letter selected in the list (1-based), 0 when none.
    int Selected() const;
    // Deletes letter `number` from the mailbox and from the list; true when it was deleted.
    bool DeleteLetter(int number);

    void btnListaAdresowClick();
    void SendBtnClick();
    void ClearBtnClick();
    void btnRefreshClick();
    void btnNoweZdarzenieClick();
    void btnDeleteMailClick();
    void lbListyChange();
    void btnKonfiguracjaClick();
    void chooseCertificate(QLineEdit* edit);

    std::unique_ptr<TMailList> letters_;

    QTabWidget* PageControl1;
    QLineEdit* eTo;
    QLineEdit* eCC;
    QLineEdit* eSubject;
    QPlainTextEdit* reMessageText;
    TSplit* Split1;
    bool splitPlaced_ = false;  // the divider is put at its place once the panel has a size
    QTreeWidget* lbListy;
    QPlainTextEdit* mReadMessage;
    QLineEdit* eSMTPServer;
    QSpinBox* eSMTPPort;
    QComboBox* cbSMTPSecurity;
    QLineEdit* eSMTPUser;
    QLineEdit* eSMTPPassword;
    QCheckBox* chbSMTPRemember;
    QLineEdit* eSMTPCertificate;
    QLineEdit* eHomeAddr;
    QLineEdit* ePOPServer;
    QSpinBox* ePOPPort;
    QComboBox* cbPOPSecurity;
    QLineEdit* eUserName;
    QLineEdit* ePassword;
    QCheckBox* chbPOPRemember;
    QLineEdit* ePOPCertificate;
    QSpinBox* eLimitCzasu;
};

// Opens the mail window modally.
void OknoPoczty(QWidget* owner);

}  // namespace pulpex
