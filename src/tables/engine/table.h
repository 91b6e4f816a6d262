// A dBase table opened by one cursor: the table file NAME.DBF, its memo file NAME.DBT and its
// production index NAME.MDX. Each Table object is one open of the files, with its own
// open-file-description locks, so two Table objects on the same file (in one process or in
// several) behave like two workstations.
//
// Contracts:
// - Every cursor sees rows appended or changed by other cursors: the record count is read from
//   the shared mapping of the header at each navigation step, and index cursors notice changes
//   through the index file's change counter.
// - edit() takes the record lock (non-blocking); a conflict throws EDatabaseError. post() and
//   cancel() release it. Appends (insert/append + post) are serialised under the append lock.
// - Deleted rows are never visible; pack() removes them from the file.
// - Text is converted between UTF-8 and the table's code page; a character the code page cannot
//   hold throws EDatabaseError naming the field. Strings longer than the field are cut.
// - Opening repairs a partly written last record and a lagging header record count. An index
//   file that is missing although the header says it exists, that is not ours or is damaged,
//   makes open() throw EDatabaseError (reason Damaged) unless OpenOptions::repairIndex is set, in
//   which case the tags listed in the damaged file are built again from the rows (reported
//   through indexRebuilt()); when not even the tag list can be read, open() throws.
// - fields() describes the file: time and date-time fields of new tables are string fields
//   there (C 11 and C 30), since dBase IV has no letter for them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cursor.h"
#include "value.h"

namespace pulpex::engine {

class CodePage;
class IndexFile;
struct IndexTagInfo;
class MemoFile;
class KeyBuilder;
class FilterExpr;
struct TableFiles;

class Table final : public Cursor {
  public:
    struct OpenOptions {
        bool exclusive = false;    // deny every other open while this one lasts
        bool readOnly = false;     // no writes through this cursor
        bool repairIndex = false;  // rebuild a missing or damaged production index
        // With repairIndex: when not even the tag list of the damaged index can be read, remove
        // the index instead of refusing to open (reported through indexDropped()).
        bool dropUnreadableIndex = false;
    };

    enum class State { Browse, Edit, Insert };

    ~Table() override;

    // `path` names the .DBF file; its case need not match (the file is looked up
    // case-insensitively when the exact name does not exist).
    static std::unique_ptr<Table> open(const std::string& path, OpenOptions options);
    static std::unique_ptr<Table> open(const std::string& path) { return open(path, {}); }

    // Creates NAME.DBF (dBase IV layout, in the code page of the language driver: CP1250 unless
    // told otherwise), NAME.DBT when there are memo or graphic fields, and NAME.MDX with the
    // given tags. Fails when the table file exists.
    static void create(const std::string& path, const std::vector<FieldDef>& fields,
                       const std::vector<IndexDef>& indexes = {},
                       std::uint8_t languageDriver = 0xC8);
    // Deletes the table file with its memo and index files (missing ones are ignored).
    static void remove(const std::string& path);
    // Renames the three files; `to` names the new .DBF.
    static void rename(const std::string& from, const std::string& to);
    // The existing file in `dir` whose name matches `fileName` case-insensitively, or the
    // upper-case name in `dir` when none exists.
    static std::string resolve(const std::string& dir, std::string_view fileName);
    // Companion file of a table path with another extension (".DBT", ".MDX"), found
    // case-insensitively; upper case when absent.
    static std::string companion(const std::string& tablePath, std::string_view ext);

    // --- Metadata
    const std::string& path() const;
    std::uint8_t version() const;
    std::uint8_t languageDriver() const;
    const CodePage& codePage() const;
    bool hasProductionIndex() const;  // header byte 28
    const std::vector<FieldInfo>& fields() const override;
    std::vector<TagInfo> tags() const;
    bool exclusive() const;
    bool indexRebuilt() const;
    bool indexDropped() const;

    // --- Structure (the table must be open exclusively for empty, pack, addIndex, reindex)
    void addIndex(const IndexDef& def);
    void deleteIndex(std::string_view tagName);
    void empty();    // removes every row (memo data too)
    void pack();     // removes deleted rows and rebuilds the index
    void reindex();  // rebuilds every tag from the rows (recreating the index file)

    // --- Navigation
    // Selects the current tag by name (case-insensitive); empty name = physical order.
    // Keeps the current row. Throws when there is no such tag.
    void setIndex(std::string_view tagName);
    std::string currentIndex() const;
    void first() override;
    void last() override;
    void next() override;
    void prior() override;
    bool eof() const override;
    bool bof() const override;
    std::uint64_t recordCount() override;
    // Physical record number of the current row (1-based); 0 when on no row.
    std::uint32_t recno() const;
    // Moves to the row with this physical number (deleted or out of range: throws).
    void gotoRecno(std::uint32_t recno);

    // Locate by key on the current tag. A value is given for the leading part of the key
    // (for "A;B" or "str(A)+str(B)" a value of A). Exact: true and positioned on the first
    // matching row, or false with the position unchanged. Nearest: positioned on the first row
    // whose key is >= the value (eof when none); true when a row was found.
    bool findKey(const Value& value);
    bool findNearest(const Value& value);
    // Locate without an index: the first row, in the current order, whose field equals value
    // (strings compared after trimming, optionally case-insensitively).
    bool locate(std::string_view field, const Value& value, bool caseInsensitive = false);

