#include "core/ui/w_glow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "addresses/ui/w_stron.h"
#include "cases/ui/w_sprawy.h"
#include "core/config.h"
#include "core/prompts.h"
#include "core/pulpex_system.h"
#include "core/ui/am_confg.h"
#include "core/ui/help.h"
#include "core/ui/loading.h"
#include "mail/transport/protocols.h"
#include "mail/ui/lst_wzrc.h"
#include "mail/ui/mailedit.h"
#include "mail/ui/www_view.h"
#include "planner/note_dz.h"
#include "planner/ui/alarm_check.h"
#include "planner/ui/w_plan.h"
#include "register/ui/listzdrz.h"
#include "tables/am_diags.h"
#include "tables/globals.h"
#include "users/ui/user_lst.h"

#ifndef PULPEX_VERSION
#define PULPEX_VERSION "0.1"
#endif

namespace pulpex {

namespace {
const QString kWwwText = QStringLiteral(" WWW * Internet * Przeglądarka");
constexpr int kWwwWidth = 9;
}  // namespace

QString WwwCaption(int p) {
    const int n = static_cast<int>(kWwwText.size());
    QString s;
    for (int i = 0; i < kWwwWidth; ++i)
        s += kWwwText.at((p - 1 + i) % n);
    return s;
}

int NextWwwPosition(int p) {
    return p >= kWwwText.size() ? 1 : p + 1;
}

TOknoGlowne::TOknoGlowne(const QString& mainDir, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("OknoGlowne"));
    setWindowTitle(QStringLiteral("Pulpex"));
    setWindowIcon(QIcon(QStringLiteral(":/pulpex.png")));
    SetHelpContext(this, kHelpMainWindow);
    try {
        system_ = std::make_unique<TPulpex_System>(mainDir);
        // Closing the log-in is the user's choice, told apart from wrong passwords.
        system_->loginHandler = [this](TAM_System& s) {
            const bool in = Login(s);
            loginCancelled_ = !in && LoginCancelled();
            return in;
        };
        system_->busyHandler = [this](bool busy) {
            if (busy) {
                if (!loading_) loading_ = new TForm_Loading(this);
                QApplication::setOverrideCursor(Qt::WaitCursor);
                loading_->ShowNotice(QStringLiteral("Sprawdzanie bazy danych, proszę czekać ..."));
            } else {
                if (loading_) loading_->HideNotice();
                QApplication::restoreOverrideCursor();
            }
        };
        system_->lockWaitHandler = [this](bool waiting) {
            if (!loading_) loading_ = new TForm_Loading(this);
            loading_->ShowNotice(waiting ? QStringLiteral("Baza danych jest sprawdzana na innym "
                                                          "stanowisku, proszę czekać ...")
                                         : QStringLiteral("Sprawdzanie bazy danych, proszę "
                                                          "czekać ..."));
        };
    } catch (...) {
        // Without a system object the start sequence fails and says so.
    }

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);

    buttonColumn_ = new QWidget(central);
    auto* column = new QVBoxLayout(buttonColumn_);
    column->setContentsMargins(0, 0, 0, 0);
    auto* btnZdarzenia =
        addButton(QStringLiteral("         &Zdarzenia             "), "btnZdarzenia");
    connect(btnZdarzenia, &QPushButton::clicked, this, [this] {
        if (started_) ListaZdarzen(this, false);
    });
    auto* btnSprawy = addButton(QStringLiteral("            &Sprawy               "), "btnSprawy");
    connect(btnSprawy, &QPushButton::clicked, this, [this] {
        if (started_) OknoSpraw(this);
    });
    auto* btnAdresy = addButton(QStringLiteral("         Baza &adresów         "), "btnAdresy");
    connect(btnAdresy, &QPushButton::clicked, this, [this] {
        if (started_) OknoStron(this, false);
    });
    btnKonfiguracja =
        addButton(QStringLiteral("           K&onfiguracja           "), "btnKonfiguracja");
    connect(btnKonfiguracja, &QPushButton::clicked, this, &TOknoGlowne::btnKonfiguracjaClick);
    btnTerminarz = addButton(QStringLiteral("            &Terminarz            "), "btnTerminarz");
    connect(btnTerminarz, &QPushButton::clicked, this, [this] {
        if (started_) PokazTerminarz(this);
    });
    auto* btnPoczta = addButton(QStringLiteral(" &Poczta email"), "btnPoczta");
    connect(btnPoczta, &QPushButton::clicked, this, [this] {
        if (started_) OknoPoczty(this);
    });
    auto* btnSeryjna = addButton(QStringLiteral(" Ko&respondencja seryjna"), "btnSeryjna");
    connect(btnSeryjna, &QPushButton::clicked, this, [this] {
        if (started_) KorespondencjaSeryjna(this);
    });
    alarmCheck_ = new TAlarmCheck(this);
    column->addStretch();
    btnKoniec = addButton(QStringLiteral("&Koniec"), "btnKoniec");
    connect(btnKoniec, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(buttonColumn_);

    // The information panel.
    auto* panel = new QFrame(central);
    panel->setObjectName(QStringLiteral("pnlInfo"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* info = new QVBoxLayout(panel);
    auto* picture = new QLabel(panel);
    picture->setObjectName(QStringLiteral("imgLogo"));
    picture->setPixmap(QIcon(QStringLiteral(":/pulpex.png")).pixmap(96, 96));
    picture->setAlignment(Qt::AlignCenter);
    auto* product = new QLabel(QStringLiteral("<b>Pulpex</b>"), panel);
    product->setObjectName(QStringLiteral("lblProdukt"));
    product->setAlignment(Qt::AlignCenter);
    QFont big = product->font();
    big.setPointSize(big.pointSize() * 2);
    product->setFont(big);
    auto* subtitle =
        new QLabel(QStringLiteral("Sekretariat – dziennik korespondencji i terminarz"), panel);
    subtitle->setObjectName(QStringLiteral("lblOpis"));
    subtitle->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral("Wersja ") + QStringLiteral(PULPEX_VERSION), panel);
    version->setObjectName(QStringLiteral("lblWersja"));
    version->setAlignment(Qt::AlignCenter);
    auto* maker = new QLabel(QStringLiteral("Zespół Pulpex"), panel);
    maker->setObjectName(QStringLiteral("lblProducent"));
    maker->setAlignment(Qt::AlignCenter);
    lblUzytkownik = new QLabel(panel);
    lblUzytkownik->setObjectName(QStringLiteral("lblUzytkownik"));
    lblUzytkownik->setAlignment(Qt::AlignCenter);
    lblPomoc = new QLabel(QStringLiteral("F1 - Pomoc"), panel);
    lblPomoc->setObjectName(QStringLiteral("lblPomoc"));
    lblPomoc->setToolTip(QStringLiteral(
        "Naciśnięcie w dowolnym miejscu programu klawisz F1 wyświetli plik pomocy."));
    lblPomoc->setCursor(Qt::PointingHandCursor);
    lblPomoc->setAlignment(Qt::AlignCenter);
    lblPomoc->installEventFilter(this);
    info->addWidget(picture);
    info->addWidget(product);
    info->addWidget(subtitle);
    info->addWidget(version);
    info->addWidget(maker);
    info->addStretch();
    info->addWidget(lblUzytkownik);
    info->addWidget(lblPomoc);

    // The web viewer's flat button, its caption scrolling under Timer2.
    btnWWW = new QPushButton(QStringLiteral("www"), panel);
    btnWWW->setObjectName(QStringLiteral("btnWWW"));
    btnWWW->setFlat(true);
    btnWWW->setAutoDefault(false);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setBold(true);
    btnWWW->setFont(fixed);
    btnWWW->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QLatin1Char('W')) * 11);
    btnWWW->setCursor(Qt::PointingHandCursor);
    connect(btnWWW, &QPushButton::clicked, this, [this] {
        if (started_) PokazPrzegladarke(this);
    });
    info->addWidget(btnWWW, 0, Qt::AlignCenter);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(500);
    connect(Timer2, &QTimer::timeout, this, [this] {
        btnWWW->setText(WwwCaption(wwwPosition_));
        wwwPosition_ = NextWwwPosition(wwwPosition_);
    });
    Timer2->start();
    layout->addWidget(panel, 1);

    setCentralWidget(central);
    resize(620, 420);
}

