// Sending letters over SMTP and fetching or deleting them over POP3, with libcurl. Every
// operation here is blocking but bounded: each wait has a time limit and the caller's abort flag
// ends it within a fraction of a second, so windows run these off their own thread. Nothing of a
// letter is stored: letters live in memory only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace pulpex {

// A file attached to a fetched letter: its name (decoded, without folder; may be empty), its MIME
// type as the letter declares it ("application/pdf") and its bytes, transfer encoding undone.
struct TMailAttachment {
    QString fileName;
    QString mimeType;
    QByteArray data;
};

// One letter: sent (sender, recipient, subject, body), fetched (recipient holds the whole "From"
// value, senderAddress its address, subject, date, body), or the connection settings of a fetch
// (server, user, password).
struct TMailTransfer {
    QString sender;
    QString recipient;
    QString server;
    QString user;
    QString password;
    QString senderAddress;
    QString subject;
    QString date;
    QString body;
    // A fetched letter: the mailbox's unique identifier of it (UIDL), empty when the server
    // gives none. Message numbers change when another program deletes letters; this does not.
    QString uid;
    // A fetched letter: its attached files in the letter's order (the text shown as body is not
    // among them).
    QList<TMailAttachment> attachments;
};

// Fills the fields of an outgoing letter.
void SetOutgoing(TMailTransfer& letter, const QString& server, const QString& recipient,
                 const QString& body, const QString& subject, const QString& sender);

// The letters of one fetch, numbered from 1 as the mailbox numbered them at that fetch. The list
// owns its letters.
class TMailList {
  public:
    int Count() const { return static_cast<int>(letters_.size()); }
    // Letter i, 1 ≤ i ≤ Count().
    TMailTransfer& Letter(int i) { return *letters_.at(static_cast<size_t>(i - 1)); }
    const TMailTransfer& Letter(int i) const { return *letters_.at(static_cast<size_t>(i - 1)); }
    void Append(std::unique_ptr<TMailTransfer> letter) { letters_.push_back(std::move(letter)); }
    // Frees letter i; the letters after it move down one place. Out of range: nothing.
    void Remove(int i);
    void Clear() { letters_.clear(); }

  private:
    std::vector<std::unique_ptr<TMailTransfer>> letters_;
};

enum class MailSecurity {
    None,      // plain text (only on a trusted network)
    StartTls,  // SMTP STARTTLS (usually port 587) or POP3 STLS (110)
    Tls,       // TLS from the first byte: SMTPS (465) or POP3S (995)
};

// Where and how to reach one server.
struct TMailServer {
    QString host;
    int port = 0;  // 0: the usual port of the protocol and security
    MailSecurity security = MailSecurity::None;
    QString user;      // empty: no sign-in (SMTP)
    QString password;  // never written anywhere by this layer
    // A PEM certificate file the user explicitly accepted (a self-signed server); the server's
    // certificate must then match it. Empty: the system's certificate authorities.
    QString acceptedCertificate;
    // Time limit of connecting and of each wait for an answer of the server, in milliseconds.
    int timeoutMs = 30000;
};

int DefaultSmtpPort(MailSecurity security);
int DefaultPopPort(MailSecurity security);

// What a transfer reports while it runs and how it is stopped. Called on the transfer's thread.
struct TTransferWatch {
    std::atomic<bool> abort{false};
    // Connection state 1 … 6 (connecting, establishing, established, connected, disconnecting,
    // disconnected) and its text.
    std::function<void(int state, const QString& text)> onState;
    // Any other status line ("Odczyt danych - 120 bajtów").
    std::function<void(const QString& text)> onStatus;
};

// The connection state texts of the status window.
QString SmtpStateText(int state, const QString& host);
QString PopStateText(int state, const QString& host);

enum class MailFailure {
    None,
    Connect,   // unreachable, refused, TLS, sign-in
    Verify,    // the server says the recipient does not exist
    Send,      // the letter was not taken
    Retrieve,  // a letter could not be fetched
    Aborted,   // "Zatrzymaj"
};

struct TMailResult {
    bool ok = true;
    MailFailure failure = MailFailure::None;
    // For the user: the failure's message, a line break ("\r\n") and the reason in words.
    QString message;
    explicit operator bool() const { return ok; }
};

// One SMTP connection kept open across letters (a serial mailing sends all its letters through
// one). Connects at the first Send; the connection ends when the session is destroyed.
class TSmtpSession {
  public:
    TSmtpSession(const TMailServer& server, TTransferWatch* watch = nullptr);
    ~TSmtpSession();
    TSmtpSession(const TSmtpSession&) = delete;
    TSmtpSession& operator=(const TSmtpSession&) = delete;

    // Verifies the recipient (a server that will not say is no obstacle) and sends the letter
    // (sender, recipient, subject and body of `letter`; its server field is not used).
    TMailResult Send(const TMailTransfer& letter);

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The whole letter as sent: UTF-8, headers encoded, Date and Message-ID, CRLF line ends.
QByteArray BuildMessage(const TMailTransfer& letter);
// Fills the fetched fields of `letter` from a raw message (any charset and transfer encoding;
// multipart: its text part; HTML only: as text) and keeps its attached files.
void ParseMessage(const QByteArray& raw, TMailTransfer& letter);
// Text of an HTML document: tags dropped, paragraphs and line breaks kept, entities decoded.
QString HtmlToText(const QString& html);

// Sends one letter through its own connection.
TMailResult MailSend(const TMailServer& server, const TMailTransfer& letter,
                     TTransferWatch* watch = nullptr);
// Fetches every letter of the mailbox and appends them to `list`. A letter that fails stops the
// fetch; those fetched before stay in the list.
TMailResult MailReceive(const TMailServer& server, TMailList& list,
                        TTransferWatch* watch = nullptr);
// Deletes message `number` (as numbered by the last fetch) from the mailbox. With `uid` (the
// letter's identifier from that fetch) the letter is looked up by it first, so that the right one
// goes also when the mailbox was renumbered since; a letter no longer there is a failure.
TMailResult MailDelete(const TMailServer& server, int number, TTransferWatch* watch = nullptr,
                       const QString& uid = {});

}  // namespace pulpex
