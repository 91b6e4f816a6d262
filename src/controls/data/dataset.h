// Data sets: the windows' view of a table or a query, in the manner of the Delphi data sets the
// windows were designed with. A data set has a current row, a state (browse, edit, insert) and
// events; data-aware controls and grids listen to it.
//
//   TTableDataSet t;                       TQueryDataSet q;
//   t.SetDatabaseName(dir);                q.SetDatabaseName(dir);
//   t.SetTableName("ADRESY");              q.SQL() = {"select * from ZDARZ", "where ZD_ADR =
//   :adr"}; t.SetIndexName("ADR_ID");              q.SetParam("adr", 7); t.Open(); q.Open();
//
// Contracts:
// - A table data set holds its own engine cursor (its own open of the files, like another
//   workstation): it sees other cursors' and processes' changes when it navigates or refreshes,
//   and Edit() on a row locked elsewhere throws the engine's EDatabaseError (reason Locked).
// - Field values come as QVariant: QString (string, memo), qlonglong (integer), double (float),
//   bool, QDate, QDateTime, QByteArray (graphic); a blank field is a null QVariant.
// - SetFieldValue requires Edit or Insert state; otherwise, like every misuse (a closed data
//   set, an unknown field, a query asked to change), it throws EDatabaseError.
// - Post emits UpdateRecord (controls write their pending text), BeforePost, writes, AfterPost,
//   then AfterScroll. Every change of State() emits StateChange.
// - AfterScroll is emitted whenever the current row may have changed: navigation, open,
//   refresh, post, cancel of an insert, delete, a master's move. DataSetChange is emitted when
//   the rows or their order may have changed (open, refresh, post, delete, index, range,
//   filter): views reload then.
// - Between DisableControls and the matching EnableControls no AfterScroll, DataChange or
//   DataSetChange is emitted; EnableControls emits one of each when any was held back.
// - A handler of a Before* signal may call Abort(): the operation then stops silently.
// - Reading rows without moving the current row: CreateReader() gives an independent cursor over
//   the same rows in the same order (same index, range, filter text and record filter); its
//   bookmarks are valid for GotoBookmark of the data set. Grids read through it.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "tables/engine/cursor.h"
#include "tables/engine/error.h"
#include "tables/engine/query.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"

namespace pulpex {

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// Decides whether a row is visible; called with the cursor standing on the candidate row.
using TRecordFilter = std::function<bool(engine::Cursor&)>;

// A field's value as the data sets give it (see above); the cursor must stand on a row.
QVariant cursorFieldValue(engine::Cursor& c, int field);

class TDataSet : public QObject {
    Q_OBJECT
  public:
    explicit TDataSet(QObject* parent = nullptr);
    ~TDataSet() override;

    // --- Opening
    void Open();
    void Close();
    bool Active() const { return state_ != TDataSetState::Inactive; }
    void SetActive(bool on);
    // Re-reads the rows, staying on the current row when it still exists (else the first).
    void Refresh();
    TDataSetState State() const { return state_; }
    // In edit or insert state: something typed waits to be posted.
    bool Editing() const {
        return state_ == TDataSetState::Edit || state_ == TDataSetState::Insert;
    }

