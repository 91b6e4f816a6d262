// "Serwer pocztowy" around real transfers: aiosmtpd on 127.0.0.1, a port nobody listens on, and a
// server that accepts and never answers.
#include "mail/ui/mail_srv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include "mail/transport/mail_settings.h"
#include "support/loopback.h"
#include "support/mail_servers.h"
#include "support/testenv.h"
#include "support/widgets.h"

namespace pulpex {
namespace {

using test::child;

using test::FreePort;
using test::SilentServer;

class MailServerWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetSessionMailPasswords();
        caller.setObjectName(QStringLiteral("caller"));
        caller.show();
        // Watches the caller and the status window while a transfer runs.
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, &caller, [this] {
            if (auto* w = caller.findChild<TformMailServer*>()) {
                sawWindow = sawWindow || w->isVisible();
                callerDisabledMeanwhile = callerDisabledMeanwhile || !caller.isEnabled();
                caption = w->windowTitle();
                if (stopOnSight && w->Running()) test::click(w, "btnClose");
            }
        });
        watch.start();
    }
    void useSmtp(int port) {
        TMailServer s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        ASSERT_TRUE(WriteMailServerConfig(MailAccount::Smtp, s));
    }
    static TMailTransfer letter() {
        TMailTransfer l;
        SetOutgoing(l, {}, QStringLiteral("biuro@urzad.gov.pl"), QStringLiteral("Treść listu – ąę"),
                    QStringLiteral("Pismo"), QStringLiteral("sekretariat@firma.pl"));
        return l;
    }

    test::TestSystem env;
    QWidget caller;
    QTimer watch;
    bool sawWindow = false;
    bool callerDisabledMeanwhile = false;
    bool stopOnSight = false;
    QString caption;
};

TEST_F(MailServerWindow, SendingShowsTheWindowDisablesTheCallerAndHandsTheLetterOver) {
    test::TestSmtpServer smtp;
    ASSERT_TRUE(smtp.ready);
    useSmtp(smtp.port);

    EXPECT_TRUE(MailSend(&caller, letter()));
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(caption, QStringLiteral("Serwer pocztowy"));
    EXPECT_TRUE(callerDisabledMeanwhile);
    EXPECT_TRUE(caller.isEnabled());
    EXPECT_TRUE(env.prompts.shown().empty());
    EXPECT_EQ(smtp.stored().size(), 1);
}

TEST_F(MailServerWindow, ServerDownIsToldInPolishAndTheCallerIsEnabledAgain) {
    const int port = FreePort();
    useSmtp(port);
    EXPECT_FALSE(MailSend(&caller, letter()));
    ASSERT_EQ(env.prompts.shown().size(), 1u);
    EXPECT_EQ(env.prompts.shown()[0].severity, Severity::Error);
    EXPECT_EQ(env.prompts.shown()[0].text,
              QStringLiteral("Błąd podczas próby uzyskania połączenia\r\n"
                             "Serwer 127.0.0.1 nie przyjmuje połączeń."));
    EXPECT_TRUE(caller.isEnabled());

    // Fetching from the same nowhere: the same message.
    TMailTransfer connection;
    connection.server = QStringLiteral("127.0.0.1");
    TMailServer pop;
    pop.host = connection.server;
    pop.port = port;
    ASSERT_TRUE(WriteMailServerConfig(MailAccount::Pop, pop));
    TMailList list;
    EXPECT_FALSE(MailReceive(&caller, connection, list));
    EXPECT_EQ(env.prompts.texts().size(), 2);
    EXPECT_EQ(env.prompts.texts().value(1), env.prompts.texts().value(0));
    EXPECT_TRUE(caller.isEnabled());
}

TEST_F(MailServerWindow, ZatrzymajEndsATransferToAServerThatNeverAnswers) {
    SilentServer silent;
    useSmtp(silent.port);  // the time limit is far: only the button can end it soon
    stopOnSight = true;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(MailSend(&caller, letter()));
    EXPECT_LT(t.elapsed(), 20000);
    EXPECT_TRUE(env.prompts.shown().empty());  // a stop is no failure to report
    EXPECT_TRUE(caller.isEnabled());
}

}  // namespace
}  // namespace pulpex
