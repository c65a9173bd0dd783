#include "tablestore/StoreTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "tablestore/StoreEnv.h"
#include "tablestore/TableFiles.h"
#include "util/StrToInt.h"

namespace corvane {

using store::Fail;
using store::TStoreFault;

namespace {

// Data files open in this process (TableExists answers True for them).
std::multiset<std::string>& OpenTables() {
    static std::multiset<std::string> tables;
    return tables;
}

std::string FormatStoreError(const TStoreFault& fault, const std::string& table) {
    std::string text = store::StoreErrorText(fault.code);
    std::vector<std::string> args = fault.args;
    args.push_back(table);
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += next < args.size() ? args[next] : std::string();
            ++next;
            ++i;
        } else {
            out += text[i];
        }
    }
    return "Store Engine Error # " + std::to_string(fault.code) + " " + out;
}

bool EndsWithDat(const std::string& name) {
    return name.size() >= 4 && store::SameTextIgnoringCase(name.substr(name.size() - 4), ".DAT");
}

std::string BaseName(const std::string& tableName) {
    const size_t dot = tableName.rfind('.');
    return dot == std::string::npos ? tableName : tableName.substr(0, dot);
}

}  // namespace

const char* FieldTypeName(TFieldType type) {
    switch (type) {
        case ftString:
            return "String";
        case ftInteger:
            return "Integer";
        case ftDateTime:
            return "DateTime";
        default:
            return "Unknown";
    }
}

// The open table: its files and the cursor over them.
class TTableEngine {
  public:
    std::unique_ptr<store::TTableFiles> files;
    std::string dataPath;
    int active = 0;
    TDataSetState state = dsBrowse;
    bool hasCurrent = false;
    bool bof = true;
    bool eof = true;
    uint32_t curRecNo = 0;
    std::string curKey;  // the current record's key in the active index
    std::vector<uint8_t> curRecord;
    store::TTreePos pos;  // valid while posVersion equals the tree version
    uint64_t posVersion = ~0ull;
    std::vector<uint8_t> editBuffer;
    std::vector<uint8_t> editOriginal;
    uint32_t editRecNo = 0;
    bool modified = false;
    std::vector<uint8_t> keyBuffer;
    bool keyTooLong = false;  // a search-key text longer than its field: no match

    store::TIndexTree Tree() { return files->Tree(active); }

    // Damage met while `table` is open: marks it so that its next open fails
    // and the start-up repairs it. False when the table is not open.
    static bool MarkDamaged(const TStoreTable& table) {
        if (!table.engine_ || !table.engine_->files) return false;
        table.engine_->files->MarkForRepair();
        return true;
    }

    void ClearCurrent() {
        hasCurrent = false;
        curRecNo = 0;
        curKey.clear();
        curRecord.clear();
        bof = eof = true;
        posVersion = ~0ull;
    }

    // Makes the entry at `at` current.
    void GoTo(const store::TTreePos& at) {
        uint32_t recNo = 0;
        Tree().EntryAt(at, curKey, recNo);
        Show(at, recNo);
    }

    // Makes record `recNo`, whose entry at `at` curKey holds, current.
    void Show(const store::TTreePos& at, uint32_t recNo) {
        files->ReadRecord(recNo, curRecord);
        // A record whose key differs from its index entry means a stale index.
        if (files->KeyOf(active, curRecord.data()) != curKey) Fail(8965);
        curRecNo = recNo;
        hasCurrent = true;
        pos = at;
        posVersion = files->TreeVersion();
    }

    // The tree position of the current record, found again after changes.
    store::TTreePos CurrentPos() {
        if (posVersion == files->TreeVersion()) return pos;
        store::TIndexTree tree = Tree();
        const store::TTreePos at = tree.LowerBound(curKey);
        if (!at.Valid() || tree.KeyAt(at) != curKey) Fail(8965);
        pos = at;
        posVersion = files->TreeVersion();
        return pos;
    }