TOknoGlowne::~TOknoGlowne() = default;

QPushButton* TOknoGlowne::addButton(const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, buttonColumn_);
    b->setObjectName(QLatin1String(name));
    b->setMinimumHeight(36);
    static_cast<QVBoxLayout*>(buttonColumn_->layout())->addWidget(b);
    return b;
}

bool TOknoGlowne::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblPomoc && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ShowHelp(kHelpMainWindow);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TOknoGlowne::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormShow();
    // Offscreen and on some desktops the window is never told it became active; the start
    // sequence must run all the same.
    QTimer::singleShot(0, this, &TOknoGlowne::FormActivate);
}

void TOknoGlowne::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QTimer::singleShot(0, this, &TOknoGlowne::FormActivate);
}

void TOknoGlowne::FormShow() {
    if (!system_) return;
    // The mail components are checked once after installation (Linux registers no libraries);
    // the diagnostics table is not open yet, so the finding is logged after the start.
    if (ReadConfig(QStringLiteral("register_nnocod"), QStringLiteral("tak")) ==
        QStringLiteral("tak")) {
        pendingDiag_ = MailProtocolsReport();
        WriteConfig(QStringLiteral("register_nnocod"), QStringLiteral("nie"));
    }
}

void TOknoGlowne::FormActivate() {
    // Once per run: re-activation after a dialog must not ask for the login again.
    if (started_ || starting_ || closing_ || !isVisible()) return;
    starting_ = true;
    repaint();
    bool ok = false;
    try {
        ok = system_ && system_->StartSystem();
    } catch (const std::exception& e) {
        prompts().message(Severity::Error, QString::fromUtf8(e.what()));
        ok = false;
    }
    starting_ = false;
    if (!ok) {
        if (!loginCancelled_)
            prompts().message(Severity::Error,
                              QStringLiteral("Uruchomienie programu nie jest możliwe"));
        closing_ = true;
        close();
        return;
    }
    started_ = true;
    lblUzytkownik->setText(QStringLiteral("Użytkownik: ") + system_->CurrentUserName());
    if (!pendingDiag_.isEmpty()) {
        LogDiag(pendingDiag_, system_->CurrentUserName());
        pendingDiag_.clear();
    }
    if (afterStart) afterStart();
    // A note for today opens the plan first; then the alarms that are due ring.
    try {
        if (TblNotatki && TblNotatki->IsAnyNote()) PokazTerminarz(this);
    } catch (const EDatabaseError& e) {
        prompts().message(Severity::Error, QString::fromUtf8(e.what()));
    }
    if (started_) alarmCheck_->CheckAlarms();
}

void TOknoGlowne::closeEvent(QCloseEvent* event) {
    closing_ = true;
    alarmCheck_->timer()->stop();  // no check may run on freed tables
    if (started_ && system_) {
        try {
            system_->ShutdownTables();
        } catch (...) {
            // Closing goes on whatever the tables say.
        }
        started_ = false;
    }
    event->accept();
}

void TOknoGlowne::btnKonfiguracjaClick() {
    if (TConfig* config = ConfigWindow()) {
        config->Execute();
        return;
    }
    TConfig config(this);
    config.Execute();
}

}  // namespace pulpex
