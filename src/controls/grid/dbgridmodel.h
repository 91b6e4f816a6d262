// A table model over a data set, for grids. Rows are found lazily through the data set's reader
// (CreateReader): the model walks the rows in batches as the view asks for more (canFetchMore /
// fetchMore), keeping only each row's bookmark, and reads a row's fields when the view shows it,
// keeping a small cache. So a grid over 100,000 rows reads a screenful of rows to show the first
// screen, and the data set's current row never moves because of painting.
//
// The model reloads (a full reset) whenever the data set reports that its rows changed
// (DataSetChange: open, close, refresh, post, delete, range, filter, a master's move).
// BindView keeps a view's current row and the data set's current row together, both ways.
#pragma once

#include <QAbstractTableModel>
#include <QCache>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <unordered_map>
#include <vector>

#include "controls/data/dataset.h"

class QAbstractItemView;

namespace pulpex {

class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    struct Column {
        QString field;
        QString title;
        int width = 0;  // pixels; 0 = the view's default
    };

    explicit TDBGridModel(QObject* parent = nullptr);
    ~TDBGridModel() override;

    void SetDataSet(TDataSet* ds);
    TDataSet* DataSet() const { return ds_; }

    // Without columns every field of the data set is shown under its name.
    void AddColumn(const QString& field, const QString& title, int width = 0);
    void ClearColumns();
    // The columns shown (the chosen ones, or one per field).
    std::vector<Column> Columns() const;

    // Rows walked per fetchMore.
    void SetBatchSize(int n) { batch_ = n > 0 ? n : 1; }

    // The row of a bookmark, walking further when it lies beyond the rows found so far;
    // -1 when the data set has no such visible row.
    int RowOf(const engine::Bookmark& b);
    engine::Bookmark BookmarkAt(int row) const;
    bool AllFetched() const { return !reader_ || atEnd_; }

    // Keeps `view`'s current row and the data set's current row together. The view must
    // already show this model.
    void BindView(QAbstractItemView* view);

    // Counters for tests and benchmarks: rows whose fields were read, rows walked.
    qint64 RowReads() const { return rowReads_; }
    qint64 RowsWalked() const { return rowsWalked_; }

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  public slots:
    void Reload();

  private:
    QPointer<TDataSet> ds_;
    std::vector<Column> chosen_;
    std::vector<Column> shown_;
    std::vector<int> fieldNos_;  // field number of each shown column (-1: unknown field)
    std::unique_ptr<engine::Cursor> reader_;
    std::vector<engine::Bookmark> rows_;
    std::unordered_map<std::uint64_t, int> rowOf_;
    bool atEnd_ = true;
    int batch_ = 256;
    mutable QCache<int, std::vector<QVariant>> cache_;
    mutable qint64 rowReads_ = 0;
    qint64 rowsWalked_ = 0;
    QPointer<QAbstractItemView> view_;
    bool syncing_ = false;
    std::vector<QMetaObject::Connection> dsConnections_;

    void rebuildColumns();
    // Walks up to `n` more rows (all when n < 0) and announces them; stops early at `until`.
    void walk(int n, const engine::Bookmark* until = nullptr);
    const std::vector<QVariant>* rowValues(int row) const;
    QString display(const QVariant& v, int column) const;
    void followDataSet();
    void followView(const QModelIndex& current);
    void dataChangedInBuffer(const QString& field);
};

}  // namespace pulpex
