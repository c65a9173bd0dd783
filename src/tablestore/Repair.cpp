// Repair: rebuilds a table's index file from its records.
//
// The data file is the table's truth; the index file can always be made again
// from it and the index definitions. The repair keeps every record whose
// status and contents are intact, in physical order: a live record with an
// invalid or repeated identity gets a new one, a live record whose key repeats
// an earlier record's key in a unique index is freed, free records form a new
// chain in ascending order. The new index file is written beside the old one
// and renamed over it; the data header's change counter is raised first, so a
// repair that dies half-way leaves a table that fails to open and is repaired
// again.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <unordered_set>

#include "tablestore/TableFiles.h"

namespace corvane::store {

namespace {

using TLog = std::function<void(const std::string&)>;
using TEntries = std::vector<std::pair<std::string, uint32_t>>;

double Now() {
    using namespace std::chrono;
    return 25569.0 + duration<double>(system_clock::now().time_since_epoch()).count() / 86400.0;
}

class TRepair {
  public:
    TRepair(TStoreEnv& env, const TTablePaths& paths, const TLog& log,
            const std::function<void(int)>& progress)
        : env_(env), paths_(paths), log_(log), progress_(progress) {}

    void Run(const TFieldDefs& fieldDefs, const TIndexDefs& indexDefs) {
        const int error =
            env_.Open(paths_.data, TOpenMode::Existing, TLockMode::Exclusive, false, data_);
        if (error != 0) Fail(OpenErrorCode(error));
        ReadDefinitions(fieldDefs);
        ReadIndexDefinitions(indexDefs);
        MarkDirty();
        Progress(10);
        FixRecords();
        Progress(40);
        DropDuplicates();
        Progress(60);
        BuildIndexFile();
        Progress(90);
        RelinkFreeRecords();
        Finish();
        Progress(100);
    }

  private:
    void Log(const std::string& line) {
        if (log_) log_(line);
    }
    void Progress(int percent) {
        if (progress_) progress_(percent);
    }

    void ReadDefinitions(const TFieldDefs& fieldDefs) {
        if (data_->Size(size_) != 0) Fail(9217);
        std::vector<uint8_t> head(kDataHeaderSize, 0);
        size_t done = 0;
        if (data_->ReadAt(0, head.data(), head.size(), done) != 0) Fail(9217);
        try {
            header_ = ReadDataHeader(head.data(), done);
            const uint64_t start = kDataHeaderSize + uint64_t{header_.fieldCount} * kFieldDescSize;
            if (size_ < start) Fail(8961);
            std::vector<uint8_t> descs(start - kDataHeaderSize);
            if (data_->ReadAt(kDataHeaderSize, descs.data(), descs.size(), done) != 0) Fail(9217);
            int offset = kRecordPrefix;
            for (int i = 0; i < header_.fieldCount; ++i) {
                fields_.push_back(ReadFieldDesc(descs.data() + i * kFieldDescSize, i + 1, offset));
                for (int j = 0; j < i; ++j)
                    if (SameTextIgnoringCase(fields_[static_cast<size_t>(j)].name,
                                             fields_.back().name))
                        Fail(8961);
                offset += fields_.back().width + 1;
            }
            if (offset != header_.recordLength) Fail(8961);
        } catch (const TStoreFault& fault) {
            if (fault.code == 9217 || fieldDefs.empty()) throw;
            Log("Table description damaged; rebuilt from the table's field definitions");
            fields_ = StoredFieldsOf(fieldDefs);
            header_ = TDataHeader();
            header_.fieldCount = static_cast<uint16_t>(fields_.size());
            header_.recordLength = static_cast<uint16_t>(LayOutFields(fields_));
            rewriteDescriptions_ = true;
        }
        recordLength_ = header_.recordLength;
        dataStart_ = kDataHeaderSize + uint64_t{header_.fieldCount} * kFieldDescSize;
        const uint64_t body = size_ > dataStart_ ? size_ - dataStart_ : 0;
        physical_ =
            static_cast<uint32_t>(std::min<uint64_t>(body / recordLength_, kMaxIdentity - 1));
        if (body % recordLength_ != 0 || body / recordLength_ != physical_) {
            Log("Data file length is not a whole number of records; the partial record is cut off");
            CheckWrite(data_->Truncate(dataStart_ + uint64_t{physical_} * recordLength_));
        }
    }

