// The documents window opened on an event with 20 scanned A4 pages (grey, 300 dpi, stored as the
// window stores them): the time until the first page is shown, against decoding all 20 pages,
// which is what opening would cost if every page were decoded at once. Prints
//   documents_open pulpex=<ms to the first page> all_pages_ms=<ms to decode 20> pages=20
#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "controls/dbcontrols.h"
#include "core/prompts.h"
#include "core/pulpex_system.h"
#include "documents/pictures.h"
#include "documents/pisma.h"
#include "documents/ui/w_pism.h"
#include "register/zdarzen.h"
#include "tables/globals.h"

using namespace pulpex;

namespace {

// An A4 page at 300 dpi with sixty lines of text and a little scanner noise.
QImage scannedPage(int n) {
    QImage page(2480, 3508, QImage::Format_Grayscale8);
    page.fill(235);
    QPainter p(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(46);
    p.setFont(font);
    for (int line = 0; line < 60; ++line)
        p.drawText(250, 300 + line * 50,
                   QStringLiteral("Strona %1, wiersz %2: uprzejmie informujemy, że wniosek "
                                  "został rozpatrzony.")
                       .arg(n)
                       .arg(line));
    p.end();
    // Sensor noise of a few grey levels on every pixel, as a scanner gives it.
    quint32 seed = 12345u + static_cast<quint32>(n);
    for (int y = 0; y < page.height(); ++y) {
        uchar* row = page.scanLine(y);
        for (int x = 0; x < page.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int v = row[x] + static_cast<int>((seed >> 28) & 3) - 1;
            row[x] = static_cast<uchar>(std::clamp(v, 0, 255));
        }
    }
    return page;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
    QApplication app(argc, argv);
    ConsolePrompts quiet;
    setPrompts(&quiet);
    constexpr int kPages = 20;
    TPulpex_System sys(dir.path() + QStringLiteral("/pulpex/"));
    sys.probeDir = dir.path();
    if (!sys.CheckTables()) {
        std::fprintf(stderr, "no tables\n");
        return 1;
    }
    TRec_Zdarzenia z;
    int eventId = 0;
    TblZdarzenia->OT_AddNew(eventId, z);
    std::vector<QByteArray> stored;
    qint64 bytes = 0;
    for (int i = 0; i < kPages; ++i) {
        TRec_Pisma r;
        r.ZDARZ_ID = eventId;
        r.PIS_REX = r.PIS_REY = 300;
        int id = 0;
        TblPisma->OT_AddNew(id, r);
        TblPisma->LocateID(id);
        stored.push_back(StoredPicture(scannedPage(i)));
        bytes += stored.back().size();
        TOT_Blob blob;
        blob.Attach(QStringLiteral("Rysunek"), *TblPisma);
        blob.Write(stored.back());
    }

    using clock = std::chrono::steady_clock;
    double bestOpen = 1e300, bestAll = 1e300;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = clock::now();
        {
            TOkno_pism w;
            w.Prepare(eventId);
            w.show();
            QApplication::processEvents();
            auto* bmp = w.findChild<TDBImage*>(QStringLiteral("bmp"));
            if (bmp == nullptr || bmp->Picture().isNull()) {
                std::fprintf(stderr, "first page not shown\n");
                return 1;
            }
            const auto t1 = clock::now();
            bestOpen =
                std::min(bestOpen, std::chrono::duration<double, std::milli>(t1 - t0).count());
            w.reject();
        }
        const auto t2 = clock::now();
        for (const QByteArray& b : stored)
            if (QImage::fromData(b).isNull()) return 1;
        bestAll =
            std::min(bestAll, std::chrono::duration<double, std::milli>(clock::now() - t2).count());
    }
    std::printf("documents_open pulpex=%.1f all_pages_ms=%.1f pages=%d stored_kb_per_page=%lld\n",
                bestOpen, bestAll, kPages, static_cast<long long>(bytes / kPages / 1024));
    setPrompts(nullptr);
    return 0;
}
