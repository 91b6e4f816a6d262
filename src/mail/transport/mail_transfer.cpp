#include "mail/transport/mail_transfer.h"

#include <curl/curl.h>

#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace pulpex {

void SetOutgoing(TMailTransfer& letter, const QString& server, const QString& recipient,
                 const QString& body, const QString& subject, const QString& sender) {
    letter.server = server;
    letter.recipient = recipient;
    letter.body = body;
    letter.subject = subject;
    letter.sender = sender;
}

void TMailList::Remove(int i) {
    if (i < 1 || i > Count()) return;
    letters_.erase(letters_.begin() + (i - 1));
}

int DefaultSmtpPort(MailSecurity security) {
    switch (security) {
        case MailSecurity::StartTls:
            return 587;
        case MailSecurity::Tls:
            return 465;
        case MailSecurity::None:
            break;
    }
    return 25;
}

int DefaultPopPort(MailSecurity security) {
    return security == MailSecurity::Tls ? 995 : 110;
}

QString SmtpStateText(int state, const QString& host) {
    switch (state) {
        case 1:
            return QStringLiteral("Łączę z serwerem SMTP : ") + host + QStringLiteral("...");
        case 2:
            return QStringLiteral("Nawiązywanie połączenia");
        case 3:
            return QStringLiteral("Połączenie nawiązane");
        case 4:
            return QStringLiteral("Połączono z serwerem SMTP: ") + host;
        case 5:
            return QStringLiteral("Odłączanie od serwera SMTP: ") + host + QStringLiteral("...");
        case 6:
            return QStringLiteral("Odłączono od serwera SMTP: ") + host;
    }
    return {};
}

QString PopStateText(int state, const QString& host) {
    switch (state) {
        case 1:
            return QStringLiteral("Łączenie z serwerem POP: ") + host + QStringLiteral("...");
        case 2:
            return QStringLiteral("Nawiązywanie połączenia");
        case 3:
            return QStringLiteral("Połączenie nawiązane");
        case 4:
            return QStringLiteral("Podłączono do serwera POP: ") + host;
        case 5:
            return QStringLiteral("Odłączanie od serwera POP: ") + host + QStringLiteral("...");
        case 6:
            return QStringLiteral("Odłączono od serwera POP: ") + host;
    }
    return {};
}

namespace {

const QString kConnectFailed = QStringLiteral("Błąd podczas próby uzyskania połączenia");
const QString kVerifyFailed = QStringLiteral("Błąd podczas weryfikacji adresata");
const QString kSendFailed = QStringLiteral("Błąd podczas wysyłania listu");
const QString kAborted = QStringLiteral("Transfer przerwano");

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The bare address of "Jan Kowalski <jan@firma.pl>" or of "jan@firma.pl".
QString BareAddress(const QString& text) {
    const int lt = text.indexOf(QLatin1Char('<'));
    if (lt >= 0) {
        const int gt = text.indexOf(QLatin1Char('>'), lt + 1);
        return text.mid(lt + 1, gt < 0 ? -1 : gt - lt - 1).trimmed();
    }
    return text.trimmed();
}

// One connection to one server: a libcurl handle run through its own multi handle, so that every
// wait can be cut short by the abort flag and the connection outlives a single request.
class Connection {
  public:
    Connection(const TMailServer& server, TTransferWatch* watch, bool pop)
        : server_(server), watch_(watch), pop_(pop) {
        GlobalInit();
        easy_.reset(curl_easy_init());
        multi_.reset(curl_multi_init());
    }
    ~Connection() { Close(); }

    bool valid() const { return easy_ && multi_; }
    CURL* easy() { return easy_.get(); }
    const TMailServer& server() const { return server_; }
    bool ready() const { return ready_; }
    // The last refusal of the server (a 4xx or 5xx line, or -ERR) in the current request.
    const QString& lastReply() const { return lastReply_; }

