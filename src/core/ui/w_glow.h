// The main window: a column of large buttons that open the program's windows, an information
// panel and the help label. Creating it creates the system object; its first activation runs the
// start sequence (table check and login); closing it shuts the tables down.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTimer;

namespace pulpex {

class TAlarmCheck;
class TForm_Loading;
class TPulpex_System;

// The web button's scrolling caption: 9 characters of " WWW * Internet * Przeglądarka" read
// from position `p` (1-based) onwards, wrapping to the text's start.
QString WwwCaption(int p);
// The position after `p` (back to 1 after the last character).
int NextWwwPosition(int p);

class TOknoGlowne : public QMainWindow {
    Q_OBJECT

  public:
    // `mainDir` names the installation directory (tests); empty reads the App Paths stand-in.
    explicit TOknoGlowne(const QString& mainDir = {}, QWidget* parent = nullptr);
    ~TOknoGlowne() override;

    // The system object, or nullptr when its creation failed.
    TPulpex_System* system() const { return system_.get(); }
    // True once the start sequence has succeeded (until the window closes).
    bool started() const { return started_; }

    // The alarm check with its 3-second timer (started by the first check).
    TAlarmCheck* alarmCheck() const { return alarmCheck_; }
    // Runs after a successful start, before today's notes and the alarms (tests).
    std::function<void()> afterStart;

    QPushButton* btnKonfiguracja = nullptr;
    QPushButton* btnTerminarz = nullptr;
    QPushButton* btnKoniec = nullptr;
    QLabel* lblPomoc = nullptr;
    QLabel* lblUzytkownik = nullptr;
    QPushButton* btnWWW = nullptr;  // the web viewer; its caption scrolls
    QTimer* Timer2 = nullptr;       // 500 ms: scrolls btnWWW's caption

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormShow();
    void FormActivate();
    void btnKonfiguracjaClick();
    QPushButton* addButton(const QString& caption, const char* name);

    std::unique_ptr<TPulpex_System> system_;
    bool started_ = false;
    bool starting_ = false;
    bool loginCancelled_ = false;  // the user closed the log-in
    bool closing_ = false;
    QString pendingDiag_;  // what the first-run check found, logged once the tables are open
    QWidget* buttonColumn_ = nullptr;
    TAlarmCheck* alarmCheck_ = nullptr;  // child
    TForm_Loading* loading_ = nullptr;   // child, the notice during the table check
    int wwwPosition_ = 1;                // where btnWWW's caption starts in its text
};

}  // namespace pulpex
