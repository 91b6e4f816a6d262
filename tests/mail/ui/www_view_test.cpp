// The web viewer against an HTTP server of the test's own on 127.0.0.1.
#include "mail/ui/www_view.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>
#include <map>
#include <memory>
#include <vector>

#include "support/widgets.h"

// Qt WebEngine (Chromium, not built with the sanitizers) frees some objects with another size
// than they were made with and keeps caches (its own and fontconfig's) to the end of the
// process; neither is ours.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
extern "C" const char* __lsan_default_suppressions() {
    // One list for the whole windows_tests program: SANE's test backend (documents window
    // tests) leaves its read buffer behind after a fault or an empty feeder.
    return "leak:libQt6WebEngineCore.so\nleak:libfontconfig.so\nleak:libsane-test.so\n";
}

namespace pulpex {
namespace {

using test::child;

// Serves "/" and "/drugi" at once; "/wolny" sends its head and a part of the page, then waits
// for as long as the test runs.
class PageServer : public QObject {
  public:
    PageServer() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    int slowRequests = 0;

  private:
    void answer(QTcpSocket* s) {
        buffers_[s] += s->readAll();
        const QByteArray& request = buffers_[s];
        if (!request.contains("\r\n\r\n")) return;
        const QByteArray path = request.split(' ').value(1);
        if (path == "/wolny") {
            ++slowRequests;
            s->write(
                "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                "Content-Length: 100000\r\n\r\n<html><head><title>Wolna</title></head>"
                "<body>Początek");
            return;  // the rest never comes
        }
        const QByteArray title = path == "/drugi" ? "Druga strona" : "Strona testowa";
        const QByteArray body =
            "<html><head><title>" + title + "</title></head><body>Zażółć gęślą jaźń</body></html>";
        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

class WebViewer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The engine refuses to start as root with its sandbox on.
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    void SetUp() override {
        w = std::make_unique<TformWWWView>();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void TearDown() override {
        w->HTML1->stop();
        w.reset();
    }
    // Types the address and presses "Połącz"; true when the page finished loading.
    bool open(const QString& address) {
        QSignalSpy finished(w->HTML1, &QWebEngineView::loadFinished);
        child<QComboBox>(w.get(), "URLs")->setEditText(address);
        child<QToolButton>(w.get(), "GoButton")->click();
        return finished.wait(30000) && finished.last().at(0).toBool();
    }

    PageServer server;
    std::unique_ptr<TformWWWView> w;
};

TEST_F(WebViewer, LoadsAPageAndShowsItsAddress) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Przeglądarka WWW"));
    EXPECT_EQ(child<QComboBox>(w.get(), "URLs")->toolTip(), QStringLiteral("URL"));
    EXPECT_EQ(child<QToolButton>(w.get(), "GoButton")->toolTip(), QStringLiteral("Połącz"));
    EXPECT_FALSE(child<QToolButton>(w.get(), "CancelBtn")->isEnabled());

    const QString address = server.url(QStringLiteral("/"));
    ASSERT_TRUE(open(address));
    EXPECT_EQ(w->HTML1->title(), QStringLiteral("Strona testowa"));
    EXPECT_EQ(child<QStatusBar>(w.get(), "StatusBar1")->currentMessage(), address);
    EXPECT_FALSE(child<QToolButton>(w.get(), "CancelBtn")->isEnabled());

    // Enter in the address box opens as well.
    QSignalSpy finished(w->HTML1, &QWebEngineView::loadFinished);
    auto* urls = child<QComboBox>(w.get(), "URLs");
    urls->setEditText(server.url(QStringLiteral("/drugi")));
    QTest::keyClick(urls->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(w->HTML1->title(), QStringLiteral("Druga strona"));
}

TEST_F(WebViewer, StopEndsAPageThatKeepsLoading) {
    QSignalSpy finished(w->HTML1, &QWebEngineView::loadFinished);
    child<QComboBox>(w.get(), "URLs")->setEditText(server.url(QStringLiteral("/wolny")));
    child<QToolButton>(w.get(), "GoButton")->click();
    auto* stop = child<QToolButton>(w.get(), "CancelBtn");
    EXPECT_EQ(stop->toolTip(), QStringLiteral("Zatrzymaj"));
    QTRY_VERIFY_WITH_TIMEOUT(server.slowRequests > 0 && stop->isEnabled(), 30000);
    EXPECT_TRUE(finished.isEmpty());  // the page is still coming
    stop->click();
    EXPECT_FALSE(stop->isEnabled());
    ASSERT_TRUE(finished.wait(30000) || !finished.isEmpty());
    EXPECT_FALSE(finished.last().at(0).toBool());
    EXPECT_FALSE(stop->isEnabled());
}

TEST_F(WebViewer, TheAddressListKeepsEachAddressOnce) {
    const QString a = server.url(QStringLiteral("/"));
    const QString b = server.url(QStringLiteral("/drugi"));
    ASSERT_TRUE(open(a));
    ASSERT_TRUE(open(b));
    ASSERT_TRUE(open(a));
    EXPECT_EQ(w->Addresses(), (QStringList{a, b}));
    // An empty address opens nothing and adds nothing.
    child<QComboBox>(w.get(), "URLs")->setEditText(QStringLiteral("  "));
    child<QToolButton>(w.get(), "GoButton")->click();
    EXPECT_EQ(w->Addresses(), (QStringList{a, b}));
}

}  // namespace
}  // namespace pulpex