    // Options of every request; `path` follows the host ("/3" for message 3 of a mailbox).
    void Prepare(const QString& path) {
        CURL* h = easy_.get();
        curl_easy_reset(h);
        const bool tls = server_.security == MailSecurity::Tls;
        const char* scheme = pop_ ? (tls ? "pop3s" : "pop3") : (tls ? "smtps" : "smtp");
        const int port = server_.port > 0 ? server_.port
                         : pop_           ? DefaultPopPort(server_.security)
                                          : DefaultSmtpPort(server_.security);
        url_ = QStringLiteral("%1://%2:%3%4")
                   .arg(QLatin1String(scheme), server_.host.trimmed())
                   .arg(port)
                   .arg(path)
                   .toUtf8();
        curl_easy_setopt(h, CURLOPT_URL, url_.constData());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_USE_SSL,
                         server_.security == MailSecurity::None
                             ? static_cast<long>(CURLUSESSL_NONE)
                             : static_cast<long>(CURLUSESSL_ALL));
        if (!server_.acceptedCertificate.isEmpty()) {
            // The user accepted this very certificate: it is the only authority, whatever name it
            // was issued to.
            caFile_ = server_.acceptedCertificate.toLocal8Bit();
            curl_easy_setopt(h, CURLOPT_CAINFO, caFile_.constData());
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
        }
        if (!server_.user.isEmpty()) {
            user_ = server_.user.toUtf8();
            password_ = server_.password.toUtf8();
            curl_easy_setopt(h, CURLOPT_USERNAME, user_.constData());
            curl_easy_setopt(h, CURLOPT_PASSWORD, password_.constData());
        }
        const long ms = std::max(100, server_.timeoutMs);
        const long seconds = std::max(1L, (ms + 999) / 1000);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, ms);
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, seconds);
        curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, &Connection::SockOpt);
        curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, this);
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &Connection::Debug);
        curl_easy_setopt(h, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Connection::Write);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
        received_.clear();
        lastReply_.clear();
    }

    // Runs the prepared request to its end, the time limits or the abort flag.
    CURLcode Perform() {
        ready_ = false;
        if (!open_) State(1);
        CURLM* m = multi_.get();
        if (curl_multi_add_handle(m, easy_.get()) != CURLM_OK) return CURLE_FAILED_INIT;
        CURLcode result = CURLE_OK;
        bool aborted = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(m, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            if (!running) break;
            if (watch_ && watch_->abort.load()) {
                aborted = true;
                break;
            }
            curl_multi_poll(m, nullptr, 0, 100, nullptr);
        }
        if (aborted) {
            result = CURLE_ABORTED_BY_CALLBACK;
        } else {
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &queued))
                if (msg->msg == CURLMSG_DONE) result = msg->data.result;
        }
        curl_multi_remove_handle(m, easy_.get());
        if (result != CURLE_OK && !ready_) open_ = false;
        if (aborted) Close();  // a half-done command leaves the connection unusable
        return result;
    }

    long ResponseCode() {
        long code = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    // Ends the connection (QUIT when it is open).
    void Close() {
        if (!multi_) return;
        const bool wasOpen = open_;
        if (wasOpen) State(5);
        multi_.reset(curl_multi_init());
        if (wasOpen) State(6);
        open_ = false;
    }

    QByteArray received_;
    std::function<void(qint64)> onData;

    void Status(const QString& text) {
        if (watch_ && watch_->onStatus) watch_->onStatus(text);
    }

  private:
    void State(int state) {
        if (watch_ && watch_->onState)
            watch_->onState(state, pop_ ? PopStateText(state, server_.host)
                                        : SmtpStateText(state, server_.host));
    }

    static int SockOpt(void* self, curl_socket_t, curlsocktype) {
        auto* c = static_cast<Connection*>(self);
        if (c->open_) c->State(1);  // the old connection was gone: a new one is being made
        c->open_ = false;
        c->greeted_ = false;
        c->State(2);
        return CURL_SOCKOPT_OK;
    }

    static int Debug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
        auto* c = static_cast<Connection*>(self);
        if (type == CURLINFO_HEADER_IN) {
            // A refusal is kept: what the server says after it (its farewell) explains nothing.
            const QString line = QString::fromUtf8(data, static_cast<qsizetype>(size)).trimmed();
            if (line.startsWith(QLatin1Char('4')) || line.startsWith(QLatin1Char('5')) ||
                line.startsWith(QLatin1String("-ERR")))
                c->lastReply_ = line;
            if (!c->greeted_) {
                c->greeted_ = true;
                c->State(3);
            }
        } else if (type == CURLINFO_HEADER_OUT) {
            // The first command after the greeting, the security and the sign-in: ready.
            static const QRegularExpression command(
                QStringLiteral("^(VRFY|MAIL FROM|LIST|RETR|DELE|STAT|UIDL|TOP)\\b"),
                QRegularExpression::CaseInsensitiveOption);
            const QString line = QString::fromUtf8(data, static_cast<qsizetype>(size));
            if (command.match(line).hasMatch()) {
                c->ready_ = true;
                if (!c->open_) {
                    c->open_ = true;
                    c->State(4);
                }
            }
        }
        return 0;
    }

    static size_t Write(char* data, size_t size, size_t n, void* self) {
        auto* c = static_cast<Connection*>(self);
        c->received_.append(data, static_cast<qsizetype>(size * n));
        if (c->onData) c->onData(c->received_.size());
        return size * n;
    }

    TMailServer server_;
    TTransferWatch* watch_;
    bool pop_;
    std::unique_ptr<CURL, EasyDeleter> easy_;
    std::unique_ptr<CURLM, MultiDeleter> multi_;
    QByteArray url_, user_, password_, caFile_;
    QString lastReply_;
    bool open_ = false;
    bool greeted_ = false;
    bool ready_ = false;
};

