// pulpex-ocr-bench: recognition of one A4 page at 300 dpi by our recogniser against the
// `tesseract` command-line program on the same page with the Polish data, in one run.
//
//   pulpex-ocr-bench [--repeat N]
//
// The page is rendered with QPainter in DejaVu Sans 11 pt and saved as PNG. Each side runs N
// times (alternating, so that other work on the machine hits both alike) with one OpenMP thread,
// as the program runs; the best run counts. Our side includes what a recognition job does:
// starting the engine, reading the file, recognising, taking the text. The last line is
//   ocr_page pulpex=<ms> tesseract=<ms> ratio=<pulpex/tesseract>

#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "documents/ocr/recognizer.h"

namespace {

constexpr int kDpi = 300;

QImage renderA4() {
    const auto px = [](double mm) { return qRound(mm / 25.4 * kDpi); };
    QImage page(px(210), px(297), QImage::Format_Grayscale8);
    page.fill(Qt::white);
    page.setDotsPerMeterX(qRound(kDpi / 0.0254));
    page.setDotsPerMeterY(qRound(kDpi / 0.0254));
    QPainter p(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kDpi * 11 / 72);
    p.setFont(font);
    p.setPen(Qt::black);
    const QString paragraph = QStringLiteral(
        "Uprzejmie informujemy, że wniosek złożony w Urzędzie Gminy w dniu 12 marca został "
        "rozpatrzony pozytywnie. Prosimy o odbiór decyzji w sekretariacie w godzinach pracy "
        "biura, od poniedziałku do piątku. Należność za wydanie zaświadczenia wynosi "
        "siedemnaście złotych i należy ją wpłacić na rachunek urzędu przed odbiorem. "
        "Zażółć gęślą jaźń.");
    QString text = QStringLiteral("Zażółć gęślą jaźń\n\n");
    for (int i = 0; i < 9; ++i)
        text += paragraph + QStringLiteral("\n\n");
    p.drawText(QRect(px(25), px(20), px(160), px(257)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    return page;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: pulpex-ocr-bench [--repeat N]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page.png"));
    if (!renderA4().save(file, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    pulpex::ocr::LimitRecognitionThreads();

    double ours = std::numeric_limits<double>::max();
    double theirs = std::numeric_limits<double>::max();
    qsizetype ourChars = 0;
    for (int run = 0; run < repeat; ++run) {
        QElapsedTimer t;
        t.start();
        QProcess cli;
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral("tesseract"), {file, dir.filePath(QStringLiteral("out")),
                                                QStringLiteral("-l"), QStringLiteral("pol")});
        if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit ||
            cli.exitCode() != 0) {
            std::fprintf(stderr, "the tesseract program failed (is tesseract-ocr installed?)\n");
            return 1;
        }
        theirs = std::min(theirs, t.nsecsElapsed() / 1e6);
        std::printf("# run %d tesseract %.0f ms\n", run + 1, t.nsecsElapsed() / 1e6);

        t.restart();
        pulpex::ocr::TRecognizer recognizer;
        QString error;
        if (!recognizer.LoadFile(file, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        const pulpex::ocr::TRecognitionResult r = recognizer.Recognise();
        if (r.status != pulpex::ocr::TRecognitionResult::Status::Done) {
            std::fprintf(stderr, "%s\n", qPrintable(r.error));
            return 1;
        }
        ours = std::min(ours, t.nsecsElapsed() / 1e6);
        ourChars = r.text.size();
        std::printf("# run %d pulpex %.0f ms\n", run + 1, t.nsecsElapsed() / 1e6);
    }
    std::printf("# recognised %lld characters\n", static_cast<long long>(ourChars));
    std::printf("ocr_page pulpex=%.0f tesseract=%.0f ratio=%.2f\n", ours, theirs, ours / theirs);
    return 0;
}