    // Places the cursor on the first entry >= key, else on the last entry.
    void PlaceAtOrAfter(const std::string& key) {
        store::TIndexTree tree = Tree();
        store::TTreePos at = key.size() == static_cast<size_t>(files->Index(active).keyLength)
                                 ? tree.LowerBound(key)
                                 : store::TTreePos{};
        if (!at.Valid()) at = tree.Last();
        if (!at.Valid()) {
            ClearCurrent();
            return;
        }
        GoTo(at);
        bof = eof = false;
    }

    uint8_t* ActiveBuffer() {
        switch (state) {
            case dsEdit:
            case dsInsert:
                return editBuffer.data();
            case dsSetKey:
                return keyBuffer.data();
            case dsBrowse:
                return hasCurrent ? curRecord.data() : nullptr;
            default:
                return nullptr;
        }
    }
};

// ------------------------------------------------------------ construction

TStoreTable::TStoreTable(std::string name, TStoreEnv* env)
    : name_(std::move(name)), env_(env ? env : TStoreEnv::Default()) {}

TStoreTable::~TStoreTable() {
    try {
        Close();
    } catch (...) {
        // The files are released either way; a crash-safe table repairs later.
    }
    for (TStoreView* view : views_)
        if (auto* source = dynamic_cast<TDataSource*>(view)) source->dataSet_ = nullptr;
    for (TField* field : fields_) field->table_ = nullptr;
}

void TStoreTable::CursorError(const std::string& text) const {
    throw EDatabaseError(name_.empty() ? text : name_ + ": " + text);
}

void TStoreTable::CheckClosed() const {
    if (engine_) CursorError("Cannot perform this operation on an open dataset");
}

void TStoreTable::CheckOpen() const {
    if (!engine_) CursorError("Cannot perform this operation on a closed dataset");
}

namespace {

// Runs `body`, turning faults of the files into store errors for `table`.
template <class F>
auto Guard(const TStoreTable& table, F body) -> decltype(body()) {
    try {
        return body();
    } catch (const TStoreFault& fault) {
        std::string name = table.TableName();
        if (!name.empty() && !EndsWithDat(name)) name = BaseName(name) + ".DAT";
        // A failed read or write names the table's file in full, and says
        // so when the disk is full.
        if (fault.code == seReadError || fault.code == seWriteError) name = table.DataFilePath();
        std::string message = FormatStoreError(fault, name) + WriteFailureDetail(fault.osError);
        if ((fault.code == 8965 || fault.code == 8962) && TTableEngine::MarkDamaged(table))
            message += ". The table will be repaired at the next start";
        throw EStoreEngineError(message, fault.code);
    }
}

}  // namespace

// -------------------------------------------------------------- properties

void TStoreTable::SetDatabaseName(const std::string& folder) {
    CheckClosed();
    databaseName_ = folder;
}

void TStoreTable::SetTableName(const std::string& name) {
    CheckClosed();
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) {
        tableName_ = name;
        return;
    }
    databaseName_ = name.substr(0, slash + 1);
    tableName_ = name.substr(slash + 1);
}

void TStoreTable::SetExclusive(bool value) {
    CheckClosed();
    exclusive_ = value;
}

void TStoreTable::SetReadOnly(bool value) {
    CheckClosed();
    readOnly_ = value;
}

std::string TStoreTable::DataFilePath() const {
    std::string folder = databaseName_;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + (EndsWithDat(tableName_) ? tableName_ : BaseName(tableName_) + ".DAT");
}

std::string TStoreTable::IndexFilePath() const {
    std::string folder = databaseName_;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + BaseName(tableName_) + ".IDX";
}

bool TStoreTable::Active() const {
    return engine_ != nullptr;
}

TDataSetState TStoreTable::State() const {
    return engine_ ? engine_->state : dsInactive;
}

std::string TStoreTable::IndexName() const {
    if (!engine_) return indexName_;
    return engine_->files->Index(engine_->active).name;
}

void TStoreTable::SetCacheLimit(size_t bytes) {
    cacheLimit_ = bytes;
    if (engine_) engine_->files->SetCacheLimit(bytes);
}

// ---------------------------------------------------------------- fields

void TStoreTable::RegisterField(TField* field) {
    fields_.push_back(field);
}

void TStoreTable::UnregisterField(TField* field) {
    fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
}

