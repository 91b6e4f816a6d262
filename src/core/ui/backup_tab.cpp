#include "core/ui/backup_tab.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "core/backup.h"
#include "core/config.h"
#include "core/prompts.h"
#include "core/system.h"
#include "core/ui/help.h"
#include "core/ui/progress.h"
#include "core/ui/w_glow.h"
#include "planner/ui/alarm_check.h"
#include "tables/am_diags.h"

namespace pulpex {

namespace {

constexpr int kGaugeMax = 1000;

QPushButton* tabButton(QWidget* parent, const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QString askPlace(const QString& caption) {
    QString place = ReadConfig(kBackupPlaceKey, QDir::homePath() + QStringLiteral("/Pulpex-kopie"));
    if (!prompts().inputBox(caption, QStringLiteral("Podaj miejsce składowania kopii"), place))
        return {};
    return place.trimmed();
}

// The main window's alarm check stops while the tables are shut, and starts again afterwards.
class AlarmsPaused {
  public:
    AlarmsPaused() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<TOknoGlowne*>(w); main && main->alarmCheck())
                timer_ = main->alarmCheck()->timer();
        if (timer_) timer_->stop();
    }
    ~AlarmsPaused() {
        if (timer_) timer_->start();
    }
    AlarmsPaused(const AlarmsPaused&) = delete;
    AlarmsPaused& operator=(const AlarmsPaused&) = delete;

