// Pulpex: the secretariat's organiser. The program is the main window and the windows made at
// start; everything else lives in the libraries.
#include <unistd.h>
#include <QApplication>
#include <QIcon>
#include <cstdlib>

#include "core/ui/am_confg.h"
#include "core/ui/help.h"
#include "core/ui/qtprompts.h"
#include "core/ui/w_glow.h"

int main(int argc, char** argv) {
    // Text recognition spins OpenMP threads on every core and runs three times slower for it.
    setenv("OMP_THREAD_LIMIT", "1", 0);
    // The web viewer's engine refuses to start as root unless its sandbox is off.
    if (::geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pulpex"));
    QApplication::setOrganizationName(QStringLiteral("Pulpex"));
    QApplication::setDesktopFileName(QStringLiteral("pulpex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pulpex.png")));
    pulpex::QtPrompts prompts;
    pulpex::InstallHelpKey();

    // The windows of the program, in the order they are made at start.
    pulpex::TOknoGlowne mainWindow;
    pulpex::TConfig config(&mainWindow);
    mainWindow.show();
    const int rc = QApplication::exec();
    return rc;
}
