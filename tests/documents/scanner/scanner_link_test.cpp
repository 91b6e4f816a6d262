// The scanner link against SANE's own `test` device, configured in a private directory so that
// no other backend (and no network) is asked.
#include "documents/scanner/scanner_link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "support/sane_test.h"

// SANE's test backend leaves its read buffer behind when a scan ends in a fault or an empty
// feeder (sane_cancel and sane_close are called every time); the leak is the backend's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libsane-test.so\n";
}

namespace pulpex::scanner {
namespace {

struct Delivery {
    QString value;
    QSize size;
    QImage::Format format = QImage::Format_Invalid;
    QByteArray resolutions;
};

// One scan through the link, with the exchange files looked at as each page is announced.
class LinkRun {
  public:
    explicit LinkRun(const QString& workDir) {
        TScannerLink::Handlers h;
        h.itemChanged = [this, workDir](const QString& value) {
            Delivery d;
            d.value = value;
            const QImage page(QDir(workDir).filePath(kPageFile));
            d.size = page.size();
            d.format = page.format();
            QFile roz(QDir(workDir).filePath(kResolutionFile));
            if (roz.open(QIODevice::ReadOnly)) d.resolutions = roz.readAll();
            pages.push_back(d);
            if (stopAfter > 0 && static_cast<int>(pages.size()) == stopAfter) link->Stop();
        };
        h.error = [this](const QString& message) { errors << message; };
        h.finished = [this](int n) { finished = n; };
        link = std::make_unique<TScannerLink>(&context, h, workDir);
    }

    bool run(const TScanSettings& settings) {
        if (!link->Open(kLinkService, kLinkTopic, kLinkItem, settings)) return false;
        QDeadlineTimer deadline(90000);
        while (!finished && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!finished) {
            // A scan thread stuck in the backend cannot be joined: end the run with a failure
            // at once instead of waiting for the test's time limit.
            ADD_FAILURE() << "the scan did not finish within 90 s";
            std::fflush(nullptr);
            std::_Exit(1);
        }
        return true;
    }

    QObject context;
    std::unique_ptr<TScannerLink> link;
    std::vector<Delivery> pages;
    QStringList errors;
    std::optional<int> finished;
    int stopAfter = 0;
};

class ScannerLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::UseSaneTestDevice(2);
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        if (QCoreApplication::instance() == nullptr)
            app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QString work() const { return dir.path(); }
    bool exchangeFilesWritten() const {
        return QFile::exists(dir.filePath(kPageFile)) ||
               QFile::exists(dir.filePath(kResolutionFile));
    }

