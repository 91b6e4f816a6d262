// The data grid that finds a row as the user types. Typed characters of the searchable set
// (blank, ".", digits, Latin letters, "_", the Polish letters) collect into a search text; the
// grid moves its data set to the first row whose SearchName field begins with the text (or, with
// SearchIndex on a table data set, to the nearest key of that tag). The hint shows
// "Wyszukiwanie : " and the text; Backspace clears the text and goes to the first row.
//
// The grid shows its data set through a TDBGridModel, whole rows selected; the current row
// follows the data set's and moves it.
#pragma once

#include <QPointer>
#include <QTableView>
#include <memory>
#include <vector>

#include "controls/data/dataset.h"
#include "controls/grid/dbgridmodel.h"

namespace pulpex {

class TCV_DBGrid : public QTableView {
    Q_OBJECT
  public:
    explicit TCV_DBGrid(QWidget* parent = nullptr);
    ~TCV_DBGrid() override;

    void SetDataSet(TDataSet* ds);
    TDataSet* DataSet() const { return model_->DataSet(); }
    TDBGridModel* GridModel() const { return model_; }
    void AddColumn(const QString& field, const QString& title, int width = 0);

    // Several rows may be selected (Ctrl / Shift with the mouse or the arrows).
    void SetMultiSelect(bool on);
    bool MultiSelect() const;
    // Bookmarks of the selected rows in row order (the current row when none is selected).
    std::vector<engine::Bookmark> SelectedBookmarks() const;

    QString SearchName() const { return searchName_; }
    void SetSearchName(const QString& field);
    QString SearchIndex() const { return searchIndex_; }
    void SetSearchIndex(const QString& tag);
    bool SearchCaseSens() const { return caseSens_; }
    void SetSearchCaseSens(bool on) { caseSens_ = on; }
    QString SearchText() const { return searchText_; }

    // Whether `c` may be part of a search text.
    static bool IsSearchChar(QChar c);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Items are found by the search text only.
    void keyboardSearch(const QString&) override {}

  private:
    TDBGridModel* model_;  // child
    QString searchName_, searchIndex_, searchText_;
    bool caseSens_ = false;

    void applyWidths();
    void search();
    void setHint(const QString& text);
};

}  // namespace pulpex