    void ReadIndexDefinitions(const TIndexDefs& indexDefs) {
        std::unique_ptr<TStoreFile> old;
        const int error = env_.Open(paths_.index, TOpenMode::Existing, TLockMode::None, true, old);
        if (error == 0) {
            uint8_t page[kPageSize];
            size_t done = 0;
            try {
                if (old->ReadAt(0, page, kPageSize, done) != 0 || done != kPageSize) Fail(8961);
                index_ = ReadIndexHeader(page, fields_);
                return;
            } catch (const TStoreFault&) {
                Log("Index file header damaged");
            }
        } else {
            Log("Index file missing");
        }
        if (indexDefs.empty()) Fail(error == 0 ? 8961 : OpenErrorCode(error));
        Log("Index definitions taken from the table's index definitions");
        index_ = TIndexHeader();
        index_.indexes = IndexDescsOf(fields_, indexDefs, index_.noPrimary);
    }

    void WriteHeader() {
        std::vector<uint8_t> bytes(kDataHeaderSize);
        WriteDataHeader(bytes.data(), header_, Now());
        CheckWrite(data_->WriteAt(0, bytes.data(), bytes.size()));
    }

    void MarkDirty() {
        ++header_.changeCounter;
        if (rewriteDescriptions_) {
            std::vector<uint8_t> descs(fields_.size() * kFieldDescSize);
            for (size_t i = 0; i < fields_.size(); ++i)
                WriteFieldDesc(descs.data() + i * kFieldDescSize, static_cast<int>(i + 1),
                               fields_[i]);
            CheckWrite(data_->WriteAt(kDataHeaderSize, descs.data(), descs.size()));
        }
        WriteHeader();
    }

    // Visits every physical record, in chunks; `visit` may change the record
    // and returns true when it did, and the record is then written back.
    template <class F>
    void ForEachRecord(F visit) {
        const uint32_t perChunk = std::max<uint32_t>(1, (1u << 20) / recordLength_);
        std::vector<uint8_t> chunk;
        for (uint32_t first = 1; first <= physical_; first += perChunk) {
            const uint32_t count = std::min(perChunk, physical_ - first + 1);
            chunk.resize(size_t{count} * recordLength_);
            const uint64_t offset = dataStart_ + uint64_t{first - 1} * recordLength_;
            size_t done = 0;
            if (data_->ReadAt(offset, chunk.data(), chunk.size(), done) != 0 ||
                done != chunk.size())
                Fail(9217);
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* record = chunk.data() + size_t{i} * recordLength_;
                if (visit(first + i, record) && data_->WriteAt(offset + uint64_t{i} * recordLength_,
                                                               record, recordLength_) != 0)
                    Fail(9218);
            }
        }
    }

    void FixRecords() {
        live_.assign(size_t{physical_} + 1, false);
        std::unordered_set<int32_t> seen;
        std::vector<uint32_t> needIdentity;
        int32_t maxIdentity = 0;
        ForEachRecord([&](uint32_t n, uint8_t* record) {
            if (record[0] == 1) return false;
            if (record[0] != 0) {
                Log("Record " + std::to_string(n) + " has an invalid status; counted as free");
                record[0] = 1;
                return true;
            }
            bool changed = CanonicalizeRecord(fields_, record);
            if (Get32(record + 1) != n) {
                Put32(record + 1, n);
                changed = true;
            }
            const int32_t identity = RecordIdentity(record);
            if (identity <= 0 || !seen.insert(identity).second)
                needIdentity.push_back(n);
            else
                maxIdentity = std::max(maxIdentity, identity);
            live_[n] = true;
            ++liveCount_;
            if (changed) Log("Record " + std::to_string(n) + " corrected");
            return changed;
        });
        if (header_.lastIdentity > maxIdentity && !rewriteDescriptions_)
            maxIdentity = header_.lastIdentity;
        for (uint32_t n : needIdentity) {
            maxIdentity = maxIdentity >= kMaxIdentity ? 1 : maxIdentity + 1;
            uint8_t bytes[4];
            Put32(bytes, static_cast<uint32_t>(maxIdentity));
            if (data_->WriteAt(dataStart_ + uint64_t{n - 1} * recordLength_ + 5, bytes, 4) != 0)
                Fail(9218);
            Log("Record " + std::to_string(n) + " given a new identity");
        }
        header_.lastIdentity = maxIdentity;
    }

