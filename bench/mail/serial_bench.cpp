// pulpex-serial-bench: a serial mailing's transfer to aiosmtpd on 127.0.0.1, the letters of one
// series sent through one SMTP connection (TSmtpSession) and, for comparison, each through a
// connection of its own (MailSend).
//
//   pulpex-serial-bench [LETTERS]   (default 200; needs /usr/bin/python3 with aiosmtpd)
//
// Output: one line per way, "<name> letters=<n> seconds=<s> per_letter_ms=<ms>".

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include "mail/transport/mail_transfer.h"

using namespace pulpex;

namespace {

TMailTransfer Letter(int i) {
    TMailTransfer l;
    SetOutgoing(l, {}, QStringLiteral("adresat%1@urzad.pl").arg(i),
                QStringLiteral("Szanowny Panie Wąsowicz %1,\r\nuprzejmie zawiadamiamy, że "
                               "zebranie odbędzie się w Łodzi.\r\n")
                    .repeated(8),
                QStringLiteral("Zawiadomienie"), QStringLiteral("sekretariat@gmina.pl"));
    return l;
}

// A port on 127.0.0.1 nobody listens on now.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

void Report(const char* name, int n, qint64 ms) {
    std::printf("%s letters=%d seconds=%.2f per_letter_ms=%.1f\n", name, n, ms / 1000.0,
                n ? static_cast<double>(ms) / n : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 200;
    QTemporaryDir dir;
    const int port = FreePort();
    QProcess smtp;
    smtp.setReadChannel(QProcess::StandardOutput);
    smtp.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(PULPEX_SOURCE_DIR "/tests/scripts/smtp_server.py"),
                QString::number(port), dir.filePath(QStringLiteral("box"))});
    bool ready = false;
    while (!ready && smtp.waitForReadyRead(20000))
        ready = smtp.readAll().contains("READY");
    if (!ready) {
        std::fprintf(stderr, "aiosmtpd did not start\n");
        return 1;
    }
    TMailServer server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = port;

    int failed = 0;
    QElapsedTimer t;
    t.start();
    {
        TSmtpSession session(server);
        for (int i = 0; i < n; ++i)
            if (!session.Send(Letter(i))) ++failed;
    }
    Report("one_connection", n, t.elapsed());

    t.restart();
    for (int i = 0; i < n; ++i)
        if (!MailSend(server, Letter(i))) ++failed;
    Report("connection_per_letter", n, t.elapsed());

    smtp.closeWriteChannel();
    if (!smtp.waitForFinished(5000)) smtp.kill();
    if (failed) std::fprintf(stderr, "%d letters failed\n", failed);
    return failed ? 1 : 0;
}
