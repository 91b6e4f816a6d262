// The configuration window "Parametry konfiguracyjne": the numbering patterns of the three kinds
// of event, the user list, and the installation directory. Created once at program start; the
// main window shows it.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace pulpex {

class TConfig : public QDialog {
    Q_OBJECT

  public:
    explicit TConfig(QWidget* parent = nullptr);
    ~TConfig() override;

    // Shows the window modally; true when closed with OK.
    bool Execute();

    // The event kind whose pattern is being edited (1, 2 or 3).
    int ChosenType() const;
    // The settings key of an event kind's pattern.
    static QString PatternKey(int eventType);

    QTabWidget* tabs = nullptr;
    QRadioButton* rbPrzychodzace = nullptr;
    QRadioButton* rbWychodzace = nullptr;
    QRadioButton* rbInne = nullptr;
    QLineEdit* edSymbol = nullptr;  // the pattern: read-only to typing, upper case
    QLineEdit* edTekst = nullptr;
    QPushButton* btnTekst = nullptr;
    QPushButton* btnRok = nullptr;
    QRadioButton* rbRok2 = nullptr;
    QRadioButton* rbRok4 = nullptr;
    QPushButton* btnMiesiac = nullptr;
    QPushButton* btnNumer = nullptr;
    QRadioButton* rbNumerNZ = nullptr;
    QRadioButton* rbNumerNP = nullptr;  // hidden
    QRadioButton* rbNumerNK = nullptr;  // hidden
    QPushButton* btnUsunSymbol = nullptr;
    QPushButton* btnListaUzytkownikow = nullptr;
    QLineEdit* edMainDir = nullptr;
    QPushButton* btnOK = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void loadPattern();
    void appendToPattern(const QString& piece);
    void edSymbolChange(const QString& text);
    void btnOKClick();

    bool loading_ = false;
};

// The configuration window made at program start, or nullptr.
TConfig* ConfigWindow();

}  // namespace pulpex