TField* TStoreTable::FindField(const std::string& name) const {
    for (TField* field : fields_)
        if (store::SameTextIgnoringCase(field->FieldName(), name)) return field;
    return nullptr;
}

TField& TStoreTable::FieldByName(const std::string& name) const {
    TField* field = FindField(name);
    if (!field) CursorError("Field '" + name + "' not found");
    return *field;
}

void TStoreTable::BindFields() {
    const auto& stored = engine_->files->Fields();
    for (TField* field : fields_) {
        field->bound_ = -1;
        for (size_t i = 0; i < stored.size(); ++i)
            if (store::SameTextIgnoringCase(stored[i].name, field->FieldName()))
                field->bound_ = static_cast<int>(i);
        if (field->bound_ < 0) CursorError("Field '" + field->FieldName() + "' not found");
        const TFieldType actual = stored[static_cast<size_t>(field->bound_)].type;
        if (actual != field->DataType())
            CursorError("Type mismatch for field '" + field->FieldName() + "', expecting: " +
                        FieldTypeName(field->DataType()) + " actual: " + FieldTypeName(actual));
    }
}

// ----------------------------------------------------------------- views

void TStoreTable::AttachView(TStoreView* view) {
    if (view && std::find(views_.begin(), views_.end(), view) == views_.end())
        views_.push_back(view);
}