    // --- Navigation
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves by n rows (negative: back); stops at either end.
    void MoveBy(int n);
    bool Eof() const;
    bool Bof() const;
    bool IsEmpty() const;
    // Visible rows (counted by walking a reader when a range or filter is in force).
    qlonglong RecordCount() const;
    engine::Bookmark GetBookmark() const;
    void GotoBookmark(const engine::Bookmark& b);
    // First row, in the current order, whose field equals value (strings trimmed); the
    // position is kept when none is found.
    bool Locate(const QString& field, const QVariant& value, bool caseInsensitive = false);

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // --- Fields of the current row (in Edit/Insert state: the edited values)
    const std::vector<engine::FieldInfo>& Fields() const;
    QStringList FieldNames() const;
    int FieldIndex(const QString& name) const;  // -1 when absent (case-insensitive)
    QVariant FieldValue(const QString& name) const;
    QString FieldText(const QString& name) const;  // the value as text; "" for blank
    QString AsString(const QString& name) const { return FieldText(name); }
    qlonglong AsInteger(const QString& name) const;
    double AsFloat(const QString& name) const;
    bool AsBoolean(const QString& name) const;
    QDate AsDate(const QString& name) const;
    QDateTime AsDateTime(const QString& name) const;
    QByteArray AsBytes(const QString& name) const;
    // A null QVariant clears the field. Emits DataChange(name).
    void SetFieldValue(const QString& name, const QVariant& value);
    // True after SetFieldValue in the current Edit/Insert.
    bool Modified() const { return modified_; }

    // --- Changing rows
    virtual bool CanModify() const { return false; }
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Stops the operation whose Before* signal is being handled.
    void Abort() { aborted_ = true; }

    // --- Filtering
    void SetOnFilterRecord(TRecordFilter filter);
    // Applies the record filter (and, on tables, the filter text).
    void SetFiltered(bool on);
    bool Filtered() const { return filtered_; }

    // An independent cursor over the same rows; null when the data set is closed.
    virtual std::unique_ptr<engine::Cursor> CreateReader() const = 0;

    TDataSet* Master() const { return master_; }

  signals:
    void BeforeOpen();
    void AfterOpen();
    void BeforeClose();
    void AfterClose();
    void AfterScroll();
    void BeforeEdit();
    void BeforeInsert();
    void NewRecord();  // a new row exists in the buffer: set defaults here
    void UpdateRecord();
    void BeforePost();
    void AfterPost();
    void AfterCancel();
    void BeforeDelete();
    void AfterDelete();
    void StateChange();
    void DataChange(const QString& field);  // "" = the whole row
    void DataSetChange();

  protected:
    // The engine cursor of the open data set (null when closed).
    virtual engine::Cursor* cursor() const = 0;
    virtual void doOpen() = 0;
    virtual void doClose() = 0;
    // Re-runs / re-reads keeping what can be kept; the position is restored by the caller.
    virtual void doRefresh() = 0;
    virtual void doEdit();
    virtual void doInsert();
    virtual void doPost();
    virtual void doCancel();
    virtual void doDelete();
    virtual void doSetField(int field, const QVariant& value);
    virtual void applyFilter();
    // Whether the data set must show no rows (a detail whose master stands on no row).
    bool emptyByMaster() const { return emptyByMaster_; }

    void setState(TDataSetState s);
    void requireActive() const;
    void requireRow() const;
    void notifyScroll();
    void notifyDataChange(const QString& field);
    void notifyDataSetChange();
    // Called when the master moved; subclasses re-read their rows.
    virtual void masterChanged() {}
    void attachMaster(TDataSet* master);
    // Combined record filter: the user's callback when filtering is on.
    TRecordFilter effectiveRecordFilter() const;

    TRecordFilter onFilter_;
    bool filtered_ = false;
    bool emptyByMaster_ = false;

  private:
    TDataSetState state_ = TDataSetState::Inactive;
    int disableCount_ = 0;
    bool pendingScroll_ = false, pendingData_ = false, pendingSetChange_ = false;
    bool modified_ = false;
    bool aborted_ = false;
    QPointer<TDataSet> master_;
    QMetaObject::Connection masterScroll_, masterClose_;
    bool checkAbort();
};

// A data set over one table of a database directory.
class TTableDataSet : public TDataSet {
    Q_OBJECT
  public:
    explicit TTableDataSet(QObject* parent = nullptr);
    ~TTableDataSet() override;