    QTemporaryDir dir;
    int argc = 1;
    char arg0[8] = "pulpex";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<QCoreApplication> app;
};

TEST_F(ScannerLinkTest, OnePageIsAnA4SheetInGreyAt300DpiFromTheDeviceRemembered) {
    LinkRun run(work());
    EXPECT_FALSE(run.link->Open(QStringLiteral("Skaner"), QStringLiteral("Inny"), kLinkItem));
    EXPECT_TRUE(RememberedScanner().isEmpty());

    ASSERT_TRUE(run.run({}));
    EXPECT_TRUE(run.errors.isEmpty()) << run.errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(run.pages.size(), 1u);
    EXPECT_EQ(*run.finished, 1);
    EXPECT_EQ(run.pages[0].value, QStringLiteral("100"));
    EXPECT_TRUE(IsPageReady(run.pages[0].value));
    // The device truncates to whole pixels: 210 x 297 mm at 300 dpi.
    EXPECT_EQ(run.pages[0].size, QSize(2480, 3507));
    const QImage grey(dir.filePath(kPageFile));
    EXPECT_EQ(grey.depth(), 8);
    EXPECT_TRUE(grey.isGrayscale());
    EXPECT_EQ(run.pages[0].resolutions, QByteArray("300\r\n300\r\n"));
    // The first device found is the workstation's from now on.
    EXPECT_EQ(RememberedScanner(), QStringLiteral("test:0"));
    EXPECT_FALSE(run.link->Busy());

    // Another device named for this scan, in colour at 100 dpi.
    LinkRun colour(work());
    TScanSettings s;
    s.device = QStringLiteral("test:1");
    s.colour = true;
    s.dpi = 100;
    s.options << QStringLiteral("test-picture=Color pattern");
    ASSERT_TRUE(colour.run(s));
    ASSERT_EQ(colour.pages.size(), 1u);
    EXPECT_EQ(colour.pages[0].size, QSize(826, 1169));
    EXPECT_EQ(colour.pages[0].resolutions, QByteArray("100\r\n100\r\n"));
    EXPECT_FALSE(QImage(dir.filePath(kPageFile)).allGray());
    EXPECT_EQ(RememberedScanner(), QStringLiteral("test:0"));
}

TEST_F(ScannerLinkTest, AFeederGivesEveryPageOneAfterAnother) {
    LinkRun run(work());
    TScanSettings s;
    s.feeder = true;
    s.dpi = 50;
    ASSERT_TRUE(run.run(s));
    EXPECT_TRUE(run.errors.isEmpty()) << run.errors.join(QLatin1Char('\n')).toStdString();
    // The test device's feeder holds ten sheets.
    ASSERT_EQ(run.pages.size(), 10u);
    EXPECT_EQ(*run.finished, 10);
    for (const Delivery& d : run.pages) {
        EXPECT_EQ(d.value, kPageReady);
        EXPECT_EQ(d.size, QSize(413, 584));
        EXPECT_EQ(d.resolutions, QByteArray("50\r\n50\r\n"));
    }

    // Stopped after the second page: the pages read meanwhile are not handed on.
    LinkRun stopped(work());
    stopped.stopAfter = 2;
    ASSERT_TRUE(stopped.run(s));
    EXPECT_EQ(stopped.pages.size(), 2u);
    EXPECT_EQ(*stopped.finished, 2);
    EXPECT_TRUE(stopped.errors.isEmpty());
}

TEST_F(ScannerLinkTest, FaultsAreToldInPolishAndStoreNothing) {
    struct Case {
        const char* status;
        bool feeder;
        QString words;
    };
    const Case cases[] = {
        {"SANE_STATUS_JAMMED", true, QStringLiteral("zaciął")},
        {"SANE_STATUS_NO_DOCS", true, QStringLiteral("Brak papieru w podajniku")},
        {"SANE_STATUS_COVER_OPEN", false, QStringLiteral("Pokrywa skanera jest otwarta")},
        {"SANE_STATUS_IO_ERROR", false, QStringLiteral("Błąd połączenia ze skanerem")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        LinkRun run(work());
        TScanSettings s;
        s.dpi = 50;
        s.feeder = c.feeder;
        s.options << QStringLiteral("read-return-value=") + QLatin1String(c.status);
        ASSERT_TRUE(run.run(s));
        ASSERT_EQ(run.errors.size(), 1);
        EXPECT_TRUE(run.errors[0].contains(c.words)) << run.errors[0].toStdString();
        EXPECT_TRUE(run.pages.empty());
        EXPECT_EQ(*run.finished, 0);
        EXPECT_FALSE(exchangeFilesWritten());
    }

    // A device that is not there (the remembered one unplugged).
    ASSERT_TRUE(RememberScanner(QStringLiteral("test:7")));
    LinkRun missing(work());
    ASSERT_TRUE(missing.run({}));
    ASSERT_EQ(missing.errors.size(), 1);
    EXPECT_TRUE(missing.errors[0].contains(QStringLiteral("Nie znaleziono skanera \"test:7\"")))
        << missing.errors[0].toStdString();
    EXPECT_FALSE(exchangeFilesWritten());
}

TEST_F(ScannerLinkTest, APageThatCannotBeWrittenIsNotAnnounced) {
    // A directory in the page file's place: the page cannot take its name, and the resolutions
    // are not written without it.
    ASSERT_TRUE(QDir(work()).mkdir(kPageFile));
    LinkRun run(work());
    TScanSettings s;
    s.dpi = 50;
    ASSERT_TRUE(run.run(s));
    EXPECT_TRUE(run.pages.empty());
    EXPECT_EQ(*run.finished, 0);
    ASSERT_EQ(run.errors.size(), 1);
    EXPECT_TRUE(run.errors[0].contains(QStringLiteral("Nie można zapisać")));
    EXPECT_FALSE(QFile::exists(dir.filePath(kResolutionFile)));
}

TEST(ScannerValue, OnlyAFirstLineBeginningWith100AnnouncesAPage) {
    EXPECT_TRUE(IsPageReady(QStringLiteral("100")));
    EXPECT_TRUE(IsPageReady(QStringLiteral("1005")));
    EXPECT_TRUE(IsPageReady(QStringLiteral("100\r\ncokolwiek")));
    EXPECT_FALSE(IsPageReady(QStringLiteral("099")));
    EXPECT_FALSE(IsPageReady(QString()));
    EXPECT_FALSE(IsPageReady(QStringLiteral("10")));
    EXPECT_FALSE(IsPageReady(QStringLiteral("0\r\n100")));
    EXPECT_FALSE(IsPageReady(QStringLiteral(" 100")));
}

}  // namespace
}  // namespace pulpex::scanner
