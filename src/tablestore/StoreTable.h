// API-READY
// The table store: keyed, indexed tables kept in a ".DAT" data file and a
// ".IDX" index file inside one folder, reached through a cursor object.
//
// Contract in short (every call comes from one thread per table object):
// - A TStoreTable is created closed. Set DatabaseName/TableName (and, for
//   CreateTable, FieldDefs/IndexDefs), then Open(). Open() reads the stored
//   field and index definitions (replacing FieldDefs), binds every field
//   object registered with the table by name, activates IndexName and moves
//   to the first record.
// - Failures are exceptions. Store errors are EStoreEngineError with a numeric
//   code; the message is "Store Engine Error # <code> <text>". Cursor errors
//   are EDatabaseError with code 0; those raised on behalf of a table begin
//   with the table object's name, a colon and a blank.
// - Every operation that moves the cursor or changes the state (First, Next,
//   Prior, Append, Edit, BeginKey, SeekKey, MoveToBookmark, SetIndexName,
//   EmptyTable) first finishes a pending state: a record being edited or
//   inserted is posted when a field was written since it entered that state
//   and dropped otherwise; a search key is kept and its state left. A Post
//   that fails leaves the record in its state and writes nothing.
// - Durability: a record whose Post returned survives a crash of the
//   process. A table left inconsistent by a crash or a power cut fails its
//   next Open (error 8965 or 8961); RepairTable() then rebuilds it keeping
//   every intact record. Index damage found while the table is open (8965,
//   8962) leaves the table marked, so that its next Open fails and the
//   start-up repairs it; the error's message says so.
// - Exclusive tables are locked with an advisory lock; a second opener (in
//   this or another process) fails with error 11013.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/ArdoUtils.h"
#include "util/Exception.h"

namespace corvane {

class TStoreEnv;
class TStoreTable;

// ---------------------------------------------------------------- errors

// Any failure of the store. ErrorCode() is the store's numeric code, or 0 for
// a cursor error (wrong state, closed table, missing field...).
class EDatabaseError : public Exception {
  public:
    explicit EDatabaseError(const std::string& message, int code = 0)
        : Exception(message), code_(code) {}
    int ErrorCode() const { return code_; }

  private:
    int code_;
};

// A store error: message "Store Engine Error # <code> <text>".
class EStoreEngineError : public EDatabaseError {
  public:
    using EDatabaseError::EDatabaseError;
};

// The store error codes the program can meet.
enum TStoreErrorCode : int {
    seHeaderCorrupt = 8961,
    seRecordCorrupt = 8962,
    seIndexCorrupt = 8965,
    seTableFull = 9479,
    seRecordTooBig = 9477,
    seReadError = 9217,
    seWriteError = 9218,
    seIndexLimit = 9487,
    seFieldLimit = 9492,
    seDuplicateKey = 9729,
    seInvalidFieldDef = 10000,
    seInvalidIndexName = 10022,
    seInvalidIndexField = 10023,
    seInvalidKeySize = 10026,
    seIndexExists = 10027,
    seInvalidFieldName = 10038,
    seNeedExclusive = 10253,
    seInvalidPath = 11010,
    seTooManyFiles = 11012,
    seAccessDenied = 11013,
    seUnknownOsError = 11047,
    seWrongVersion = 12035,
    seTableExists = 13060,
};

// ------------------------------------------------------------ definitions

enum TFieldType { ftUnknown, ftString, ftInteger, ftDateTime };

// "String", "Integer", "DateTime" (used in the type-mismatch message).
const char* FieldTypeName(TFieldType type);

struct TFieldDef {
    std::string Name;  // 1..30 characters, unique ignoring case
    TFieldType DataType = ftUnknown;
    int Size = 0;  // strings: largest number of characters (1..250); else 0
    bool Required = false;
};

class TFieldDefs : public std::vector<TFieldDef> {
  public:
    void Add(const std::string& name, TFieldType type, int size = 0, bool required = false) {
        push_back(TFieldDef{name, type, size, required});
    }
    void Clear() { clear(); }
    int Count() const { return static_cast<int>(size()); }
};

enum TIndexOption : unsigned {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,  // not offered: CreateTable ignores it
    ixCaseInsensitive = 8,
};
using TIndexOptions = unsigned;  // a set of TIndexOption bits

struct TIndexDef {
    std::string Name;    // dropped for the primary index
    std::string Fields;  // field names separated by ";" in key order (first 16 used)
    TIndexOptions Options = 0;
};

class TIndexDefs : public std::vector<TIndexDef> {
  public:
    void Add(const std::string& name, const std::string& fields, TIndexOptions options) {
        push_back(TIndexDef{name, fields, options});
    }
    void Clear() { clear(); }
    int Count() const { return static_cast<int>(size()); }
};

// ----------------------------------------------------------------- fields

// A field object: reads and writes one stored field of its table's current
// record (or of the record being edited/inserted, or of the search key).
// It registers itself with the table on construction and is bound to the
// stored field of the same name (ignoring case) at every Open. The table must
// outlive its field objects or the field objects must be destroyed first.
//
// Reads on a closed table, an empty table or a null value give the null
// reading ("" / 0). Writes need the editing, inserting or search-key state;
// otherwise EDatabaseError "Dataset not in edit or insert mode". In the
// search-key state a field outside the active index raises
// "Field '<name>' is not indexed and cannot be modified".
class TField {
  public:
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;
    virtual ~TField();