    QString DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& dir);
    // "ADRESY" or "ADRESY.DBF"; looked up case-insensitively.
    QString TableName() const { return tableName_; }
    void SetTableName(const QString& name);
    // A tag of the production index; "" = physical order. Changeable while open (the current
    // row is kept).
    QString IndexName() const { return indexName_; }
    void SetIndexName(const QString& tag);
    // Engine filter expression ("ID=5"), applied while Filtered().
    QString Filter() const { return filter_; }
    void SetFilter(const QString& expression);
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool on) { exclusive_ = on; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    bool CanModify() const override { return Active() && !readOnly_; }

    // Rows whose leading key part of the current index lies between low and high.
    void SetRange(const QVariant& low, const QVariant& high);
    void CancelRange();
    // Key search on the current index (leading key part), as the engine's findKey/findNearest.
    bool FindKey(const QVariant& value);
    bool FindNearest(const QVariant& value);
    // FindNearest on another tag, keeping the current index (and its order) afterwards.
    bool FindNearestOnIndex(const QString& tag, const QVariant& value);

    // Master–detail: the detail shows the rows whose leading key part of its current index
    // equals masterField of the master's current row (a range); a master on no row, or a blank
    // master value, shows an empty detail. New detail rows get the value in detailField (by
    // default the index's leading field when its key is a plain field list).
    void SetMaster(TDataSet* master, const QString& masterField, const QString& detailField = {});
    QString MasterField() const { return masterField_; }

    // The engine table of the open data set (null when closed). Moving it directly bypasses
    // the events: call Resync() afterwards.
    engine::Table* Table() const { return table_.get(); }
    void Resync();

    std::unique_ptr<engine::Cursor> CreateReader() const override;
    // Full path of the table file (resolved case-insensitively).
    QString TablePath() const;

  protected:
    engine::Cursor* cursor() const override { return table_.get(); }
    void doOpen() override;
    void doClose() override;
    void doRefresh() override;
    void doEdit() override;
    void doInsert() override;
    void doPost() override;
    void doCancel() override;
    void doDelete() override;
    void doSetField(int field, const QVariant& value) override;
    void applyFilter() override;
    void masterChanged() override;

  private:
    QString databaseName_, tableName_, indexName_, filter_;
    bool exclusive_ = false, readOnly_ = false;
    QString masterField_, detailField_;
    bool userRange_ = false;
    engine::Value rangeLow_, rangeHigh_;
    std::unique_ptr<engine::Table> table_;
    void applyRange();
    void configure(engine::Table& t) const;
};

// A read-only data set over a query of the program's SQL dialect.
class TQueryDataSet : public TDataSet {
    Q_OBJECT
  public:
    explicit TQueryDataSet(QObject* parent = nullptr);
    ~TQueryDataSet() override;

    QString DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& dir);
    // The statement's lines; changing them takes effect at the next Open.
    QStringList& SQL() { return sql_; }
    const QStringList& SQL() const { return sql_; }
    void SetSQL(const QStringList& lines);
    // Parameters (:name, case-insensitive); a change takes effect at the next Open/Refresh.
    QVariant ParamByName(const QString& name) const;
    void SetParam(const QString& name, const QVariant& value);

    // Parameters named like fields of the master are bound from the master's current row, and
    // the query re-opens whenever that row changes (a master on no row binds blanks).
    void SetMaster(TDataSet* master);

    engine::Query* Query() const { return query_.get(); }
    std::unique_ptr<engine::Cursor> CreateReader() const override;

  protected:
    engine::Cursor* cursor() const override { return query_.get(); }
    void doOpen() override;
    void doClose() override;
    void doRefresh() override;
    void applyFilter() override;
    void masterChanged() override;

  private:
    QString databaseName_;
    QStringList sql_;
    std::vector<std::pair<QString, QVariant>> params_;  // names in upper case
    std::unique_ptr<engine::Query> query_;
    void bindParams();
};

// Converts a QVariant to the engine's value for a field of the given type.
engine::Value toEngineValue(const QVariant& v, engine::FieldType type);
engine::Value toEngineValue(const QVariant& v);

}  // namespace pulpex