  private:
    QTimer* timer_ = nullptr;
};

// Runs `work` on a thread of its own while the progress notice shows how far it is; "Przerwij"
// asks it to stop.
template <class Work>
TBackupResult withProgress(QWidget* owner, Work work) {
    TProgressDlg_v3 dlg(owner);
    dlg.Start(kGaugeMax, true);
    std::atomic<qint64> done{0}, total{0};
    std::atomic<bool> stop{false};
    QMutex textLock;
    QString text;
    TBackupResult result;
    QEventLoop loop;
    std::thread worker([&] {
        result = work([&](qint64 d, qint64 t, const QString& what) {
            done = d;
            total = t;
            {
                QMutexLocker l(&textLock);
                text = what;
            }
            return !stop.load();
        });
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        const qint64 t = total.load();
        dlg.SetPosition(t > 0 ? static_cast<int>(done.load() * kGaugeMax / t) : 0);
        QMutexLocker l(&textLock);
        dlg.SetText(text);
        if (dlg.CancelRequested()) stop = true;
    });
    poll.start(100);
    loop.exec();
    worker.join();
    poll.stop();
    dlg.Finish();
    return result;
}

// Shuts the tables down for `work` and checks them again afterwards, the alarms paused.
template <class Work>
TBackupResult withTablesShut(QWidget* owner, Work work) {
    TAM_System* sys = System();
    if (!sys) return {};
    AlarmsPaused paused;
    const std::vector<TBackupTable> tables = CatalogueTables(*sys);
    const QString dataDir = sys->DataDir;
    sys->ShutdownTables();
    TBackupResult r;
    try {
        r = withProgress(owner, [&](const TBackupProgress& progress) {
            return work(dataDir, tables, progress);
        });
    } catch (const engine::EDatabaseError& e) {
        r.message = QString::fromUtf8(e.what());
    }
    sys->CheckTables();
    return r;
}

QString lines(const QString& text) {
    QString t = text;
    return t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

}  // namespace

QWidget* BuildBackupTab(QWidget* parent) {
    auto* tab = new QWidget(parent);
    tab->setObjectName(QStringLiteral("tsKopie"));
    SetHelpContext(tab, kHelpBackup);
    auto* tworzenie =
        tabButton(tab, QStringLiteral("Tworzenie kopii bezpieczeństwa"), "btnTworzenieKopii");
    auto* odtwarzanie =
        tabButton(tab, QStringLiteral("Odtwarzanie z kopii bezpieczeństwa"), "btnOdtwarzanieKopii");
    QObject::connect(tworzenie, &QPushButton::clicked, tab, [tab] { TworzenieKopii(tab); });
    QObject::connect(odtwarzanie, &QPushButton::clicked, tab, [tab] { OdtwarzanieKopii(tab); });
    auto* opis = new QLabel(
        QStringLiteral("Każda kopia trafia do nowego folderu z datą i godziną w podanym miejscu; "
                       "wcześniejsze kopie zostają. Przed odtworzeniem dotychczasowe dane są "
                       "zachowywane w osobnym folderze obok katalogu danych. Na czas kopiowania "
                       "program musi być zamknięty na pozostałych stanowiskach."),
        tab);
    opis->setWordWrap(true);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(tworzenie, 0, Qt::AlignLeft);
    layout->addWidget(odtwarzanie, 0, Qt::AlignLeft);
    layout->addWidget(opis);
    layout->addStretch();
    return tab;
}

void TworzenieKopii(QWidget* owner) {
    const QString place = askPlace(QStringLiteral("Tworzenie kopii zapasowej"));
    if (place.isEmpty() || !System()) return;
    const TBackupResult r =
        withTablesShut(owner, [&](const QString& dataDir, const std::vector<TBackupTable>& tables,
                                  const TBackupProgress& progress) {
            return MakeBackup(dataDir, tables, place, progress);
        });
    if (r.ok) {
        WriteConfig(kBackupPlaceKey, place);
        LogDiag(QStringLiteral("Kopia bezpieczeństwa"), r.folder);
        prompts().message(Severity::Information,
                          QStringLiteral("Dane zostały zapamiętane!\r\n\r\nKopia: ") + r.folder);
    } else if (r.cancelled) {
        prompts().message(Severity::Information, lines(r.message));
    } else {
        prompts().message(Severity::Error,
                          QStringLiteral("Podczas tworzenia kopii bezpieczeństwa wystąpił "
                                         "błąd!.\rProszę powtórzyć operację\r\n\r\n") +
                              lines(r.message));
    }
}

void OdtwarzanieKopii(QWidget* owner) {
    const QString place = askPlace(QStringLiteral("Odtwarzanie z kopii bezpieczeństwa"));
    if (place.isEmpty() || !System()) return;
    // The question names the backup that will be used; what is wrong with it is said later.
    const QString folder = FindBackup(place);
    if (!folder.isEmpty()) {
        const QDateTime at = BackupTime(folder);
        const QString made =
            at.isValid() ? QStringLiteral(" z ") + at.toString(QStringLiteral("yyyy-MM-dd hh:mm"))
                         : QString();
        if (prompts().message(
                Severity::Confirmation,
                QStringLiteral("Dane programu zostaną zastąpione danymi z kopii "
                               "bezpieczeństwa%1:\r\n%2\r\n\r\nDotychczasowe dane zostaną "
                               "zachowane w osobnym folderze obok katalogu danych.\r\n\r\n"
                               "Czy odtworzyć dane z kopii?")
                    .arg(made, folder),
                Buttons::YesNo) != Answer::Yes)
            return;
    }
    const TBackupResult r =
        withTablesShut(owner, [&](const QString& dataDir, const std::vector<TBackupTable>& tables,
                                  const TBackupProgress& progress) {
            return RestoreBackup(dataDir, tables, place, progress);
        });
    if (r.ok) {
        WriteConfig(kBackupPlaceKey, place);
        LogDiag(QStringLiteral("Odtworzenie danych z kopii"), r.folder);
        prompts().message(Severity::Information,
                          QStringLiteral("Dane zostały odtworzone!\r\n\r\nDotychczasowe dane "
                                         "zachowano w: ") +
                              r.keptData);
    } else if (r.cancelled) {
        prompts().message(Severity::Information, lines(r.message));
    } else {
        prompts().message(Severity::Error,
                          QStringLiteral("Podczas odtwarzania kopii bezpieczeństwa wystąpił "
                                         "błąd!.\rProszę powtórzyć operację\r\n\r\n") +
                              lines(r.message));
    }
}

}  // namespace pulpex