// Why a request failed, in words.
QString Reason(CURLcode rc, Connection& c) {
    const TMailServer& s = c.server();
    switch (rc) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("Nie znaleziono serwera „%1”.").arg(s.host);
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("Serwer %1 nie przyjmuje połączeń.").arg(s.host);
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("Serwer %1 nie odpowiedział w wyznaczonym czasie.").arg(s.host);
        case CURLE_LOGIN_DENIED:
        case CURLE_AUTH_ERROR:
            return QStringLiteral("Serwer odrzucił nazwę użytkownika lub hasło.");
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return QStringLiteral("Certyfikat serwera nie jest zaufany.");
        case CURLE_SSL_CONNECT_ERROR:
            return QStringLiteral("Nie udało się nawiązać szyfrowanego połączenia.");
        case CURLE_USE_SSL_FAILED:
            return QStringLiteral("Serwer nie oferuje szyfrowania połączenia.");
        case CURLE_ABORTED_BY_CALLBACK:
            return kAborted + QLatin1Char('.');
        default:
            break;
    }
    // Some servers close the connection after refusing a sign-in instead of waiting.
    if (c.ResponseCode() == 535 || c.lastReply().startsWith(QLatin1String("535")))
        return QStringLiteral("Serwer odrzucił nazwę użytkownika lub hasło.");
    if (!c.lastReply().isEmpty())
        return QStringLiteral("Serwer odpowiedział: %1").arg(c.lastReply());
    return QString::fromUtf8(curl_easy_strerror(rc));
}

TMailResult Failure(MailFailure kind, const QString& lead, const QString& reason) {
    TMailResult r;
    r.ok = false;
    r.failure = kind;
    r.message = reason.isEmpty() ? lead : lead + QStringLiteral("\r\n") + reason;
    return r;
}

// A failed request: before the server was ready it is a connection failure, after it `kind`.
TMailResult Failed(CURLcode rc, Connection& c, MailFailure kind, const QString& lead) {
    if (rc == CURLE_ABORTED_BY_CALLBACK) return Failure(MailFailure::Aborted, kAborted, {});
    if (!c.ready()) return Failure(MailFailure::Connect, kConnectFailed, Reason(rc, c));
    return Failure(kind, lead, Reason(rc, c));
}

TMailResult NoLibrary() {
    return Failure(MailFailure::Connect, kConnectFailed,
                   QStringLiteral("Biblioteka transferu poczty nie działa."));
}

// The unique identifiers of the mailbox's messages by number (UIDL); empty when the server
// gives none.
std::map<int, QString> MessageUids(Connection& c, CURLcode& rc) {
    c.Prepare(QStringLiteral("/"));
    curl_easy_setopt(c.easy(), CURLOPT_CUSTOMREQUEST, "UIDL");
    rc = c.Perform();
    std::map<int, QString> uids;
    if (rc != CURLE_OK) return uids;
    for (const QByteArray& line : c.received_.split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok = false;
        const int n = parts.value(0).toInt(&ok);
        if (ok && n > 0 && parts.size() >= 2) uids[n] = QString::fromLatin1(parts[1]);
    }
    return uids;
}

struct ReadState {
    QByteArray data;
    qsizetype pos = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t n, void* self) {
    auto* s = static_cast<ReadState*>(self);
    const qsizetype len =
        std::min<qsizetype>(static_cast<qsizetype>(size * n), s->data.size() - s->pos);
    std::memcpy(buffer, s->data.constData() + s->pos, static_cast<size_t>(len));
    s->pos += len;
    return static_cast<size_t>(len);
}

}  // namespace

struct TSmtpSession::Impl {
    Impl(const TMailServer& server, TTransferWatch* watch) : conn(server, watch, false) {}
    Connection conn;
};

TSmtpSession::TSmtpSession(const TMailServer& server, TTransferWatch* watch)
    : d(std::make_unique<Impl>(server, watch)) {}

TSmtpSession::~TSmtpSession() = default;

