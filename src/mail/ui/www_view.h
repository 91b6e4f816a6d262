// "Przeglądarka WWW": a minimal web browser over Qt WebEngine. An editable address list (each
// address opened joins it once), "Połącz" to open, "Zatrzymaj" to stop a page that is loading,
// the page and a status bar with the address requested.
#pragma once

#include <QString>

#include "core/ui/window.h"

class QComboBox;
class QLabel;
class QStatusBar;
class QToolButton;
class QWebEngineView;

namespace pulpex {

class TformWWWView : public TPulpexDialog {
    Q_OBJECT
  public:
    static const QString kDefaultAddress;

    explicit TformWWWView(QWidget* parent = nullptr);
    ~TformWWWView() override;

    // Opens the address in the address box.
    void Open();
    // The addresses of the list, in order.
    QStringList Addresses() const;

    QLabel* Label1;  // "&Adres"
    QComboBox* URLs;
    QToolButton* GoButton;
    QToolButton* CancelBtn;
    QWebEngineView* HTML1;
    QStatusBar* StatusBar1;

  private:
    void GoButtonClick();
    void CancelBtnClick();
    void HTML1BeginRetrieval();
    void HTML1EndRetrieval();
};

// Shows the web viewer modally (the main window's "www" button).
void PokazPrzegladarke(QWidget* owner);

}  // namespace pulpex
