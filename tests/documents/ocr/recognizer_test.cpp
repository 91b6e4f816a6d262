// Recognition of pages rendered with DejaVu fonts, by the real engine with the Polish data.
#include "documents/ocr/recognizer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <optional>

#include "documents/ocr/cv_view2.h"
#include "documents/ocr/textsearch.h"

namespace pulpex::ocr {
namespace {

constexpr int kDpi = 300;
const QString kSystemPattern;  // no pattern directory: the system's data

const QString kTitle = QStringLiteral("Zażółć gęślą jaźń");
const QString kParagraph = QStringLiteral(
    "Uprzejmie informujemy, że wniosek złożony w Urzędzie Gminy został rozpatrzony "
    "pozytywnie. Prosimy o odbiór decyzji w sekretariacie w godzinach pracy biura. "
    "Należność za wydanie zaświadczenia wynosi siedemnaście złotych.");

// A page of `heightMm` millimetres of an A4 sheet's width, with the title and, when asked, the
// paragraph, at 300 dpi in DejaVu Sans 12 pt.
QImage renderPage(double heightMm, bool withParagraph) {
    const auto px = [](double mm) { return qRound(mm / 25.4 * kDpi); };
    QImage page(px(210), px(heightMm), QImage::Format_Grayscale8);
    page.fill(Qt::white);
    page.setDotsPerMeterX(qRound(kDpi / 0.0254));
    page.setDotsPerMeterY(qRound(kDpi / 0.0254));
    QPainter p(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kDpi * 12 / 72);
    p.setFont(font);
    p.setPen(Qt::black);
    const QRect body(px(25), px(20), px(160), px(heightMm) - px(40));
    p.drawText(body, Qt::AlignLeft | Qt::AlignTop, kTitle);
    if (withParagraph)
        p.drawText(body.adjusted(0, px(15), 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   kParagraph);
    return page;
}

// Runs the application's event loop until `done` or 120 s.
template <class Pred>
bool waitFor(Pred done) {
    QDeadlineTimer deadline(120000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Rendering text needs the font database of a GUI application: one offscreen, for the tests of
// this file only.
class WithGuiApplication : public ::testing::Test {
  protected:
    void SetUp() override {
        LimitRecognitionThreads();
        if (QCoreApplication::instance() == nullptr) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static QTemporaryDir runtime;
            QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
            app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        }
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
            GTEST_SKIP() << "another test left a non-GUI application behind";
    }

  private:
    int argc_ = 1;
    char arg0_[8] = "pulpex";
    char* argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

class Recognizer : public WithGuiApplication {};
class RecognitionJob : public WithGuiApplication {};

TEST_F(Recognizer, ReadsBackAPolishA4PageAndItsWordsAreFoundWithoutDiacritics) {
    TRecognizer r;
    r.SetDataPath(kSystemPattern);
    ASSERT_TRUE(r.LoadImage(renderPage(297, true), kDpi));
    int lastProgress = -1;
    bool increasing = true;
    const TRecognitionResult result = r.Recognise([&](int p) {
        if (p < lastProgress) increasing = false;
        lastProgress = p;
    });
    ASSERT_EQ(result.status, TRecognitionResult::Status::Done) << result.error.toStdString();
    EXPECT_TRUE(increasing);
    EXPECT_EQ(lastProgress, 100);

    for (const QString& word :
         {QStringLiteral("Zażółć"), QStringLiteral("gęślą"), QStringLiteral("jaźń"),
          QStringLiteral("Urzędzie Gminy"), QStringLiteral("rozpatrzony"),
          QStringLiteral("sekretariacie"), QStringLiteral("siedemnaście złotych")})
        EXPECT_TRUE(FindText(result.text, word, false)) << word.toStdString() << " not in:\n"
                                                        << result.text.toStdString();

    // The stored text is searched as recognised text: the word typed without its Polish letters.
    const QByteArray stored = result.text.toUtf8();
    const TSearchBlock plain = TSearchBlock::make(QStringLiteral("zaswiadczenia"), true);
    EXPECT_EQ(OT_FindTextInString(stored.constData(), static_cast<int>(stored.size()), &plain), 0);
    const TSearchBlock exact = TSearchBlock::make(QStringLiteral("zaswiadczenia"), false);
    EXPECT_EQ(OT_FindTextInString(stored.constData(), static_cast<int>(stored.size()), &exact), 1);
}

TEST_F(Recognizer, TheOldCallsReadAFileIntoTheTextBlock) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Temp.bmp"));
    ASSERT_TRUE(renderPage(50, false).save(file, "BMP"));

    TCV2_View view;
    CV_Init();
    EXPECT_EQ(CV_SetDataPath(view, kSystemPattern), 0);
    EXPECT_EQ(CV_LoadDIB(view, dir.filePath(QStringLiteral("brak.bmp"))), 1);
    ASSERT_EQ(CV_LoadDIB(view, file), 0);
    std::int32_t result = -1;
    const TRecognitionParams params = TRecognitionParams::Fixed();
    ASSERT_EQ(CV_RecogniteAll(view, {}, &params, &result), 0);
    EXPECT_EQ(result, 0);

    std::int32_t count = 0;
    const QByteArray block = CV_GetAllSearchTexts(view, &count);
    ASSERT_GT(count, 0);
    ASSERT_EQ(block.size(), 4 + count + 1);
    EXPECT_EQ(block.back(), '\0');
    EXPECT_EQ(QString::fromUtf8(block.mid(4, count)), kTitle);

    // A blank page: nothing recognised, an empty block.
    QImage blank(800, 600, QImage::Format_Grayscale8);
    blank.fill(Qt::white);
    ASSERT_TRUE(blank.save(file, "BMP"));
    ASSERT_EQ(CV_LoadDIB(view, file), 0);
    ASSERT_EQ(CV_RecogniteAll(view, {}, &params, &result), 0);
    EXPECT_TRUE(CV_GetAllSearchTexts(view, &count).isEmpty());
    EXPECT_EQ(count, 0);
}

TEST_F(Recognizer, LanguageDataComeFromThePatternDirectoryWhenItHoldsThem) {
    QTemporaryDir dir;
    const QString patterns = dir.filePath(QStringLiteral("patterns"));
    ASSERT_TRUE(QDir().mkpath(patterns));
    const QString pattern = patterns + QStringLiteral("/pattern.dat");
    EXPECT_TRUE(TessDataDirFor(pattern).isEmpty());

    // Unreadable data in the pattern directory: the recognition fails with a message, and the
    // system's data are not taken behind the user's back.
    QFile bad(patterns + QStringLiteral("/pol.traineddata"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("to nie są dane");
    bad.close();
    EXPECT_EQ(TessDataDirFor(pattern), patterns);
    TRecognizer r;
    r.SetDataPath(pattern);
    ASSERT_TRUE(r.LoadImage(renderPage(50, false), kDpi));
    const TRecognitionResult failed = r.Recognise();
    EXPECT_EQ(failed.status, TRecognitionResult::Status::Failed);
    EXPECT_FALSE(failed.error.isEmpty());

    // Good data there: used.
    ASSERT_TRUE(QFile::remove(patterns + QStringLiteral("/pol.traineddata")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/share/tesseract-ocr/5/tessdata/pol.traineddata"),
                            patterns + QStringLiteral("/pol.traineddata")));
    r.SetDataPath(pattern);
    const TRecognitionResult done = r.Recognise();
    ASSERT_EQ(done.status, TRecognitionResult::Status::Done) << done.error.toStdString();
    EXPECT_TRUE(FindText(done.text, kTitle, false)) << done.text.toStdString();
}

TEST_F(RecognitionJob, RunsOffTheCallingThreadAndCanBeStopped) {
    QObject context;
    const QImage page = renderPage(297, true);

    // Stopped at its first progress report: it ends early, as Stopped, without text.
    std::optional<TRecognitionResult> stoppedResult;
    std::unique_ptr<TRecognitionJob> job;
    int reports = 0;
    job = std::make_unique<TRecognitionJob>(
        TRecognitionJob::Input{{}, page, kDpi, kSystemPattern}, &context,
        [&](int) {
            ++reports;
            job->Stop();
        },
        [&](const TRecognitionResult& r) { stoppedResult = r; });
    ASSERT_TRUE(waitFor([&] { return stoppedResult.has_value(); }));
    EXPECT_GE(reports, 1);
    EXPECT_EQ(stoppedResult->status, TRecognitionResult::Status::Stopped);
    EXPECT_TRUE(stoppedResult->text.isEmpty());
    job.reset();

    // Left alone, a job delivers its text on this thread.
    std::optional<TRecognitionResult> doneResult;
    auto second = std::make_unique<TRecognitionJob>(
        TRecognitionJob::Input{{}, renderPage(50, false), kDpi, kSystemPattern}, &context,
        TRecognitionJob::ProgressFn{}, [&](const TRecognitionResult& r) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            doneResult = r;
        });
    ASSERT_TRUE(waitFor([&] { return doneResult.has_value(); }));
    EXPECT_EQ(doneResult->status, TRecognitionResult::Status::Done);
    EXPECT_TRUE(FindText(doneResult->text, kTitle, false));

    // A file that is no image ends the job as Failed, naming the file.
    std::optional<TRecognitionResult> failedResult;
    TRecognitionJob third(
        TRecognitionJob::Input{QStringLiteral("/nonexistent/Temp.bmp"), {}, 0, kSystemPattern},
        &context, {}, [&](const TRecognitionResult& r) { failedResult = r; });
    ASSERT_TRUE(waitFor([&] { return failedResult.has_value(); }));
    EXPECT_EQ(failedResult->status, TRecognitionResult::Status::Failed);
    EXPECT_TRUE(failedResult->error.contains(QStringLiteral("/nonexistent/Temp.bmp")));
}

TEST_F(RecognitionJob, NothingIsDeliveredToAContextThatIsGone) {
    auto context = std::make_unique<QObject>();
    bool delivered = false;
    TRecognitionJob job(TRecognitionJob::Input{{}, renderPage(50, false), kDpi, kSystemPattern},
                        context.get(), {}, [&](const TRecognitionResult&) { delivered = true; });
    context.reset();
    ASSERT_TRUE(waitFor([&] { return job.Finished(); }));
    // Let the queued call come round.
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(delivered);
}

}  // namespace
}  // namespace pulpex::ocr