TMailResult TSmtpSession::Send(const TMailTransfer& letter) {
    Connection& c = d->conn;
    if (!c.valid()) return NoLibrary();
    const QByteArray recipient = BareAddress(letter.recipient).toUtf8();
    const QByteArray from = "<" + BareAddress(letter.sender).toUtf8() + ">";

    // VRFY: only a definite "no such user" stops the letter; most servers refuse to say (502) or
    // answer "cannot verify" (252).
    c.Prepare({});
    SlistPtr vrfy(curl_slist_append(nullptr, recipient.constData()));
    curl_easy_setopt(c.easy(), CURLOPT_MAIL_RCPT, vrfy.get());
    CURLcode rc = c.Perform();
    if (rc != CURLE_OK) {
        const long code = c.ResponseCode();
        if (!c.ready() || rc == CURLE_ABORTED_BY_CALLBACK)
            return Failed(rc, c, MailFailure::Connect, kConnectFailed);
        if (code == 550 || code == 551 || code == 553)
            return Failure(MailFailure::Verify, kVerifyFailed, Reason(rc, c));
    }

    ReadState body;
    body.data = BuildMessage(letter);
    c.Prepare({});
    SlistPtr rcpt(curl_slist_append(nullptr, ("<" + recipient + ">").constData()));
    curl_easy_setopt(c.easy(), CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(c.easy(), CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c.easy(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c.easy(), CURLOPT_READFUNCTION, &ReadMessage);
    curl_easy_setopt(c.easy(), CURLOPT_READDATA, &body);
    curl_easy_setopt(c.easy(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body.data.size()));
    rc = c.Perform();
    if (rc != CURLE_OK) return Failed(rc, c, MailFailure::Send, kSendFailed);
    return {};
}

TMailResult MailSend(const TMailServer& server, const TMailTransfer& letter,
                     TTransferWatch* watch) {
    TSmtpSession session(server, watch);
    return session.Send(letter);
}

TMailResult MailReceive(const TMailServer& server, TMailList& list, TTransferWatch* watch) {
    Connection c(server, watch, true);
    if (!c.valid()) return NoLibrary();
    c.Prepare(QStringLiteral("/"));
    CURLcode rc = c.Perform();
    if (rc != CURLE_OK) return Failed(rc, c, MailFailure::Connect, kConnectFailed);
    // LIST: one "number size" line per message.
    std::vector<int> numbers;
    for (const QByteArray& line : c.received_.split('\n')) {
        bool ok = false;
        const int n = line.trimmed().split(' ').value(0).toInt(&ok);
        if (ok && n > 0) numbers.push_back(n);
    }
    // Servers without UIDL still give their letters.
    CURLcode uidRc = CURLE_OK;
    const std::map<int, QString> uids =
        numbers.empty() ? std::map<int, QString>() : MessageUids(c, uidRc);
    if (uidRc == CURLE_ABORTED_BY_CALLBACK) return Failure(MailFailure::Aborted, kAborted, {});
    for (const int k : numbers) {
        auto letter = std::make_unique<TMailTransfer>();
        if (const auto it = uids.find(k); it != uids.end()) letter->uid = it->second;
        c.Prepare(QStringLiteral("/%1").arg(k));
        c.Status(QStringLiteral("Inicjowanie przesyłu dokumentu"));
        c.onData = [&c](qint64 bytes) {
            c.Status(QStringLiteral("Odczyt danych - %1 bajtów").arg(bytes));
        };
        rc = c.Perform();
        c.onData = nullptr;
        if (rc != CURLE_OK) {
            if (rc == CURLE_ABORTED_BY_CALLBACK) {
                c.Status(kAborted);
                return Failure(MailFailure::Aborted, kAborted, {});
            }
            return Failed(rc, c, MailFailure::Retrieve,
                          QStringLiteral("Błąd podczas pobierania listu nr %1").arg(k));
        }
        c.Status(QStringLiteral("Odczyt nagłówka wiadomości"));
        ParseMessage(c.received_, *letter);
        c.Status(QStringLiteral("Odczyt zakończony (%1 bajtów)").arg(c.received_.size()));
        list.Append(std::move(letter));
    }
    return {};
}

TMailResult MailDelete(const TMailServer& server, int number, TTransferWatch* watch,
                       const QString& uid) {
    Connection c(server, watch, true);
    if (!c.valid()) return NoLibrary();
    const QString lead = QStringLiteral("Błąd podczas usuwania listu nr %1").arg(number);
    if (!uid.isEmpty()) {
        CURLcode rc = CURLE_OK;
        const std::map<int, QString> uids = MessageUids(c, rc);
        if (rc != CURLE_OK) return Failed(rc, c, MailFailure::Retrieve, lead);
        const auto it = std::find_if(uids.begin(), uids.end(),
                                     [&](const auto& entry) { return entry.second == uid; });
        if (it == uids.end())
            return Failure(MailFailure::Retrieve, lead,
                           QStringLiteral("Tego listu nie ma już w skrzynce."));
        number = it->first;
    }
    c.Prepare(QStringLiteral("/%1").arg(number));
    curl_easy_setopt(c.easy(), CURLOPT_CUSTOMREQUEST, "DELE");
    curl_easy_setopt(c.easy(), CURLOPT_NOBODY, 1L);
    const CURLcode rc = c.Perform();
    if (rc != CURLE_OK) return Failed(rc, c, MailFailure::Retrieve, lead);
    return {};  // the deletion takes effect at QUIT, when the connection closes
}

}  // namespace pulpex
