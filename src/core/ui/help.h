// The program's Polish help: one HTML page per topic, compiled in under ":/help/", named after
// the topic's help context ("999.html" for the main window). F1 anywhere opens the topic of the
// window that has the focus: the nearest widget up the parent chain that has a help context,
// else the main window's topic.
#pragma once

#include <QString>

class QWidget;

namespace pulpex {

constexpr int kHelpMainWindow = 999;

// Gives `w` (a window or any widget in it) the help topic `context`.
void SetHelpContext(QWidget* w, int context);
// The help topic of `w` or of its nearest parent that has one; 0 when none has.
int HelpContextOf(const QWidget* w);
// The resource path of a topic's page (":/help/<n>.html"), or of the contents page
// (":/help/index.html") when there is no page for it.
QString HelpPage(int context);

// Installs the application-wide F1 handling (once; later calls do nothing).
void InstallHelpKey();
// Opens the help window on `context` (a non-modal window of its own, reused while open).
void ShowHelp(int context);
// The help window when it is open (tests), or nullptr.
QWidget* HelpWindow();

}  // namespace pulpex
