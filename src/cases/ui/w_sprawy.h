// "Sprawy": the cases and, below them, the events linked to the current case with their content
// and correspondent. Cases are created, renamed, described, closed and deleted here; events are
// linked to the current case and unlinked; a filter narrows the cases by state and their events
// by date and correspondent.
#pragma once

#include <QString>

#include "cases/filtr_spraw.h"
#include "core/ui/window.h"

class QEvent;
class QPushButton;
class QTabWidget;
class QWidget;

namespace pulpex {

class TCV_DBGrid;
class TDBCheckBox;
class TDBEdit;
class TDBMemo;
class TQueryDataSet;
class TStronyZdarzenia;
class TTableDataSet;

class TOknospraw : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TOknospraw(QWidget* parent = nullptr);
    ~TOknospraw() override;

    // Opens the case list (all cases) and the events of the first case.
    void Prepare();
    // The statements the two lists show now, as one text each.
    QString CasesQueryText() const;
    QString EventsQueryText() const;
    const TSprawy_FiltrInfo& Filtr() const { return filtr_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void buildCasePart();
    void buildEventPart();

    // Closes the case list and opens it again, standing on the case `keepId` when it is listed
    // (else on the first one).
    void reopenCases(int keepId);
    // The same for the linked events, standing on the event `keepEventId` when it is listed.
    void reopenEvents(int keepEventId);
    void casesOpened();
    void eventsOpened();
    void tZdarzeniaAfterScroll();
    int currentCaseId() const;
    int currentEventId() const;

    void btnNowaSprawaClick();
    void btnUsunSpraweClick();
    void btnSkojarzClick();
    void btnUsunSkojarzenieClick();
    void btnFiltrowanieClick();
    void btnZdarzeniaClick();
    void btnAdresyClick();
    void btnKalendarzClick();
    void btnTerminarzClick();
    void btnKonfiguracjaClick();
    void caseEdited();
    void FormDeactivate();

    TQueryDataSet* qSprawy;
    TTableDataSet* tSprawy;
    TQueryDataSet* qRel_SZ;
    TTableDataSet* tRel_SZ;
    TTableDataSet* tZdarzenia;
    TTableDataSet* tAdresy;
    TTableDataSet* tZdarzenie_DOP_TO_NUMER;

    TCV_DBGrid* grdSprawy;
    QTabWidget* PageControl1;
    QWidget* tsSprawa;
    TDBEdit* edNumerSprawy;
    TDBEdit* edNazwaSprawy;
    TDBMemo* memOpisSprawy;
    TDBCheckBox* chbZamknieta;
    QPushButton* btnNowaSprawa;
    QPushButton* btnUsunSprawe;
    QPushButton* btnFiltrowanie;

    TCV_DBGrid* grdZdarzenia;
    QPushButton* btnSkojarz;
    QPushButton* btnUsunSkojarzenie;
    QTabWidget* PageControl2;
    TStronyZdarzenia* pages_;

    TSprawy_FiltrInfo filtr_;
    QString casesSql_;
    QString clause_;
    bool deactivating_ = false;
};

// Opens the cases window modally.
void OknoSpraw(QWidget* owner);

}  // namespace pulpex
