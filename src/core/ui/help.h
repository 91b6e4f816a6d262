// The program's Polish help: one HTML page per topic, compiled in under ":/help/", named after
// the topic's help context ("999.html" for the main window). F1 anywhere opens the topic of the
// window that has the focus: the nearest widget up the parent chain that has a help context,
// else the main window's topic.
#pragma once

#include <QString>

class QWidget;

namespace pulpex {

// Help topics, one per window; the page of topic n is help/<n>.html.
constexpr int kHelpMainWindow = 999;
constexpr int kHelpConfig = 100;
constexpr int kHelpBackup = 101;
constexpr int kHelpUserList = 110;
constexpr int kHelpUserEdit = 111;
constexpr int kHelpPasswordChange = 112;
constexpr int kHelpPassword = 113;
constexpr int kHelpListaZdarzen = 300;
constexpr int kHelpNowaKor = 310;
constexpr int kHelpKorPrzy = 320;
constexpr int kHelpFiltrKorPrzy = 321;
constexpr int kHelpEdytorTresci = 330;
constexpr int kHelpDrukLista = 340;
constexpr int kHelpSprawy = 400;
constexpr int kHelpNowaSprawa = 410;
constexpr int kHelpListaSpraw = 420;
constexpr int kHelpFiltrSpraw = 430;
constexpr int kHelpStrony = 500;
constexpr int kHelpNowaStrona = 510;
constexpr int kHelpWzoryKorespondencji = 600;
constexpr int kHelpSerialMailing = 610;
constexpr int kHelpMailServer = 620;
constexpr int kHelpMailEdit = 630;
constexpr int kHelpWWWView = 650;
constexpr int kHelpOknoPism = 700;
constexpr int kHelpOleEditor = 710;
constexpr int kHelpImageForm = 720;
constexpr int kHelpViewForm = 730;
constexpr int kHelpKalendarz = 800;
constexpr int kHelpTerminarz = 810;
constexpr int kHelpNowyAlarm = 820;
constexpr int kHelpZegarek = 830;

// The topics that have a page (a window joins this list with its page).
inline constexpr int kHelpTopics[] = {
    kHelpMainWindow,    kHelpConfig,         kHelpUserList,
    kHelpUserEdit,      kHelpPasswordChange, kHelpPassword,
    kHelpKalendarz,     kHelpTerminarz,      kHelpNowyAlarm,
    kHelpZegarek,       kHelpBackup,         kHelpWWWView,
    kHelpStrony,        kHelpNowaStrona,     kHelpFiltrKorPrzy,
    kHelpNowaKor,       kHelpKorPrzy,        kHelpEdytorTresci,
    kHelpMailServer,    kHelpListaZdarzen,   kHelpDrukLista,
    kHelpSprawy,        kHelpNowaSprawa,     kHelpListaSpraw,
    kHelpFiltrSpraw,    kHelpOknoPism,       kHelpOleEditor,
    kHelpImageForm,     kHelpViewForm,       kHelpWzoryKorespondencji,
    kHelpSerialMailing, kHelpMailEdit,
};

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
