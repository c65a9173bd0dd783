#include "tablestore/TableFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace corvane::store {

namespace {

double NowAsDateTime() {
    using namespace std::chrono;
    const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return 25569.0 + seconds / 86400.0;
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> SplitFieldList(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string name = Trim(list.substr(start, end - start));
        if (!name.empty()) names.push_back(name);
        start = end + 1;
    }
    return names;
}

int FindStoredField(const std::vector<TStoredField>& fields, const std::string& name) {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameTextIgnoringCase(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

TIndexDesc DescOf(const std::vector<TStoredField>& fields, const TIndexDef& def, bool primary) {
    TIndexDesc index;
    index.name = primary ? std::string() : def.Name;
    index.unique = primary || (def.Options & ixUnique) != 0;
    index.caseInsensitive = (def.Options & ixCaseInsensitive) != 0;
    for (const auto& name : SplitFieldList(def.Fields)) {
        if (index.fields.size() == static_cast<size_t>(kMaxIndexFields)) break;
        const int number = FindStoredField(fields, name);
        if (number < 0) Fail(10023, {name, index.name});
        index.fields.push_back(number);
    }
    if (index.fields.empty()) Fail(10026, {index.name});
    index.keyLength = KeyLengthOf(fields, index);
    if (index.keyLength - (index.unique ? 0 : 4) > kMaxKeyLength) Fail(10026, {index.name});
    return index;
}

// Records held back for their vouching field share the syncs of one flush:
// at most this many, held at most this long (a compute run stores a few
// pictures a second, a bulk load thousands).
constexpr size_t kVouchGroup = 4096;
constexpr std::chrono::milliseconds kVouchDelay{1000};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::vector<TStoredField> ReadStoredFields(TStoreFile& data, TDataHeader& header) {
    std::vector<uint8_t> head(kDataHeaderSize);
    size_t done = 0;
    if (data.ReadAt(0, head.data(), head.size(), done) != 0) Fail(9217);
    header = ReadDataHeader(head.data(), done);
    std::vector<uint8_t> descs(size_t{header.fieldCount} * kFieldDescSize);
    if (data.ReadAt(kDataHeaderSize, descs.data(), descs.size(), done) != 0) Fail(9217);
    if (done != descs.size()) Fail(8961);
    std::vector<TStoredField> fields;
    int offset = kRecordPrefix;
    for (int i = 0; i < header.fieldCount; ++i) {
        fields.push_back(ReadFieldDesc(descs.data() + i * kFieldDescSize, i + 1, offset));
        for (int j = 0; j < i; ++j)
            if (SameTextIgnoringCase(fields[static_cast<size_t>(j)].name, fields.back().name))
                Fail(8961);
        offset += fields.back().width + 1;
    }
    if (offset != header.recordLength) Fail(8961);
    return fields;
}

int OpenErrorCode(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case EISDIR:
        case ENAMETOOLONG:
            return 11010;
        case EACCES:
        case EPERM:
        case EWOULDBLOCK:
        case EROFS:
        case ETXTBSY:
            return 11013;
        case EMFILE:
        case ENFILE:
            return 11012;
        default:
            return 11047;
    }
}

std::vector<TStoredField> StoredFieldsOf(const TFieldDefs& defs) {
    if (defs.empty() || defs.size() > static_cast<size_t>(kMaxFields)) Fail(9492);
    std::vector<TStoredField> fields;
    for (const auto& def : defs) {
        const bool nameOk =
            !def.Name.empty() && def.Name.size() <= static_cast<size_t>(kMaxNameLength) &&
            def.Name.find('\0') == std::string::npos && FindStoredField(fields, def.Name) < 0;
        if (!nameOk) Fail(10038, {def.Name});
        const bool typeOk =
            def.DataType == ftInteger || def.DataType == ftDateTime ||
            (def.DataType == ftString && def.Size >= 1 && def.Size <= kMaxStringSize);
        if (!typeOk) Fail(10000, {def.Name});
        TStoredField field;
        field.name = def.Name;
        field.type = def.DataType;
        field.size = def.DataType == ftString ? def.Size : 0;
        fields.push_back(field);
    }
    if (LayOutFields(fields) > 65535) Fail(9477);
    return fields;
}

std::vector<TIndexDesc> IndexDescsOf(const std::vector<TStoredField>& fields,
                                     const TIndexDefs& defs, bool& noPrimary) {
    const TIndexDef* primary = nullptr;
    std::vector<const TIndexDef*> secondaries;
    for (const auto& def : defs) {
        if ((def.Options & ixPrimary) && !primary)
            primary = &def;
        else
            secondaries.push_back(&def);
    }
    if (secondaries.size() > static_cast<size_t>(kMaxSecondary)) Fail(9487);
    std::vector<TIndexDesc> indexes;
    noPrimary = primary == nullptr;
    if (primary) {
        indexes.push_back(DescOf(fields, *primary, true));
    } else {
        TIndexDesc order;  // records in identity (= physical) order
        order.unique = true;
        order.keyLength = 4;
        indexes.push_back(order);
    }
    for (const TIndexDef* def : secondaries) {
        if (def->Name.empty() || def->Name.size() > static_cast<size_t>(kMaxNameLength))
            Fail(10022, {def->Name});
        for (size_t i = 1; i < indexes.size(); ++i)
            if (SameTextIgnoringCase(indexes[i].name, def->Name)) Fail(10027, {def->Name});
        indexes.push_back(DescOf(fields, *def, false));
    }
    return indexes;
}

// ------------------------------------------------------------- create/open

void TTableFiles::Create(TStoreEnv& env, const TTablePaths& paths,
                         const std::vector<TStoredField>& fields,
                         const std::vector<TIndexDesc>& indexes, bool noPrimary) {
    std::unique_ptr<TStoreFile> data;
    int error = env.Open(paths.data, TOpenMode::CreateNew, TLockMode::Exclusive, false, data);
    if (error == EEXIST) Fail(13060);
    if (error != 0) Fail(OpenErrorCode(error));
    TDataHeader header;
    header.changeCounter = 1;
    header.fieldCount = static_cast<uint16_t>(fields.size());
    header.recordLength = static_cast<uint16_t>(fields.back().offset + fields.back().width + 1);
    std::vector<uint8_t> bytes(kDataHeaderSize + fields.size() * kFieldDescSize);
    WriteDataHeader(bytes.data(), header, NowAsDateTime());
    for (size_t i = 0; i < fields.size(); ++i)
        WriteFieldDesc(bytes.data() + kDataHeaderSize + i * kFieldDescSize, static_cast<int>(i + 1),
                       fields[i]);
    TIndexHeader index;
    index.changeCounter = 1;
    index.syncCounter = header.changeCounter;
    index.noPrimary = noPrimary;
    index.indexes = indexes;
    uint8_t page[kPageSize];
    WriteIndexHeader(page, index);
    std::unique_ptr<TStoreFile> indexFile;
    error = env.Open(paths.index, TOpenMode::CreateAlways, TLockMode::None, false, indexFile);
    if (error == 0) error = indexFile->WriteAt(0, page, kPageSize);
    if (error == 0) error = data->WriteAt(0, bytes.data(), bytes.size());
    if (error == 0) error = indexFile->Sync();
    if (error == 0) error = data->Sync();
    if (error == 0) error = env.SyncFolder(FolderOf(paths.data));
    if (error != 0) {
        data.reset();
        env.Remove(paths.data);
        FailWrite(error);
    }
}

std::unique_ptr<TTableFiles> TTableFiles::Open(TStoreEnv& env, const TTablePaths& paths,
                                               bool exclusive, bool readOnly, size_t cacheLimit) {
    std::unique_ptr<TTableFiles> table(new TTableFiles);
    table->exclusive_ = exclusive;
    table->readOnly_ = readOnly;
    const TLockMode lock = exclusive ? TLockMode::Exclusive : TLockMode::Shared;
    int error = env.Open(paths.data, TOpenMode::Existing, lock, readOnly, table->data_);
    if (error != 0) Fail(OpenErrorCode(error));
    uint64_t size = 0;
    if (table->data_->Size(size) != 0) Fail(9217);
    table->fields_ = ReadStoredFields(*table->data_, table->header_);
    const TDataHeader& header = table->header_;
    table->dataStart_ = kDataHeaderSize + static_cast<uint64_t>(header.fieldCount) * kFieldDescSize;
    if (size < table->dataStart_) Fail(8961);
    const uint64_t body = size - table->dataStart_;
    if (body % header.recordLength != 0 || body / header.recordLength != header.nextRecNo - 1ull ||
        header.firstFree >= header.nextRecNo)
        Fail(8961);

    error =
        env.Open(paths.index, TOpenMode::Existing, TLockMode::None, readOnly, table->indexFile_);
    if (error != 0) Fail(OpenErrorCode(error));
    uint8_t page[kPageSize];
    size_t done = 0;
    if (table->indexFile_->ReadAt(0, page, kPageSize, done) != 0) Fail(9217);
    if (done != static_cast<size_t>(kPageSize)) Fail(8961);
    table->index_ = ReadIndexHeader(page, table->fields_);
    uint64_t indexSize = 0;
    if (table->indexFile_->Size(indexSize) != 0) Fail(9217);
    if (table->index_.syncCounter != header.changeCounter ||
        table->index_.nextPageOffset > indexSize || table->index_.liveRecords >= header.nextRecNo)
        Fail(8965);
    VerifyIndexPages(*table->indexFile_, table->index_.nextPageOffset / kPageSize);
    table->cache_ = std::make_unique<TPageCache>(*table->indexFile_, cacheLimit);
    return table;
}

TTableFiles::~TTableFiles() = default;

void TTableFiles::Close() {
    Checkpoint();
    cache_.reset();
    indexFile_.reset();
    data_.reset();
}

// ---------------------------------------------------------------- headers

void TTableFiles::WriteDataHeaderNow() {
    uint8_t bytes[kDataHeaderSize];
    WriteDataHeader(bytes, header_, NowAsDateTime());
    CheckWrite(data_->WriteAt(0, bytes, sizeof bytes));
}

void TTableFiles::WriteIndexHeaderNow() {
    uint8_t page[kPageSize];
    WriteIndexHeader(page, index_);
    CheckWrite(indexFile_->WriteAt(0, page, kPageSize));
}

void TTableFiles::Sync(TStoreFile& file) {
    if (file.Sync() != 0) Fail(9218);
}

void TTableFiles::BeginChange() {
    if (dirty_) return;
    ++header_.changeCounter;
    WriteDataHeaderNow();
    SyncData();  // the mark is on disk before any record it covers
    dirty_ = true;
}

void TTableFiles::Checkpoint() {
    if (!dirty_ || broken_ || readOnly_) return;
    FlushVouched();
    cache_->Flush();
    ++header_.changeCounter;
    WriteDataHeaderNow();
    SyncData();
    Sync(*indexFile_);
    index_.syncCounter = header_.changeCounter;
    ++index_.changeCounter;
    WriteIndexHeaderNow();
    Sync(*indexFile_);
    dirty_ = false;
}

void TTableFiles::MarkForRepair() {
    broken_ = true;
    if (dirty_ || readOnly_) return;
    try {
        BeginChange();
    } catch (const TStoreFault&) {
        // The open that follows finds the damage anyway.
    }
}

// ---------------------------------------------------------------- records

uint64_t TTableFiles::RecordOffset(uint32_t recNo) const {
    return dataStart_ + static_cast<uint64_t>(recNo - 1) * header_.recordLength;
}

void TTableFiles::WriteRecordBytes(uint32_t recNo, const uint8_t* data, size_t size) {
    CheckWrite(data_->WriteAt(RecordOffset(recNo), data, size));
}

void TTableFiles::SyncData() {
    Sync(*data_);
    freedSinceSync_.clear();
}

uint64_t TTableFiles::VouchFlagOffset(uint32_t recNo) const {
    return RecordOffset(recNo) +
           static_cast<uint64_t>(fields_[static_cast<size_t>(vouchField_)].offset);
}

void TTableFiles::WriteVouchFlag(uint32_t recNo, uint8_t flag) {
    if (data_->WriteAt(VouchFlagOffset(recNo), &flag, 1) != 0) Fail(9218);
}

// The vouching field's flag byte is the one byte that turns a record from
// unfinished (null there) into vouched: a single byte is never torn. Its
// value bytes are written, flag still 0, in the record write before it.
void TTableFiles::WriteRecord(uint32_t recNo, const std::vector<uint8_t>& record, TPlace place) {
    if (vouchField_ < 0) {
        WriteRecordBytes(recNo, record.data(), record.size());
        return;
    }
    const TStoredField& field = fields_[static_cast<size_t>(vouchField_)];
    const bool written = place != TPlace::Changed;
    if (place == TPlace::Reused) {
        // A reused place must show null on disk before new bytes land there.
        uint8_t flag = 0;
        size_t done = 0;
        if (data_->ReadAt(VouchFlagOffset(recNo), &flag, 1, done) != 0) Fail(9217);
        if (flag != 0) WriteVouchFlag(recNo, 0);
        if (flag != 0 || freedSinceSync_.count(recNo)) SyncData();
    }
    if (written) {
        unvouched_.assign(record.begin(), record.end());
        std::fill(unvouched_.begin() + field.offset,
                  unvouched_.begin() + field.offset + field.width + 1, uint8_t{0});
        WriteRecordBytes(recNo, unvouched_.data(), unvouched_.size());
    } else if (!vouched_.count(recNo)) {
        WriteVouchFlag(recNo, 0);  // the old bytes are no longer vouched for
    }
    const auto now = std::chrono::steady_clock::now();
    if (vouched_.empty()) heldSince_ = now;
    vouched_[recNo] = THeld{record, written};
    if (vouched_.size() >= kVouchGroup || now - heldSince_ >= kVouchDelay) FlushVouched();
}

// Every held record must show null in its vouching field on disk before its
// new bytes land: a changed record's cleared flag needs a sync first, while a
// new or reused place shows null already (a reused one was synced so when it
// was taken). Then the records are written whole (flag still 0), synced, and
// only then the flags set. Records of neighbouring places share one write:
// each second write differs from the disk in the flag byte alone, so it lands
// or not record by record as a single byte would.
void TTableFiles::FlushVouched() {
    if (vouched_.empty()) return;
    const auto flagAt = static_cast<size_t>(fields_[static_cast<size_t>(vouchField_)].offset);
    if (std::any_of(vouched_.begin(), vouched_.end(),
                    [](const auto& held) { return !held.second.written; }))
        SyncData();
    WriteHeldRuns([&](const THeld&) { return uint8_t{0}; }, false);
    SyncData();
    WriteHeldRuns([&](const THeld& held) { return held.record[flagAt]; }, true);
    vouched_.clear();
}

template <class F>
void TTableFiles::WriteHeldRuns(F flagOf, bool flagsOnDisk) {
    constexpr size_t kRunBytes = 1u << 20;
    const auto flagAt = static_cast<size_t>(fields_[static_cast<size_t>(vouchField_)].offset);
    const size_t length = header_.recordLength;
    uint32_t first = 0, next = 0;
    unvouched_.clear();
    auto write = [&] {
        if (flagsOnDisk && unvouched_.size() == length) {  // a lone record: its flag alone
            if (unvouched_[flagAt] != 0) WriteVouchFlag(first, unvouched_[flagAt]);
        } else if (!unvouched_.empty()) {
            WriteRecordBytes(first, unvouched_.data(), unvouched_.size());
        }
        unvouched_.clear();
    };
    for (const auto& [recNo, held] : vouched_) {
        if (recNo != next || unvouched_.size() + length > kRunBytes) {
            write();
            first = recNo;
        }
        next = recNo + 1;
        const size_t at = unvouched_.size();
        unvouched_.insert(unvouched_.end(), held.record.begin(), held.record.end());
        unvouched_[at + flagAt] = flagOf(held);
    }
    write();
}

bool TTableFiles::TryReadRecord(uint32_t recNo, std::vector<uint8_t>& record) {
    if (recNo == 0 || recNo > PhysicalRecords()) return false;
    record.resize(header_.recordLength);
    size_t done = 0;
    if (data_->ReadAt(RecordOffset(recNo), record.data(), record.size(), done) != 0) Fail(9217);
    if (done != record.size()) Fail(8962);
    const auto held = vouched_.find(recNo);
    if (held != vouched_.end()) record = held->second.record;
    if (record[0] == 1) return false;
    if (record[0] != 0 || Get32(record.data() + 1) != recNo) Fail(8962);
    if (!IsCanonicalRecord(fields_, record.data())) Fail(8962);
    return true;
}

void TTableFiles::ReadRecord(uint32_t recNo, std::vector<uint8_t>& record) {
    if (!TryReadRecord(recNo, record)) Fail(8962);
}

int TTableFiles::FindDuplicate(const uint8_t* record, uint32_t ignoreRecNo) {
    for (int i = 0; i < IndexCount(); ++i) {
        if (!Index(i).unique || Index(i).fields.empty()) continue;
        uint32_t holder = 0;
        if (Tree(i).Find(KeyOf(i, record), holder) && holder != ignoreRecNo) return i;
    }
    return -1;
}

uint32_t TTableFiles::Insert(std::vector<uint8_t>& record) {
    BeginChange();
    const TDataHeader saved = header_;
    uint32_t recNo;
    const bool reused = !index_.noPrimary && header_.firstFree != 0;
    if (reused) {
        recNo = header_.firstFree;
        uint8_t prefix[kRecordPrefix];
        size_t done = 0;
        if (recNo > PhysicalRecords()) Fail(8962);
        if (data_->ReadAt(RecordOffset(recNo), prefix, sizeof prefix, done) != 0) Fail(9217);
        const uint32_t next = Get32(prefix + 1);
        if (done != sizeof prefix || prefix[0] != 1 || next > PhysicalRecords() || next == recNo)
            Fail(8962);
        header_.firstFree = next;
    } else {
        if (RecordOffset(header_.nextRecNo) + header_.recordLength > (1ull << 40)) Fail(9479);
        recNo = header_.nextRecNo++;
    }
    header_.lastIdentity = header_.lastIdentity >= kMaxIdentity ? 1 : header_.lastIdentity + 1;
    record[0] = 0;
    Put32(record.data() + 1, recNo);
    Put32(record.data() + 5, static_cast<uint32_t>(header_.lastIdentity));
    try {
        WriteRecord(recNo, record, reused ? TPlace::Reused : TPlace::Appended);
    } catch (...) {
        header_ = saved;
        throw;
    }
    try {
        ++treeVersion_;
        for (int i = 0; i < IndexCount(); ++i)
            if (!Tree(i).Insert(KeyOf(i, record.data()), recNo)) Fail(8965);
    } catch (...) {
        broken_ = true;
        throw;
    }
    ++index_.liveRecords;
    return recNo;
}

void TTableFiles::Update(uint32_t recNo, const std::vector<uint8_t>& before,
                         std::vector<uint8_t>& after) {
    BeginChange();
    std::memcpy(after.data(), before.data(), kRecordPrefix);  // place and identity stay
    WriteRecord(recNo, after, TPlace::Changed);
    try {
        ++treeVersion_;
        for (int i = 0; i < IndexCount(); ++i) {
            const std::string oldKey = KeyOf(i, before.data());
            const std::string newKey = KeyOf(i, after.data());
            if (oldKey == newKey) continue;
            if (!Tree(i).Erase(oldKey) || !Tree(i).Insert(newKey, recNo)) Fail(8965);
        }
    } catch (...) {
        broken_ = true;
        throw;
    }
}

void TTableFiles::Remove(uint32_t recNo, const std::vector<uint8_t>& record) {
    BeginChange();
    try {
        ++treeVersion_;
        for (int i = 0; i < IndexCount(); ++i)
            if (!Tree(i).Erase(KeyOf(i, record.data()))) Fail(8965);
    } catch (...) {
        broken_ = true;
        throw;
    }
    uint8_t prefix[5];
    prefix[0] = 1;
    const uint32_t next = index_.noPrimary ? 0 : header_.firstFree;
    Put32(prefix + 1, next);
    try {
        WriteRecordBytes(recNo, prefix, sizeof prefix);
        if (vouchField_ >= 0) {
            vouched_.erase(recNo);
            WriteVouchFlag(recNo, 0);
            freedSinceSync_.insert(recNo);
        }
    } catch (...) {
        broken_ = true;
        throw;
    }
    if (!index_.noPrimary) header_.firstFree = recNo;
    --index_.liveRecords;
}

void TTableFiles::Empty() {
    BeginChange();
    broken_ = true;  // until both files are reset
    ++treeVersion_;
    vouched_.clear();
    freedSinceSync_.clear();
    cache_->Drop();
    if (data_->Truncate(dataStart_) != 0 || indexFile_->Truncate(kPageSize) != 0) Fail(9218);
    header_.firstFree = 0;
    header_.nextRecNo = 1;
    for (auto& index : index_.indexes) {
        index.root = 0;
        index.height = 0;
    }
    index_.nextPageOffset = kPageSize;
    index_.freePage = 0;
    index_.liveRecords = 0;
    broken_ = false;
    Checkpoint();
}

}  // namespace corvane::store