void TStoreTable::DetachView(TStoreView* view) {
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void TStoreTable::NotifyData() {
    if (suspendCount_ > 0) return;
    const auto views = views_;
    for (TStoreView* view : views) view->DataChanged();
}

void TStoreTable::NotifyState() {
    if (suspendCount_ > 0) return;
    const auto views = views_;
    for (TStoreView* view : views) view->StateChanged();
}

void TStoreTable::SuspendViews() {
    if (suspendCount_ == 0) suspendedState_ = State();
    ++suspendCount_;
}

void TStoreTable::ResumeViews() {
    if (suspendCount_ == 0) return;
    if (--suspendCount_ > 0) return;
    NotifyData();
    if (State() != suspendedState_) NotifyState();
}

TDataSource::~TDataSource() {
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TStoreTable* dataSet) {
    if (dataSet_) dataSet_->DetachView(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->AttachView(this);
}

// ------------------------------------------------------ table operations

bool TStoreTable::TableExists() const {
    if (engine_) return true;
    if (tableName_.empty()) return false;
    const std::string path = DataFilePath();
    return OpenTables().count(path) > 0 || env_->Exists(path);
}

namespace {

TFieldDefs DefsFromFieldObjects(const std::vector<TField*>& fields) {
    TFieldDefs defs;
    for (const TField* field : fields)
        defs.Add(field->FieldName(), field->DataType(),
                 field->DataType() == ftString ? field->Size() : 0);
    return defs;
}

}  // namespace

void TStoreTable::CreateTable() {
    CheckClosed();
    Guard(*this, [&] {
        if (FieldDefs.empty()) FieldDefs = DefsFromFieldObjects(fields_);
        const auto stored = store::StoredFieldsOf(FieldDefs);
        bool noPrimary = false;
        const auto indexes = store::IndexDescsOf(stored, IndexDefs, noPrimary);
        store::TTablePaths paths{DataFilePath(), IndexFilePath(), tableName_};
        store::TTableFiles::Create(*env_, paths, stored, indexes, noPrimary);
    });
}

void TStoreTable::Open() {
    if (engine_) return;
    ++changeCount_;
    if (tableName_.empty()) throw EDatabaseError("Missing table name.");
    auto engine = std::make_unique<TTableEngine>();
    Guard(*this, [&] {
        store::TTablePaths paths{DataFilePath(), IndexFilePath(), tableName_};
        engine->files = store::TTableFiles::Open(*env_, paths, exclusive_, readOnly_, cacheLimit_);
        engine->dataPath = paths.data;
        const store::TTableFiles& files = *engine->files;
        int active = -1;
        for (int i = 0; i < files.IndexCount(); ++i)
            if (store::SameTextIgnoringCase(files.Index(i).name, indexName_)) active = i;
        if (active < 0) Fail(10022, {indexName_});
        engine->active = active;
        const auto& stored = files.Fields();
        for (size_t i = 0; i < stored.size(); ++i)
            if (!vouchingField_.empty() &&
                store::SameTextIgnoringCase(stored[i].name, vouchingField_))
                engine->files->SetVouchingField(static_cast<int>(i));
    });
    FieldDefs.clear();
    for (const auto& field : engine->files->Fields())
        FieldDefs.Add(field.name, field.type, field.size);
    engine->keyBuffer.assign(static_cast<size_t>(engine->files->RecordLength()), 0);
    engine_ = std::move(engine);
    try {
        BindFields();
        Guard(*this, [&] {
            const store::TTreePos first = engine_->Tree().First();
            if (first.Valid()) {
                engine_->GoTo(first);
                engine_->bof = true;
                engine_->eof = false;
            }
        });
    } catch (...) {
        engine_.reset();  // a failed open leaves the table closed
        for (TField* field : fields_) field->bound_ = -1;
        throw;
    }
    OpenTables().insert(engine_->dataPath);
    NotifyState();
    NotifyData();
}

void TStoreTable::Close() {
    if (!engine_) return;
    ++changeCount_;
    std::unique_ptr<TTableEngine> engine = std::move(engine_);
    OpenTables().erase(OpenTables().find(engine->dataPath));
    for (TField* field : fields_) field->bound_ = -1;
    NotifyState();
    Guard(*this, [&] { engine->files->Close(); });
}

void TStoreTable::EmptyTable() {
    ++changeCount_;
    if (engine_) {
        Guard(*this, [&] {
            if (!engine_->files->Exclusive()) Fail(10253);
        });
        if (readOnly_) CursorError("Cannot modify a read-only dataset");
        Cancel();  // nothing of a pending record survives the emptying
        Guard(*this, [&] { engine_->files->Empty(); });
        engine_->ClearCurrent();
        NotifyData();
        return;
    }
    if (tableName_.empty()) throw EDatabaseError("Missing table name.");
    Guard(*this, [&] {
        store::TTablePaths paths{DataFilePath(), IndexFilePath(), tableName_};
        auto files = store::TTableFiles::Open(*env_, paths, true, false, cacheLimit_);
        files->Empty();
        files->Close();
    });
}

void TStoreTable::RepairTable() {
    CheckClosed();
    ++changeCount_;
    if (tableName_.empty()) throw EDatabaseError("Missing table name.");
    int code = 0;
    const std::string problem = FormatProblem(&code);
    if (!problem.empty())
        throw EStoreEngineError("Table file " + DataFilePath() + " " + problem +
                                    "; it was not repaired and is left unchanged.",
                                code);
    Guard(*this, [&] {
        store::TTablePaths paths{DataFilePath(), IndexFilePath(), tableName_};
        store::RepairTableFiles(*env_, paths, CreationDefs(), IndexDefs, OnRepairLog,
                                OnRepairProgress);
    });
}

std::string TStoreTable::FormatProblem() const {
    return FormatProblem(nullptr);
}

std::string TStoreTable::FormatProblem(int* code) const {
    CheckClosed();
    std::unique_ptr<TStoreFile> data;
    if (tableName_.empty() ||
        env_->Open(DataFilePath(), TOpenMode::Existing, TLockMode::None, true, data) != 0)
        return "";
    uint64_t size = 0;
    if (data->Size(size) != 0 || size < store::CreatedSize(CreationDefs())) return "";
    std::vector<store::TStoredField> stored;
    try {
        store::TDataHeader header;
        stored = store::ReadStoredFields(*data, header);
    } catch (const TStoreFault& fault) {
        if (code) *code = fault.code;
        if (fault.code == 12035) return "was written by another version of the table format";
        if (fault.code == 8961) return "has field descriptions that cannot be read";
        return "";
    }
    for (const TField* field : fields_) {
        const auto match = std::find_if(stored.begin(), stored.end(), [&](const auto& s) {
            return store::SameTextIgnoringCase(s.name, field->FieldName());
        });
        if (code) *code = 8961;
        if (match == stored.end()) return "has no field '" + field->FieldName() + "'";
        if (match->type != field->DataType())
            return "has field '" + field->FieldName() + "' of type " + FieldTypeName(match->type) +
                   ", not " + FieldTypeName(field->DataType());
    }
    if (code) *code = 0;
    return "";
}

TFieldDefs TStoreTable::CreationDefs() const {
    return FieldDefs.empty() ? DefsFromFieldObjects(fields_) : FieldDefs;
}

bool TStoreTable::HasIndex(const std::string& name) const {
    CheckOpen();
    const store::TTableFiles& files = *engine_->files;
    for (int i = 0; i < files.IndexCount(); ++i)
        if (store::SameTextIgnoringCase(files.Index(i).name, name)) return true;
    return false;
}

int TStoreTable::RecordCount() const {
    CheckOpen();
    return static_cast<int>(engine_->files->LiveRecords());
}

void TStoreTable::SetIndexName(const std::string& name) {
    if (!engine_) {
        indexName_ = name;
        return;
    }
    if (store::SameTextIgnoringCase(name, IndexName())) return;
    const store::TTableFiles& files = *engine_->files;
    int found = -1;
    for (int i = 0; i < files.IndexCount(); ++i)
        if (store::SameTextIgnoringCase(files.Index(i).name, name)) found = i;
    Guard(*this, [&] {
        if (found < 0) Fail(10022, {name});
    });
    FinishPending();
    Guard(*this, [&] {
        engine_->active = found;
        indexName_ = files.Index(found).name;
        if (engine_->hasCurrent) {
            engine_->curKey = engine_->files->KeyOf(found, engine_->curRecord.data());
            engine_->posVersion = ~0ull;
        }
    });
    NotifyData();
}

// ------------------------------------------------------------------ cursor

void TStoreTable::FinishPending() {
    TTableEngine& e = *engine_;
    if (e.state == dsSetKey) {
        e.state = dsBrowse;
        NotifyState();
    } else if (e.state == dsEdit || e.state == dsInsert) {
        if (e.modified) {
            Post();
        } else {
            e.state = dsBrowse;
            NotifyState();
            NotifyData();
        }
    }
}

void TStoreTable::First() {
    CheckOpen();
    FinishPending();
    Guard(*this, [&] {
        const store::TTreePos first = engine_->Tree().First();
        if (!first.Valid()) {
            engine_->ClearCurrent();
            return;
        }
        engine_->GoTo(first);
        engine_->bof = true;
        engine_->eof = false;
    });
    NotifyData();
}

void TStoreTable::Next() {
    CheckOpen();
    FinishPending();
    TTableEngine& e = *engine_;
    if (e.eof) return;
    e.bof = false;
    Guard(*this, [&] {
        if (!e.hasCurrent) {
            e.eof = true;
            return;
        }
        store::TTreePos at = e.CurrentPos();
        if (e.Tree().Next(at))
            e.GoTo(at);
        else
            e.eof = true;
    });
    NotifyData();
}

void TStoreTable::Prior() {
    CheckOpen();
    FinishPending();
    TTableEngine& e = *engine_;
    if (e.bof) return;
    e.eof = false;
    Guard(*this, [&] {
        if (!e.hasCurrent) {
            e.bof = true;
            return;
        }
        store::TTreePos at = e.CurrentPos();
        if (e.Tree().Prev(at))
            e.GoTo(at);
        else
            e.bof = true;
    });
    NotifyData();
}

bool TStoreTable::AtEnd() const {
    CheckOpen();
    return engine_->eof;
}

bool TStoreTable::AtStart() const {
    CheckOpen();
    return engine_->bof;
}

TBookmark TStoreTable::TakeBookmark() const {
    CheckOpen();
    TBookmark bookmark;
    if (!engine_->hasCurrent) return bookmark;
    bookmark.recNo_ = engine_->curRecNo;
    bookmark.identity_ = store::RecordIdentity(engine_->curRecord.data());
    bookmark.key_ = engine_->curKey;
    return bookmark;
}

void TStoreTable::MoveToBookmark(const TBookmark& bookmark) {
    CheckOpen();
    if (bookmark.IsNull()) return;
    FinishPending();
    TTableEngine& e = *engine_;
    Guard(*this, [&] {
        std::vector<uint8_t> record;
        const bool live = e.files->TryReadRecord(bookmark.recNo_, record) &&
                          store::RecordIdentity(record.data()) == bookmark.identity_;
        // A record deleted since leaves the cursor where it would have been.
        e.PlaceAtOrAfter(live ? e.files->KeyOf(e.active, record.data()) : bookmark.key_);
    });
    NotifyData();
}

// ----------------------------------------------------------------- records

void TStoreTable::Append() {
    CheckOpen();
    if (readOnly_) CursorError("Cannot modify a read-only dataset");
    FinishPending();
    TTableEngine& e = *engine_;
    e.editBuffer.assign(static_cast<size_t>(e.files->RecordLength()), 0);
    e.editRecNo = 0;
    e.modified = false;
    e.state = dsInsert;
    NotifyState();
    NotifyData();
}

void TStoreTable::Edit() {
    CheckOpen();
    TTableEngine& e = *engine_;
    if (e.state == dsEdit || e.state == dsInsert) return;
    if (readOnly_) CursorError("Cannot modify a read-only dataset");
    FinishPending();
    if (!e.hasCurrent) {
        Append();
        return;
    }
    Guard(*this, [&] { e.files->ReadRecord(e.curRecNo, e.editOriginal); });
    e.editBuffer = e.editOriginal;
    e.editRecNo = e.curRecNo;
    e.modified = false;
    e.state = dsEdit;
    NotifyState();
}

void TStoreTable::Post() {
    CheckOpen();
    TTableEngine& e = *engine_;
    if (e.state != dsEdit && e.state != dsInsert) return;
    ++changeCount_;
    Guard(*this, [&] {
        const uint32_t ignore = e.state == dsEdit ? e.editRecNo : 0;
        if (e.files->FindDuplicate(e.editBuffer.data(), ignore) >= 0)
            Fail(9729, {e.files->Index(e.active).name});
        uint32_t recNo = e.editRecNo;
        if (e.state == dsInsert)
            recNo = e.files->Insert(e.editBuffer);
        else
            e.files->Update(recNo, e.editOriginal, e.editBuffer);
        e.curRecord = e.editBuffer;
        e.curRecNo = recNo;
        e.curKey = e.files->KeyOf(e.active, e.curRecord.data());
        e.hasCurrent = true;
        e.posVersion = ~0ull;
        e.bof = e.eof = false;
    });
    e.state = dsBrowse;
    e.modified = false;
    NotifyState();
    NotifyData();
}

void TStoreTable::Cancel() {
    CheckOpen();
    TTableEngine& e = *engine_;
    if (e.state == dsBrowse) return;
    const bool record = e.state != dsSetKey;
    e.state = dsBrowse;
    e.modified = false;
    NotifyState();
    if (record) NotifyData();
}

void TStoreTable::Delete() {
    CheckOpen();
    TTableEngine& e = *engine_;
    if (e.state == dsInsert || e.state == dsSetKey) {
        Cancel();
        return;
    }
    if (e.state == dsEdit) Cancel();
    if (!e.hasCurrent) CursorError("Cannot perform this operation on an empty dataset");
    if (readOnly_) CursorError("Cannot modify a read-only dataset");
    ++changeCount_;
    Guard(*this, [&] {
        std::vector<uint8_t> record;
        e.files->ReadRecord(e.curRecNo, record);
        const std::string key = e.curKey;
        e.files->Remove(e.curRecNo, record);
        e.PlaceAtOrAfter(key);
    });
    NotifyData();
}

int32_t TStoreTable::RecordIdentity() const {
    CheckOpen();
    return engine_->hasCurrent ? store::RecordIdentity(engine_->curRecord.data()) : 0;
}

// ------------------------------------------------------------ key search

void TStoreTable::BeginKey() {
    CheckOpen();
    FinishPending();
    TTableEngine& e = *engine_;
    e.keyBuffer.assign(static_cast<size_t>(e.files->RecordLength()), 0);
    e.keyTooLong = false;
    e.state = dsSetKey;
    NotifyState();
}

bool TStoreTable::SeekKey() {
    CheckOpen();
    TTableEngine& e = *engine_;
    if (e.state == dsSetKey) {
        e.state = dsBrowse;
        NotifyState();
    } else {
        FinishPending();
    }
    const bool found = Guard(*this, [&] {
        const store::TIndexDesc& index = e.files->Index(e.active);
        if (index.fields.empty() || e.keyTooLong) return false;
        const std::string prefix =
            store::MakeKeyPrefix(e.files->Fields(), index, e.keyBuffer.data());
        std::string key = prefix;
        if (store::HasIdentitySuffix(index)) key.append(4, '\0');  // below every identity
        store::TIndexTree tree = e.Tree();
        const store::TTreePos at = tree.LowerBound(key);
        if (!at.Valid()) return false;
        uint32_t recNo = 0;
        tree.EntryAt(at, key, recNo);
        if (key.compare(0, prefix.size(), prefix) != 0) return false;
        e.curKey.swap(key);
        e.Show(at, recNo);
        e.bof = e.eof = false;
        return true;
    });
    if (found) NotifyData();
    return found;
}

// ----------------------------------------------------------- field objects

TField::TField(TStoreTable& table, std::string name, TFieldType type, int size)
    : table_(&table), name_(std::move(name)), type_(type), size_(size) {
    table.RegisterField(this);
}

TField::~TField() {
    if (table_) table_->UnregisterField(this);
}

bool TField::ReadRaw(std::string& text, int32_t& integer, double& dateTime) const {
    text.clear();
    integer = 0;
    dateTime = 0;
    if (!table_ || !table_->engine_ || bound_ < 0) return false;
    const uint8_t* buffer = table_->engine_->ActiveBuffer();
    if (!buffer) return false;
    const auto& field = table_->engine_->files->Fields()[static_cast<size_t>(bound_)];
    const uint8_t* p = buffer + field.offset;
    if (p[0] != 1) return false;
    if (field.type == ftString) {
        const size_t length =
            strnlen(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(field.size));
        text.assign(reinterpret_cast<const char*>(p + 1), length);
    } else if (field.type == ftInteger) {
        integer = static_cast<int32_t>(store::Get32(p + 1));
    } else {
        dateTime = store::DecodeStoredDateTime(store::GetDouble(p + 1));
    }
    return true;
}

bool TField::IsNull() const {
    std::string text;
    int32_t integer;
    double dateTime;
    return !ReadRaw(text, integer, dateTime);
}

namespace {

// The bytes of field `bound` in the buffer the table lets a field write, after
// the state checks of the contract.
uint8_t* WritableField(TStoreTable& table, TTableEngine* engine, int bound,
                       const std::string& name) {
    const TDataSetState state = table.State();
    if (state != dsEdit && state != dsInsert && state != dsSetKey)
        throw EDatabaseError("Dataset not in edit or insert mode");
    const auto& field = engine->files->Fields()[static_cast<size_t>(bound)];
    if (state == dsSetKey) {
        const auto& keyFields = engine->files->Index(engine->active).fields;
        if (std::find(keyFields.begin(), keyFields.end(), bound) == keyFields.end())
            throw EDatabaseError("Field '" + name + "' is not indexed and cannot be modified");
    }
    return engine->ActiveBuffer() + field.offset;
}

}  // namespace

void TField::WriteString(std::string_view text) {
    if (!table_ || !table_->engine_ || bound_ < 0)
        throw EDatabaseError("Dataset not in edit or insert mode");
    uint8_t* p = WritableField(*table_, table_->engine_.get(), bound_, name_);
    TTableEngine& engine = *table_->engine_;
    const auto& field = engine.files->Fields()[static_cast<size_t>(bound_)];
    // A NUL ends the stored text; what follows it cannot be kept.
    size_t length = std::min(text.size(), text.find('\0'));
    while (length > 0 && text[length - 1] == ' ') --length;
    if (length > static_cast<size_t>(field.size)) {
        if (engine.state != dsSetKey)
            throw EDatabaseError("Value of field '" + name_ +
                                 "' is too long: " + std::to_string(length) +
                                 " characters, at most " + std::to_string(field.size));
        engine.keyTooLong = true;  // no stored text is that long
        length = 0;
    }
    std::memset(p, 0, static_cast<size_t>(field.width) + 1);
    if (length > 0) {
        p[0] = 1;
        std::memcpy(p + 1, text.data(), length);
    }
    table_->engine_->modified = table_->engine_->state != dsSetKey;
    table_->NotifyData();
}

void TField::WriteInteger(int32_t value) {
    if (!table_ || !table_->engine_ || bound_ < 0)
        throw EDatabaseError("Dataset not in edit or insert mode");
    uint8_t* p = WritableField(*table_, table_->engine_.get(), bound_, name_);
    p[0] = 1;
    store::Put32(p + 1, static_cast<uint32_t>(value));
    table_->engine_->modified = table_->engine_->state != dsSetKey;
    table_->NotifyData();
}

void TField::WriteDateTime(TDateTime value) {
    if (!table_ || !table_->engine_ || bound_ < 0)
        throw EDatabaseError("Dataset not in edit or insert mode");
    uint8_t* p = WritableField(*table_, table_->engine_.get(), bound_, name_);
    std::memset(p, 0, 9);
    if (std::isfinite(value)) {
        double stored = store::EncodeStoredDateTime(value);
        if (stored == 0) stored = 0.0;  // one zero, for one key
        p[0] = 1;
        store::PutDouble(p + 1, stored);
    }
    table_->engine_->modified = table_->engine_->state != dsSetKey;
    table_->NotifyData();
}

void TField::Clear() {
    if (!table_ || !table_->engine_ || bound_ < 0)
        throw EDatabaseError("Dataset not in edit or insert mode");
    uint8_t* p = WritableField(*table_, table_->engine_.get(), bound_, name_);
    const auto& field = table_->engine_->files->Fields()[static_cast<size_t>(bound_)];
    std::memset(p, 0, static_cast<size_t>(field.width) + 1);
    table_->engine_->modified = table_->engine_->state != dsSetKey;
    table_->NotifyData();
}

int TField::Size() const {
    if (!table_ || !table_->engine_ || bound_ < 0) return size_;
    return table_->engine_->files->Fields()[static_cast<size_t>(bound_)].size;
}

TStringField::TStringField(TStoreTable& table, std::string name, int size)
    : TField(table, std::move(name), ftString, size) {}

std::string TStringField::AsString() const {
    std::string text;
    int32_t integer;
    double dateTime;
    ReadRaw(text, integer, dateTime);
    return text;
}

void TStringField::SetAsString(std::string_view text) {
    WriteString(text);
}

TDateTimeField::TDateTimeField(TStoreTable& table, std::string name)
    : TField(table, std::move(name), ftDateTime, 0) {}

TDateTime TDateTimeField::AsDateTime() const {
    std::string text;
    int32_t integer;
    double dateTime;
    ReadRaw(text, integer, dateTime);
    return dateTime;
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
    WriteDateTime(value);
}

std::string TDateTimeField::AsString() const {
    if (IsNull()) return "";
    const TDateTime value = AsDateTime();
    const std::string text = FormatDateTime(value);
    return value == std::floor(value) ? text.substr(0, 10) : text;
}

void TDateTimeField::SetAsString(std::string_view text) {
    if (text.empty()) {
        Clear();
        return;
    }
    const std::string copy(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char extra = 0;
    const int n =
        std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &extra);
    const bool ok = (n == 3 || n == 6) && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h < 24 &&
                    mi < 60 && s < 60 && h >= 0 && mi >= 0 && s >= 0;
    if (!ok) throw EConvertError("'" + copy + "' is not a valid date and time");
    WriteDateTime(EncodeDateTime(y, mo, d, h, mi, s));
}

TIntegerField::TIntegerField(TStoreTable& table, std::string name)
    : TField(table, std::move(name), ftInteger, 0) {}

int32_t TIntegerField::AsInteger() const {
    std::string text;
    int32_t integer;
    double dateTime;
    ReadRaw(text, integer, dateTime);
    return integer;
}

void TIntegerField::SetAsInteger(int32_t value) {
    WriteInteger(value);
}

std::string TIntegerField::AsString() const {
    return IsNull() ? "" : std::to_string(AsInteger());
}

void TIntegerField::SetAsString(std::string_view text) {
    if (text.empty()) {
        Clear();
        return;
    }
    WriteInteger(StrToInt(text));
}

}  // namespace corvane