    // --- Filters and ranges
    // Filter expression: comparisons of a field with a literal, joined by and / or / not and
    // parentheses: "ID=5", "ZDARZ_ID=12", "NT_DAT=2024-03-05", "ALR_CDZ = 'TRUE'". Empty clears.
    // Takes effect at once (filtered() on) and moves to the first visible row.
    void setFilter(std::string_view expression);
    std::string filter() const;
    // Range on the current tag: rows whose leading key part(s) lie between low and high
    // (inclusive); a monostate bound is open. Moves to the first row of the range.
    void setRange(const std::vector<Value>& low, const std::vector<Value>& high);
    void cancelRange();
    bool hasRange() const;

    // --- Editing
    State state() const;
    void edit();          // takes the record lock; throws EDatabaseError on a conflict
    void insert();        // a new blank row, added at post
    void append();        // same as insert for dBase tables
    void post();          // writes the row and releases the lock
    void cancel();        // drops the changes and releases the lock
    void deleteRecord();  // deletes the current row (taking its lock when not editing)

    // Holds the table's append lock across several calls (reentrant, counted; post() of an
    // insert takes it as well). Whoever derives a new row's key from the rows already there
    // ("last identifier + 1") reads it and posts the row under this lock, so that two
    // workstations can never take the same key. Blocks while another cursor appends.
    void lockAppend();
    void unlockAppend();

    // Field writes: only in Edit or Insert state.
    void setNull(int field);
    void setInteger(int field, std::int64_t v);
    void setFloat(int field, double v);
    void setString(int field, std::string_view utf8);
    void setBoolean(int field, std::optional<bool> v);
    void setDate(int field, const Date& d);
    void setDateTime(int field, const DateTime& dt);
    // Parses canonical text (the form asText gives) for the field's type.
    void setText(int field, std::string_view text);
    void setValue(int field, const Value& v);
    // Replaces the whole content of a memo or graphic field (truncate, then write).
    void writeBlob(int field, std::span<const std::byte> bytes);

    void setNull(std::string_view f) { setNull(fieldNo(f)); }
    void setInteger(std::string_view f, std::int64_t v) { setInteger(fieldNo(f), v); }
    void setFloat(std::string_view f, double v) { setFloat(fieldNo(f), v); }
    void setString(std::string_view f, std::string_view v) { setString(fieldNo(f), v); }
    void setBoolean(std::string_view f, std::optional<bool> v) { setBoolean(fieldNo(f), v); }
    void setDate(std::string_view f, const Date& d) { setDate(fieldNo(f), d); }
    void setDateTime(std::string_view f, const DateTime& d) { setDateTime(fieldNo(f), d); }
    void setText(std::string_view f, std::string_view t) { setText(fieldNo(f), t); }
    void writeBlob(std::string_view f, std::span<const std::byte> b) { writeBlob(fieldNo(f), b); }

    // --- Reading (Cursor)
    using Cursor::asBoolean;
    using Cursor::asDate;
    using Cursor::asDateTime;
    using Cursor::asFloat;
    using Cursor::asInteger;
    using Cursor::asString;
    using Cursor::asText;
    using Cursor::isNull;
    using Cursor::readBlob;
    bool isNull(int field) override;
    std::int64_t asInteger(int field) override;
    double asFloat(int field) override;
    std::string asString(int field) override;
    std::optional<bool> asBoolean(int field) override;
    Date asDate(int field) override;
    DateTime asDateTime(int field) override;
    std::vector<std::byte> readBlob(int field) override;
    // The same bytes seen in place where the memo file allows it (no copy, no system call), for
    // scans over many memos; `scratch` holds them when they had to be copied. The view lasts
    // until the next call on this table.
    std::span<const std::byte> viewBlob(int field, std::vector<std::byte>& scratch);
    // The bytes of a field of the current row as stored (a memo field's block pointer), for
    // copies that must not go through text.
    std::span<const std::byte> rawField(int field);
    // Stores bytes as they are: a shorter value is padded (blanks; zero bytes in binary level 7
    // fields), a longer one is refused.
    void setRawField(int field, std::span<const std::byte> bytes);

    Bookmark bookmark() override;
    void gotoBookmark(const Bookmark& b) override;

    // --- For the SQL module: which tags can serve a constraint on a field.
    // Returns the tag number whose leading key part is `field` (raw field, or str()/dtos() of
    // it when `equalityOnly`), preferring single-part tags; -1 when none.
    int tagForField(int field, bool equalityOnly) const;
    // Selects a tag by number (-1 = physical order), cheaper than by name.
    void setIndexNo(int tag);

    // --- Checking
    struct CheckReport {
        std::vector<std::string> problems;  // Polish descriptions, empty when sound
        std::vector<std::string> repairs;   // what --repair did
    };
    // Verifies header, records, memo pointers and every tag against the rows. With repair,
    // fixes the header count and rebuilds the index (the table must be open exclusively).
    CheckReport check(bool repair);

    struct Impl;  // opaque

  private:
    Table();
    class SoleUse;
    bool visibleAt(std::uint32_t recno);
    std::uint64_t memoBlock(int field);
    bool scanPhysical(std::uint32_t from, int step);
    bool scanIndex(bool forward, std::uint32_t skip);
    void syncIndexCursor();
    void updateKeys(const std::byte* before, const std::byte* after, std::uint32_t recno);
    void rebuildIndex(const std::vector<IndexTagInfo>& tags);
    void reconcileIndex(std::uint32_t countBefore, std::uint32_t countAfter);
    // Under the append lock: cuts a partly written last record and counts (and indexes) whole
    // records that a crash left past the header's count.
    void settleTail(std::uint32_t count);
    // Adds the last rows to every tag that lacks them (what a writer dying between the row and
    // its entries leaves behind).
    void catchUpTags();
    std::unique_ptr<Impl> d;
    void filterChanged() override;
};

}  // namespace pulpex::engine