    TEntries CollectKeys(int i) {
        TEntries entries;
        entries.reserve(liveCount_);
        const TIndexDesc& index = index_.indexes[static_cast<size_t>(i)];
        ForEachRecord([&](uint32_t n, uint8_t* record) {
            if (live_[n]) entries.emplace_back(MakeKey(fields_, index, record), n);
            return false;
        });
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    void DropDuplicates() {
        for (size_t i = 0; i < index_.indexes.size(); ++i) {
            if (!index_.indexes[i].unique || index_.indexes[i].fields.empty()) continue;
            const TEntries entries = CollectKeys(static_cast<int>(i));
            for (size_t j = 1; j < entries.size(); ++j) {
                if (entries[j].first != entries[j - 1].first) continue;
                // Sorted by key, then physical number: the earlier record stays.
                const uint32_t n = entries[j].second;
                if (!live_[n]) continue;
                live_[n] = false;
                --liveCount_;
                const uint8_t status = 1;
                if (data_->WriteAt(dataStart_ + uint64_t{n - 1} * recordLength_, &status, 1) != 0)
                    Fail(9218);
                Log("Record " + std::to_string(n) +
                    " deleted: its key repeats an earlier record's");
            }
        }
    }

    void BuildIndexFile() {
        const std::string temp = paths_.index + ".tmp";
        std::unique_ptr<TStoreFile> file;
        const int error = env_.Open(temp, TOpenMode::CreateAlways, TLockMode::None, false, file);
        if (error != 0) Fail(OpenErrorCode(error));
        index_.nextPageOffset = kPageSize;
        index_.freePage = 0;
        index_.liveRecords = liveCount_;
        {
            TPageCache cache(*file, 8u << 20);
            for (size_t i = 0; i < index_.indexes.size(); ++i) {
                index_.indexes[i].root = 0;
                index_.indexes[i].height = 0;
                TIndexTree(cache, index_, static_cast<int>(i))
                    .BulkLoad(CollectKeys(static_cast<int>(i)));
            }
            cache.Flush();
        }
        header_.changeCounter += 1;
        index_.syncCounter = header_.changeCounter;
        ++index_.changeCounter;
        uint8_t page[kPageSize];
        WriteIndexHeader(page, index_);
        if (file->WriteAt(0, page, kPageSize) != 0 || file->Truncate(index_.nextPageOffset) != 0)
            Fail(9218);
        file.reset();
        CheckWrite(env_.Rename(temp, paths_.index));
    }

    void RelinkFreeRecords() {
        uint32_t head = 0;
        for (uint32_t n = physical_; n >= 1; --n) {
            if (live_[n]) continue;
            uint8_t prefix[5];
            prefix[0] = 1;
            Put32(prefix + 1, index_.noPrimary ? 0 : head);
            if (data_->WriteAt(dataStart_ + uint64_t{n - 1} * recordLength_, prefix, 5) != 0)
                Fail(9218);
            head = n;
        }
        header_.firstFree = index_.noPrimary ? 0 : head;
        header_.nextRecNo = physical_ + 1;
    }

    void Finish() {
        WriteHeader();  // its counter equals the new index file's
        Log("Repair finished: " + std::to_string(liveCount_) + " records kept");
    }

    TStoreEnv& env_;
    const TTablePaths& paths_;
    const TLog& log_;
    const std::function<void(int)>& progress_;
    std::unique_ptr<TStoreFile> data_;
    uint64_t size_ = 0;
    TDataHeader header_;
    TIndexHeader index_;
    std::vector<TStoredField> fields_;
    bool rewriteDescriptions_ = false;
    uint32_t recordLength_ = 1;
    uint64_t dataStart_ = 0;
    uint32_t physical_ = 0;
    std::vector<bool> live_;
    uint32_t liveCount_ = 0;
};

}  // namespace

void RepairTableFiles(TStoreEnv& env, const TTablePaths& paths, const TFieldDefs& fieldDefs,
                      const TIndexDefs& indexDefs, const TLog& log,
                      const std::function<void(int)>& progress) {
    TRepair(env, paths, log, progress).Run(fieldDefs, indexDefs);
}

}  // namespace corvane::store
