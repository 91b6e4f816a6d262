// A grid over 100,000 rows: opening it (the first screen painted) and scrolling to its end.
// Prints one line in the form of the other benchmarks:
//   grid_open_scroll pulpex=<ns per row> open_ms=<ms> scroll_ms=<ms> rows=<n> reads=<rows read>
#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

#include "controls/grid/cvdbgrid.h"

using namespace pulpex;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kRows = 100000;
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/ADRESY.DBF";
    engine::Table::create(
        path, {{"ID", engine::FieldType::Integer, 0}, {"AD_NAZW", engine::FieldType::String, 40}},
        {{"ADR_ID", "ID"}});
    {
        auto t = engine::Table::open(path);
        for (int i = 1; i <= kRows; ++i) {
            t->insert();
            t->setInteger("ID", i);
            t->setString("AD_NAZW", "Adresat " + std::to_string(i));
            t->post();
        }
    }
    using clock = std::chrono::steady_clock;
    double bestOpen = 1e300, bestScroll = 1e300;
    qint64 reads = 0;
    for (int run = 0; run < 3; ++run) {
        TTableDataSet ds;
        ds.SetDatabaseName(dir.path());
        ds.SetTableName("ADRESY");
        ds.SetIndexName("ADR_ID");
        ds.Open();
        const auto t0 = clock::now();
        TCV_DBGrid grid;
        grid.resize(800, 600);
        grid.AddColumn("ID", "Id", 80);
        grid.AddColumn("AD_NAZW", "Nazwa", 300);
        grid.SetDataSet(&ds);
        grid.show();
        grid.repaint();
        QApplication::processEvents();
        const auto t1 = clock::now();
        while (grid.GridModel()->canFetchMore({})) {
            grid.GridModel()->fetchMore({});
            grid.scrollToBottom();
        }
        grid.scrollToBottom();
        grid.repaint();
        QApplication::processEvents();
        const auto t2 = clock::now();
        bestOpen = std::min(bestOpen, std::chrono::duration<double, std::milli>(t1 - t0).count());
        bestScroll =
            std::min(bestScroll, std::chrono::duration<double, std::milli>(t2 - t1).count());
        reads = grid.GridModel()->RowReads();
        if (grid.GridModel()->rowCount() != kRows) {
            std::fprintf(stderr, "grid shows %d rows of %d\n", grid.GridModel()->rowCount(), kRows);
            return 1;
        }
    }
    std::printf("grid_open_scroll pulpex=%.0f open_ms=%.1f scroll_ms=%.1f rows=%d reads=%lld\n",
                (bestOpen + bestScroll) * 1e6 / kRows, bestOpen, bestScroll, kRows,
                static_cast<long long>(reads));
    return 0;
}
