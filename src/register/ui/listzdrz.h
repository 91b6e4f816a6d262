// "Zdarzenia": the register's main window. The events (number and date) on the left, the current
// event on four pages on the right, edited in place; the kind boxes, the filter and the search
// above; new events, deletion and the related windows from its buttons. Browsing from the main
// window, choosing one event for a caller that needs one.
#pragma once

#include <QSet>
#include <QString>
#include <memory>

#include "core/ui/window.h"
#include "register/ui/d_f_k_p.h"

class QCheckBox;
class QEvent;
class QPushButton;
class QTabWidget;
class QWidget;

namespace pulpex {

class TCV_DBGrid;
class TQueryDataSet;
class TStronyZdarzenia;
class TTableDataSet;

class TformListaZdarzen : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TformListaZdarzen(QWidget* parent = nullptr);
    ~TformListaZdarzen() override;

    // Opens the list; `choosing` shows "&OK" and turns "&Koniec" into "Anuluj".
    void Prepare(bool choosing);
    // The identifier of the current event after "&OK" in choosing mode, else 0.
    int Result() const { return result_; }
    // The list query's text as it was last opened.
    QString QueryText() const;
    bool SearchOn() const { return searchOn_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void buildTopBar();
    void buildPages();
    QWidget* buildLinksPage();

    // Closes the list query, sets its text to the four parts and opens it again, standing on
    // the event `keepId` when it is still listed.
    void reopenList(int keepId = 0);
    void qZdarzeniaAfterOpen();
    void tZdarzeniaAfterScroll();
    void kindBoxClick(QCheckBox* clicked);
    void btnFiltrClick();
    void btnSzukajClick();
    // Runs the search off the window's thread with progress; false when stopped or failed.
    bool runSearch(const QString& text);
    void btnNoweClick();
    void btnUsunClick();
    void btnOKClick();
    void btnKalendarzClick();
    void btnAdresyClick();
    void btnTerminarzClick();
    void btnKonfiguracjaClick();
    void btnWydrukClick();
    void chbPokazujClick();
    void qRelSZAfterOpen();
    void btnSkojarzClick();
    void btnUsunSkojarzenieClick();
    void FormDeactivate();
    int currentId() const;

    TQueryDataSet* qZdarzenia;
    TTableDataSet* tZdarzenia;
    TTableDataSet* tAdresy;
    TTableDataSet* tZdarzenie_DOP_TO_NUMER;
    TQueryDataSet* qRelSZ;
    TTableDataSet* tRelSZ;

    TCV_DBGrid* grdZdarzenia;
    QPushButton* btnNowe;
    QPushButton* btnUsun;
    QPushButton* btnFiltr;
    QCheckBox* cbPrzychodzace;
    QCheckBox* cbWychodzace;
    QCheckBox* cbInne;
    QPushButton* btnSzukaj;
    QPushButton* btnKoniec;
    QPushButton* btnOK;
    QTabWidget* PageControl1;
    QWidget* tsSkojarzenia;

    TStronyZdarzenia* pages_;
    TCV_DBGrid* grdSprawy;
    QCheckBox* chbPokazuj;
    QPushButton* btnSkojarz;
    QPushButton* btnUsunSkojarzenie;

    QString selection_, kindCondition_, filterCondition_, order_;
    TZdarzenia_FiltrInfo filtr_;
    bool searchOn_ = false;
    QString searchText_;
    QSet<int> found_;
    int idField_ = -1;
    int result_ = 0;
    bool choosing_ = false;
    bool deactivating_ = false;
};

// Opens the event list modally. In choosing mode, the identifier of the event highlighted when
// "&OK" was pressed (0 when the list was empty); otherwise, and when cancelled, 0.
int ListaZdarzen(QWidget* owner, bool choosing);

}  // namespace pulpex
