// Picking one row of a table: the caller names the table, the columns, an optional condition and
// order, and the column the user types into to search; the dialog hands back the row's ID.
#pragma once

#include <QStringList>

#include "core/ui/window.h"

class QPushButton;

namespace pulpex {

class TCV_DBGrid;
class TQueryDataSet;

class TForm_Chooser : public TPulpexDialog {
    Q_OBJECT
  public:
    explicit TForm_Chooser(QWidget* parent = nullptr);
    ~TForm_Chooser() override;

    QString DatabaseName;  // the data directory
    QString TableName;
    QString Fields;     // "AD_NAZW, AD_MIAS"
    QString Condition;  // without "WHERE"; empty for every row
    QString Order;      // without "ORDER BY"; empty for the table's order
    QString SearchField;

    // Shows the list; the ID of the chosen row, 0 when cancelled.
    int Execute();
    int Result() const { return result_; }
    // The query's lines as they were last built.
    QStringList SqlLines() const;

    TCV_DBGrid* grid;
    TQueryDataSet* qLista;
    QPushButton* btnOk;
    QPushButton* btnAnuluj;

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int r) override;

  private:
    void btnOkClick();
    int result_ = 0;
};

}  // namespace pulpex