    const std::string& FieldName() const { return name_; }
    TFieldType DataType() const { return type_; }
    // The largest number of characters of a string field: the open table's
    // stored size while the field is bound (tables of different ages differ),
    // else the size the field object was declared with.
    int Size() const;
    TStoreTable& DataSet() const { return *table_; }

    bool IsNull() const;
    void Clear();  // writes null

    // Text form: strings as stored, integers in decimal, date-times as
    // "YYYY-MM-DD hh:mm:ss" ("YYYY-MM-DD" at midnight); null gives "".
    virtual std::string AsString() const = 0;
    // Strings store the text; integers convert with StrToInt (EConvertError);
    // an empty text writes null.
    virtual void SetAsString(std::string_view text) = 0;

  protected:
    TField(TStoreTable& table, std::string name, TFieldType type, int size);
    // Raw access for the subclasses; the table validates the state.
    bool ReadRaw(std::string& text, int32_t& integer, double& dateTime) const;
    void WriteString(std::string_view text);
    void WriteInteger(int32_t value);
    void WriteDateTime(TDateTime value);

  private:
    friend class TStoreTable;
    TStoreTable* table_;
    std::string name_;
    TFieldType type_;
    int size_;
    int bound_ = -1;  // stored field number (0-based) while the table is open
};

// Text of single-byte characters. Writing removes trailing spaces (code 32
// only) and stores an empty result as null. Text longer than the stored size
// is never cut: a record write raises EDatabaseError "Value of field '<name>'
// is too long: <n> characters, at most <size>" and changes nothing; in the
// search-key state such a text matches no record, so SeekKey answers False.
class TStringField : public TField {
  public:
    TStringField(TStoreTable& table, std::string name, int size);
    std::string Value() const { return AsString(); }
    void SetValue(std::string_view text) { SetAsString(text); }
    std::string AsString() const override;
    void SetAsString(std::string_view text) override;
};

// A date-time kept to the millisecond; a null reads as 0.
class TDateTimeField : public TField {
  public:
    TDateTimeField(TStoreTable& table, std::string name);
    TDateTime Value() const { return AsDateTime(); }
    void SetValue(TDateTime value) { SetAsDateTime(value); }
    TDateTime AsDateTime() const;
    void SetAsDateTime(TDateTime value);
    std::string AsString() const override;
    void SetAsString(std::string_view text) override;  // "" -> null; else "YYYY-MM-DD[ hh:mm:ss]"
};

// A signed 32-bit integer; a null reads as 0.
class TIntegerField : public TField {
  public:
    TIntegerField(TStoreTable& table, std::string name);
    int32_t Value() const { return AsInteger(); }
    void SetValue(int32_t value) { SetAsInteger(value); }
    int32_t AsInteger() const;
    void SetAsInteger(int32_t value);
    std::string AsString() const override;
    void SetAsString(std::string_view text) override;
};

// ------------------------------------------------------------------ views

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey };

// An observer attached to a table (the grids' data sources). While the
// table's suspension counter is 0 every change of the current record, of its
// values, of the order or contents is reported by DataChanged, every change
// of state (including Open and Close) by StateChanged. A view must be
// detached (or the table destroyed) before the view is destroyed.
class TStoreView {
  public:
    virtual ~TStoreView() = default;
    virtual void DataChanged() = 0;
    virtual void StateChanged() = 0;
};

// A data source: a view that forwards its notices to handlers and detaches
// itself when destroyed.
class TDataSource : public TStoreView {
  public:
    TDataSource() = default;
    explicit TDataSource(TStoreTable* dataSet) { SetDataSet(dataSet); }
    ~TDataSource() override;
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TStoreTable* DataSet() const { return dataSet_; }
    void SetDataSet(TStoreTable* dataSet);

    std::function<void()> OnDataChange;
    std::function<void()> OnStateChange;

    void DataChanged() override {
        if (OnDataChange) OnDataChange();
    }
    void StateChanged() override {
        if (OnStateChange) OnStateChange();
    }

  private:
    friend class TStoreTable;  // clears dataSet_ when the table goes first
    TStoreTable* dataSet_ = nullptr;
};

// -------------------------------------------------------------- bookmarks

// Identifies a record (by its physical number and identity, plus its key in
// the index active when taken). A default-constructed bookmark is the null
// handle. Bookmarks are plain values; DropBookmark only clears one.
class TBookmark {
  public:
    bool IsNull() const { return recNo_ == 0; }
    explicit operator bool() const { return !IsNull(); }

  private:
    friend class TStoreTable;
    uint32_t recNo_ = 0;
    int32_t identity_ = 0;
    std::string key_;
};

// ------------------------------------------------------------------ table

class TTableEngine;  // the open files and cursor; private to the store

class TStoreTable {
  public:
    // `name` is the table object's name, used as the prefix of cursor errors
    // ("SignaturesTable: ..."). `env` (not owned, may be null for the real
    // file system) lets tests inject failures.
    explicit TStoreTable(std::string name = "", TStoreEnv* env = nullptr);
    ~TStoreTable();  // closes the table, ignoring errors
    TStoreTable(const TStoreTable&) = delete;
    TStoreTable& operator=(const TStoreTable&) = delete;

    const std::string& Name() const { return name_; }

