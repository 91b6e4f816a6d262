// The current event's pages, "Zdarzenie", "Treść" and "Adres", as the event list and the cases
// window show them: the named controls over the window's data sets, the content tools and the
// controls each kind of event shows. The window adds the pages to its tabs and tells which event
// is current; what it does its own way is set in TStronyZdarzeniaUklad.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;

namespace pulpex {

class TDataSet;
class TDBCheckBox;
class TDBEdit;
class TDBMemo;
class TPulpexDialog;
class TTableDataSet;

struct TStronyZdarzeniaUklad {
    // The data set the number, date and symbol are read from.
    TDataSet* numberSource = nullptr;
    // "N&umer" and "&Data" rather than plain captions.
    bool labelAccelerators = false;
    // The kind's own controls stay hidden until an event is current.
    bool hideUntilCurrent = false;
    // The file buttons' object names and hints; the hint also titles the file dialog.
    const char* loadName = "btnWczytaj";
    QString loadHint;
    const char* saveName = "btnZapisz";
    QString saveHint;
    QString picturesHint;
    // "Wklej" stands before "Kopiuj wszystko" in the tool row.
    bool pasteBeforeCopyAll = false;
    // Cutting and pasting store the content at once, and it is stored before it is saved to a file.
    bool postEachChange = false;
    // The correspondent is only shown; it is edited in the address book.
    bool addressReadOnly = false;
};

class TStronyZdarzenia : public QObject {
  public:
    // `tabs` is where the window puts the pages; `currentEventId` gives 0 when no event is current.
    TStronyZdarzenia(TPulpexDialog* owner, QTabWidget* tabs, TTableDataSet* tZdarzenia,
                     TTableDataSet* tAdresy, TTableDataSet* tZdarzenie_DOP_TO_NUMER,
                     const TStronyZdarzeniaUklad& uklad, std::function<int()> currentEventId);

    QWidget* EventPage() const { return tsZdarzenie; }
    QWidget* ContentPage() const { return tsTresc; }
    QWidget* AddressPage() const { return tsAdres; }
    TDBEdit* Recipient() const { return edOdbiorca; }

    // The kind (ZD_TYP) of the current event, 0 when there is none.
    int CurrentKind() const;
    // Shows the controls an event of kind `kind` has.
    void ShowKind(int kind);

  private:
    QWidget* buildEventPage();
    QWidget* buildContentPage();
    QWidget* buildAddressPage();
    void btnDoPismaClick();
    void btnOknoEdycyjneClick();
    void btnRysunkiClick();
    void btnWczytajClick();
    void btnZapiszClick();

    TPulpexDialog* owner_;
    QTabWidget* tabs_;
    TTableDataSet* tZdarzenia;
    TTableDataSet* tAdresy;
    TTableDataSet* tZdarzenie_DOP_TO_NUMER;
    TStronyZdarzeniaUklad uklad_;
    std::function<int()> currentEventId_;

    QWidget* tsZdarzenie = nullptr;
    QWidget* tsTresc = nullptr;
    QWidget* tsAdres = nullptr;
    QLabel* lbSymbol = nullptr;
    TDBEdit* edSymbol = nullptr;
    QLabel* lbOdbiorca = nullptr;
    TDBEdit* edOdbiorca = nullptr;
    TDBEdit* edDoPisma = nullptr;
    QPushButton* btnDoPisma = nullptr;
    TDBCheckBox* chbPolecone = nullptr;
    TDBMemo* memTresc = nullptr;
};

}  // namespace pulpex
