// The base of every table and record object of the system.
//
// A TOT_Table is one table of the data directory: its schema (TTableCreateInfo), the name of its
// identifier tag, and one engine cursor on its files while it is open. Record objects
// (TOT_Record) move whole rows between the table's current row and plain members.
//
// Contracts:
// - Identifiers are "last identifier in the identifier tag + 1". AppendNewID takes the table's
//   append lock and keeps it until the new row is posted or cancelled through PostRow(),
//   CancelRow() or OT_AddNew, so that two workstations never take the same identifier.
// - Engine failures are engine::EDatabaseError; the messages of OT_AddNew are raised as such.
// - Every question (the lock retry) goes through prompts().
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "tables/engine/error.h"
#include "tables/engine/table.h"
#include "tables/engine/value.h"

namespace pulpex {

using engine::EDatabaseError;
using TFieldType = engine::FieldType;

struct TFieldDefinition {
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0;  // strings; memo and graphic fields are declared with 10
};

enum TIndexOption : unsigned {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
    ixExpression = 16,
};

struct TIndexDefinition {
    QString name;
    QString fields;      // field names joined by ";"
    QString expression;  // dBase key expression, may be empty
    unsigned options = 0;
};

// The schema of one table: up to 50 fields and 10 indexes, in order.
class TTableCreateInfo {
  public:
    static constexpr int kMaxFields = 50;
    static constexpr int kMaxIndexes = 10;

    // Throw std::invalid_argument beyond the limits (a programming error).
    void SetFieldDefs(std::vector<TFieldDefinition> fields);
    void SetDefinitions(std::vector<TFieldDefinition> fields,
                        std::vector<TIndexDefinition> indexes);
    void Clear();
    bool IsEmpty() const { return fields_.empty(); }
    const std::vector<TFieldDefinition>& Fields() const { return fields_; }
    const std::vector<TIndexDefinition>& Indexes() const { return indexes_; }
    const TFieldDefinition* Field(const QString& name) const;

  private:
    std::vector<TFieldDefinition> fields_;
    std::vector<TIndexDefinition> indexes_;
};

class TOT_Table;

// One of the two stamps of a record: 0 = creation ("U"), 1 = last modification ("M").
struct TOT_RecordBasicInfo {
    explicit TOT_RecordBasicInfo(int modifyFlag);
    int modifyFlag = 0;
    QChar letter;
    bool set = false;
    quint16 user = 0;
    QDateTime time;
};

struct TOT_RecordInfo {
    TOT_RecordBasicInfo info[2] = {TOT_RecordBasicInfo(0), TOT_RecordBasicInfo(1)};
};

class TOT_Record {
  public:
    TOT_Record() = default;
    virtual ~TOT_Record() = default;
    TOT_Record(const TOT_Record&) = default;
    TOT_Record& operator=(const TOT_Record&) = default;

    // Writes the record into the table's current row buffer (the table is in edit or insert
    // state); derived classes write their fields, then call the base (housekeeping sets).
    virtual void StoreFields(TOT_Table& table);
    // Reads the table's current row; derived classes first, the base last.
    virtual void LoadFields(TOT_Table& table);

    // Marks set `which` (0 or 1) with the current user and now.
    void Stamp(int which);
    // "U <user> <date> <time>\r\n" then "M …\r\n"; an unset stamp gives an empty line.
    QString InfoText() const;

    TOT_RecordInfo Info;
};

// A block of bytes: memo text (UTF-8 with a terminating zero, as SetText stores it) or the raw
// bytes of a binary memo or picture.
class TBin {
  public:
    void Clear() { bytes_.clear(); }
    void SetText(const QString& text);
    // The text up to the first zero byte.
    QString GetText() const;
    // The text without characters of code 13 and below.
    QString GetPrintableText() const;
    void SetBytes(const QByteArray& b) { bytes_ = b; }
    const QByteArray& Bytes() const { return bytes_; }
    qsizetype Size() const { return bytes_.size(); }

    // Text memo fields (converted to and from the table's code page).
    void LoadTextFromBlob(TOT_Table& table, const QString& field);
    void SaveTextToBlob(TOT_Table& table, const QString& field) const;
    // Binary memo or picture fields, bytes as they are.
    void LoadFromBlob(TOT_Table& table, const QString& field);
    void SaveToBlob(TOT_Table& table, const QString& field) const;