    // ---- properties
    // The folder of the table's files. A "/" is put between it and the table
    // name when it does not end in one. Closed table only.
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& folder);
    // The data file's name; another extension is replaced by ".DAT". A name
    // with a "/" is split: its folder part becomes DatabaseName. Closed only.
    const std::string& TableName() const { return tableName_; }
    void SetTableName(const std::string& name);
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool StoreDefs = false;  // kept for the window's layout; no effect here

    TFieldDefs FieldDefs;  // what CreateTable creates; Open replaces it
    TIndexDefs IndexDefs;  // what CreateTable creates (and repair falls back on)

    // Active index: "" the primary, else a secondary's name (ignoring case).
    // Open: finishes a pending state, keeps the current record current in the
    // new order, tells the views. Unknown name: error 10022, nothing changes.
    std::string IndexName() const;
    void SetIndexName(const std::string& name);

    bool Active() const;
    TDataSetState State() const;

    // The field written last (see TTableFiles): a record's value in it reaches
    // the disk only after the rest of the record, so after a power cut a
    // record that shows a value there is whole, one that shows null may be
    // unfinished. Writes are grouped: one sync serves many records. A record
    // whose Post returned survives a crash of the process, but its value in
    // this field may read null afterwards. Empty (the default): no such field.
    void SetVouchingField(const std::string& name) { vouchingField_ = name; }

    // Optional repair handlers (one line per finding; progress 0..100).
    std::function<void(const std::string&)> OnRepairLog;
    std::function<void(int)> OnRepairProgress;

    // ---- table operations
    // True when open, when open elsewhere in this program, or when the data
    // file exists; False when TableName is empty.
    bool TableExists() const;
    // Creates the files from FieldDefs (taken from the field objects when
    // empty) and IndexDefs; leaves the table closed. Errors 13060, 10000,
    // 10038, 10023, 10026, 10027, 9487, 9492, 9477 and the opening errors.
    void CreateTable();
    void Open();   // does nothing when open
    void Close();  // does nothing when closed; drops a pending edit/insert
    // Removes every record (table open or closed; needs Exclusive: 10253).
    void EmptyTable();
    // Closed table only: checks the files and rebuilds every index from the
    // records (the index definitions from the index file, or from IndexDefs
    // when that file is missing or damaged). Keeps every intact record except
    // those whose unique key repeats an earlier record's. The data file as
    // found is kept as "<TableName>.bak" first. A table that FormatProblem
    // finds fault with is not touched: EStoreEngineError (12035 or 8961)
    // whose message names the file and says it was left unchanged.
    void RepairTable();
    // Closed table: why the data file is not one this program may repair, or
    // "" when its format version and field descriptions are this store's and
    // every field object finds its stored field of the same type. A file that
    // cannot be opened gives "" (the open reports that).
    std::string FormatProblem() const;
    // Open table: whether it has the index (a secondary's name ignoring case;
    // "" for the primary).
    bool HasIndex(const std::string& name) const;
    int RecordCount() const;  // open table; answered without visiting records
    // Counts the changes made through this object: posts, deletions, emptying,
    // repair, opening and closing. A reader that keeps records in memory
    // compares it to know whether the table changed behind its back.
    uint64_t ChangeCount() const { return changeCount_; }

    // ---- cursor
    void First();
    void Next();
    void Prior();
    bool AtEnd() const;
    bool AtStart() const;
    TBookmark TakeBookmark() const;  // null handle on an empty table
    void MoveToBookmark(const TBookmark& bookmark);
    void DropBookmark(TBookmark& bookmark) { bookmark = TBookmark(); }

    // ---- records
    void Append();
    void Edit();
    void Post();
    void Cancel();  // drops a pending edit/insert, leaves a search key state
    void Delete();
    // The current record's identity (the order of records of equal value in
    // a non-unique index); 0 when there is no current record.
    int32_t RecordIdentity() const;

    // ---- search by key
    void BeginKey();
    bool SeekKey();

    // ---- views
    void SuspendViews();
    void ResumeViews();
    void AttachView(TStoreView* view);
    void DetachView(TStoreView* view);

    // ---- field objects
    const std::vector<TField*>& Fields() const { return fields_; }
    TField* FindField(const std::string& name) const;    // nullptr when absent
    TField& FieldByName(const std::string& name) const;  // else "Field '%s' not found"

    // Bound on the memory of this table's page cache (default 60 MiB; all
    // tables of the process together stay within 60 MiB as well).
    void SetCacheLimit(size_t bytes);

    // Full paths of the files (for tests and tools).
    std::string DataFilePath() const;
    std::string IndexFilePath() const;

  private:
    friend class TField;
    friend class TTableEngine;
    void RegisterField(TField* field);
    void UnregisterField(TField* field);
    [[noreturn]] void CursorError(const std::string& text) const;
    void CheckClosed() const;
    void CheckOpen() const;
    void FinishPending();
    void NotifyData();
    void NotifyState();
    void BindFields();
    std::string FormatProblem(int* code) const;
    // The field definitions a table is created from (FieldDefs, else the
    // field objects').
    TFieldDefs CreationDefs() const;

    std::string name_;
    TStoreEnv* env_;
    std::string databaseName_;
    std::string tableName_;
    std::string indexName_;
    std::string vouchingField_;
    bool exclusive_ = false;
    bool readOnly_ = false;
    size_t cacheLimit_ = 60u << 20;
    uint64_t changeCount_ = 0;
    std::vector<TField*> fields_;
    std::vector<TStoreView*> views_;
    int suspendCount_ = 0;
    TDataSetState suspendedState_ = dsInactive;
    std::unique_ptr<TTableEngine> engine_;
};

}  // namespace corvane
