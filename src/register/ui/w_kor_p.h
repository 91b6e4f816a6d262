// "Korespondencja Przychodząca": the incoming letters, read-only, to look through and pick one
// (the letter an outgoing one answers).
#pragma once

#include "core/ui/window.h"
#include "register/ui/d_f_k_p.h"

class QPushButton;
class QTabWidget;

namespace pulpex {

class TCV_DBGrid;
class TQueryDataSet;
class TTableDataSet;

class TOknoKorPrzy : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TOknoKorPrzy(QWidget* parent = nullptr);

    // Opens the list and the current letter's tables; false (after saying why) when they
    // cannot be opened.
    bool Prepare();
    // The ID of the letter chosen with "&OK"; 0 when closed otherwise or the list is empty.
    int Wynik() const;

    // The statement the list shows now, as one text.
    QString ListSql() const;

  private:
    void buildBrowsePage(QWidget* page);
    void buildAddressPage(QWidget* page);
    void qZdarzeniaAfterOpen();
    void btnFiltrClick();
    void btnKalendarzClick();
    void btnBazaAdresowClick();
    void btnTerminarzClick();
    void btnOKClick();
    void DBGrid1DoubleClick();

    // Selection, filter condition and order of the list after a filter.
    QString wybor_, warunek_, porzadek_;
    TZdarzenia_FiltrInfo filtr_;
    int wynik_ = 0;

    TQueryDataSet* qZdarzenia;
    TTableDataSet* tZdarzenia;
    TTableDataSet* tAdresy;
    TCV_DBGrid* DBGrid1;
    QTabWidget* PageControl1;
    QPushButton* btnFiltr;
    QPushButton* btnOK;
};

// Shows the incoming letters; the ID of the one chosen with "&OK", or 0.
int OknoKorPrzy(QWidget* owner);

}  // namespace pulpex