  private:
    QByteArray bytes_;
};

// Access to one memo or picture field of a table's current row.
class TOT_Blob {
  public:
    // Shows "błąd - baza jest zamknięta !" and returns false when the table is closed or the
    // name is empty.
    bool Attach(const QString& field, TOT_Table& table);
    bool Attached() const { return fieldNo_ >= 0; }
    QByteArray Read() const;
    // Replaces the field's content and commits the row.
    void Write(const QByteArray& bytes);

  private:
    TOT_Table* table_ = nullptr;
    QString field_;
    int fieldNo_ = -1;
};

class TOT_Table {
  public:
    explicit TOT_Table(const QString& tableName);
    virtual ~TOT_Table();
    TOT_Table(const TOT_Table&) = delete;
    TOT_Table& operator=(const TOT_Table&) = delete;

    QString TableName;     // "ZDARZ", or with its own extension ("restr.dbf")
    QString DatabaseName;  // the data directory, ending in "/"
    QString IDIndexName = QStringLiteral("ID_IDX");
    bool HousekeepingOn = true;
    bool StartupChecked = true;
    bool Exclusive = false;  // how Open() opens the files
    TTableCreateInfo CreateInfo;

    // --- Open state
    void Open();  // throws EDatabaseError
    void Close();
    bool Active() const { return static_cast<bool>(t_); }
    void SetActive(bool on);
    // The open cursor; throws EDatabaseError when the table is closed.
    engine::Table& T();
    // Whether a row is current (open, not on an empty result).
    bool HasRow();

    // --- Virtual operations
    virtual bool CreateTableSelf();
    virtual void CheckTableStruct(bool rebuild);
    virtual void RebuildIndexes();
    virtual bool ReadRecordByID(int id, TOT_Record& record);
    virtual bool LocateID(int id);
    virtual bool LocateKey(const QString& key);
    virtual bool DeleteByID(int id);
    // A new row in insert state with "ID" = last identifier + 1, or 0 when the append failed.
    // Holds the append lock until PostRow() / CancelRow().
    virtual int AppendNewID();
    // id 0: append under the next identifier and write it back; else replace that row.
    virtual void OT_AddNew(int& id, TOT_Record& record);
    // Puts the current row into edit mode, asking to retry while it is locked elsewhere.
    virtual bool LockRecord();
    // Seeds rows after creation.
    virtual void PreInit() {}

    // --- Non-virtual helpers
    void SetIndex(const QString& name);
    void SetIDIndex() { SetIndex(IDIndexName); }
    void DefineAndCreate();
    void ReopenKeepPosition();
    QString TableFileName(bool withExtension = true) const;
    // Path of a companion file (".MDX", ".DBT") as it exists, else in upper case.
    QString CompanionFileName(const QString& extension) const;
    bool TableFileExists() const;
    bool IndexFileExists() const;
    bool DropProductionIndex();
    bool IndexStateConsistent();
    bool CheckStructure();
    // Posts (or cancels) the current row and releases the append lock of AppendNewID.
    void PostRow();
    void CancelRow();

    // Strings: a file field at least as wide as the schema's (any width when lenient).
    static bool FieldCompatible(const engine::FieldInfo& fileField, const TFieldDefinition& def,
                                bool lenient);
    // The engine's field definitions of the schema (with the housekeeping fields when on).
    std::vector<engine::FieldDef> EngineFieldDefs() const;
    // The engine's tag definitions, options adjusted for dBase.
    std::vector<engine::IndexDef> EngineIndexDefs() const;

  protected:
    void releaseAppendLock();

  private:
    std::unique_ptr<engine::Table> t_;
    std::unique_ptr<engine::Table> idReader_;  // reads the last identifier for AppendNewID
    bool appendLocked_ = false;
};

// Opens a table for the length of one call and closes it again when it had been closed.
class OpenForCall {
  public:
    explicit OpenForCall(TOT_Table& t) : t_(t), wasOpen_(t.Active()) {
        if (!wasOpen_) t_.Open();
    }
    ~OpenForCall() {
        if (!wasOpen_) t_.Close();
    }
    OpenForCall(const OpenForCall&) = delete;
    OpenForCall& operator=(const OpenForCall&) = delete;

  private:
    TOT_Table& t_;
    bool wasOpen_;
};

// Holds a table's append lock for a scope (the engine's lock is counted, so an append made
// inside takes and releases it once more without letting go).
class AppendLock {
  public:
    explicit AppendLock(engine::Table& t) : t_(t) { t_.lockAppend(); }
    ~AppendLock() { t_.unlockAppend(); }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

  private:
    engine::Table& t_;
};

}  // namespace pulpex
