// "Baza adresów": the address book. Browses, searches, edits and deletes addresses; in choosing
// mode it gives back the chosen address, or fills a list with several for a serial mailing.
#pragma once

#include <memory>

#include "core/ui/window.h"

class QCheckBox;
class QRadioButton;
class QTabWidget;

namespace pulpex {

class TCV_DBGrid;
class TDBCheckBox;
class TDBNavigator;
class TListaWybranychAdresow;
class TQueryDataSet;
class TTableDataSet;
struct TPolaAdresu;

class TOknoStron : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TOknoStron(QWidget* parent = nullptr);
    ~TOknoStron() override;

    // Browsing: no "&OK", and the cancel button reads "Koniec". Choosing: "&OK" gives back the
    // current address; with a list, several rows may be selected and "&OK" fills the list.
    void Prepare(bool choosing, TListaWybranychAdresow* list = nullptr);
    // The address chosen with "&OK"; 0 otherwise.
    int ChosenID() const { return chosen_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void done(int r) override;

  private:
    void buildBaza(QWidget* page);
    void buildAdres(QWidget* page);

    // The check boxes and search radios: the query's condition and order, the grid's search
    // column.
    void Filtruj();
    void OpenQuery(const QStringList& sql);
    // tAdresy follows the query's current row, posting what was typed first.
    void qAdresyAfterScroll();
    void UpdateEnabled();
    // PostPending, marked as running.
    bool Post();
    int CurrentID() const;
    bool PositionOn(int id);
    void btnUsunClick();
    void btnNowyClick();
    void btnOkClick();
    void GridDoubleClick();

    QTabWidget* PageControl1;
    QCheckBox* chbPrywatne;
    QCheckBox* chbFirmy;
    QRadioButton* rbFirmy;
    QRadioButton* rbNazwiska;
    TCV_DBGrid* dbgAdresy;
    QPushButton* btnUsun;
    QPushButton* btnNowy;
    QPushButton* btnOk;
    QPushButton* btnAnuluj;
    TDBNavigator* DBNavigator1;
    TDBCheckBox* chbPrywatny;
    TQueryDataSet* qAdresy;
    TTableDataSet* tAdresy;
    std::unique_ptr<TPolaAdresu> pola_;

    TListaWybranychAdresow* list_ = nullptr;
    int chosen_ = 0;
    // The condition and order the query was last built with, restored when a post is refused.
    bool prywatne_ = true, firmy_ = true, poFirmie_ = false;
    bool following_ = false;
    // Set while a post runs: the message boxes of a refusal do not post again on leaving.
    bool posting_ = false;
};

// Opens the address book. Choosing: the chosen address's identifier after "&OK", else 0; with a
// list, the addresses selected are put into it. Browsing: always 0.
int OknoStron(QWidget* owner, bool choosing, TListaWybranychAdresow* list = nullptr);

}  // namespace pulpex
