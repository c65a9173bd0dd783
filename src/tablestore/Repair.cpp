// Repair: rebuilds a table's index file from its records.
//
// The data file is the table's truth; the index file can always be made again
// from it and the index definitions. A data file whose header or field
// descriptions cannot be read is never touched: what cannot be read cannot be
// rewritten faithfully. Otherwise the data file is first copied to
// "<data>.bak" (one generation), then the repair keeps every record whose
// status and contents are intact, in physical order: a live record with an
// invalid or repeated identity gets a new one, a live record whose key repeats
// an earlier record's key in a unique index is freed, free records form a new
// chain in ascending order. The data header's change counter is raised and
// synced first, so a repair that stops half-way leaves a table that fails to
// open and is repaired again; the new index file is written beside the old
// one, synced and renamed over it (the folder synced), and only then does the
// data header take the counter that makes the pair clean.
//
// Memory stays bounded whatever the table's size: keys are sorted in runs of
// at most kSortBudget bytes spilled to a temporary file and merged, and the
// trees are built one page per level at a time.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <queue>

#include "tablestore/TableFiles.h"

namespace corvane::store {

namespace {

using TLog = std::function<void(const std::string&)>;

constexpr size_t kSortBudget = 16u << 20;

// Sorts (key, value) entries by key, then value, in bounded memory: entries
// gather in memory up to the budget, then go sorted as a run to a temporary
// file; Next merges the runs (or walks the memory when nothing was spilled).
class TKeySorter {
  public:
    TKeySorter(TStoreEnv& env, std::string tempPath) : env_(env), tempPath_(std::move(tempPath)) {}
    ~TKeySorter() {
        file_.reset();
        if (spilled_) env_.Remove(tempPath_);
    }
    TKeySorter(const TKeySorter&) = delete;
    TKeySorter& operator=(const TKeySorter&) = delete;

    void Add(const std::string& key, uint32_t value) {
        items_.push_back(TItem{arena_.size(), static_cast<uint32_t>(key.size()), value});
        arena_ += key;
        if (arena_.size() + items_.size() * sizeof(TItem) >= kSortBudget) Spill();
    }

    bool Next(std::string& key, uint32_t& value) {
        if (!started_) Start();
        if (runs_.empty()) {
            if (memoryPos_ == items_.size()) return false;
            const TItem& item = items_[memoryPos_++];
            key.assign(arena_, item.offset, item.length);
            value = item.value;
            return true;
        }
        if (heap_.empty()) return false;
        const size_t run = heap_.top();
        heap_.pop();
        key = runs_[run].key;
        value = runs_[run].value;
        if (Advance(runs_[run])) heap_.push(run);
        return true;
    }

  private:
    struct TItem {
        size_t offset;
        uint32_t length;
        uint32_t value;
    };
    struct TRun {
        uint64_t next, end;  // file range not yet buffered
        std::vector<uint8_t> buffer;
        size_t pos = 0;
        std::string key;
        uint32_t value = 0;
    };
    static constexpr size_t kRunBuffer = 256u << 10;

    void SortMemory() {
        std::sort(items_.begin(), items_.end(), [this](const TItem& a, const TItem& b) {
            const int c = arena_.compare(a.offset, a.length, arena_, b.offset, b.length);
            return c != 0 ? c < 0 : a.value < b.value;
        });
    }

    void Spill() {
        if (!file_) {
            const int error =
                env_.Open(tempPath_, TOpenMode::CreateAlways, TLockMode::None, false, file_);
            if (error != 0) Fail(OpenErrorCode(error));
            spilled_ = true;
        }
        SortMemory();
        TRun run;
        run.next = fileEnd_;
        std::vector<uint8_t> out;
        for (const TItem& item : items_) {
            uint8_t head[6];
            Put16(head, static_cast<uint16_t>(item.length));
            Put32(head + 2, item.value);
            out.insert(out.end(), head, head + 6);
            out.insert(out.end(), arena_.begin() + static_cast<long>(item.offset),
                       arena_.begin() + static_cast<long>(item.offset + item.length));
            if (out.size() >= kRunBuffer) WriteOut(out);
        }
        WriteOut(out);
        run.end = fileEnd_;
        runs_.push_back(std::move(run));
        items_.clear();
        arena_.clear();
    }

    void WriteOut(std::vector<uint8_t>& out) {
        if (file_->WriteAt(fileEnd_, out.data(), out.size()) != 0) Fail(9218);
        fileEnd_ += out.size();
        out.clear();
    }

    // Reads `size` more bytes of the run into its buffer when needed.
    bool Fetch(TRun& run, size_t size) {
        if (run.buffer.size() - run.pos >= size) return true;
        run.buffer.erase(run.buffer.begin(), run.buffer.begin() + static_cast<long>(run.pos));
        run.pos = 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kRunBuffer, run.end - run.next));
        const size_t old = run.buffer.size();
        run.buffer.resize(old + want);
        size_t done = 0;
        if (file_->ReadAt(run.next, run.buffer.data() + old, want, done) != 0 || done != want)
            Fail(9217);
        run.next += want;
        return run.buffer.size() >= size;
    }

    bool Advance(TRun& run) {
        if (!Fetch(run, 6)) return false;
        const size_t length = Get16(run.buffer.data() + run.pos);
        run.value = Get32(run.buffer.data() + run.pos + 2);
        if (!Fetch(run, 6 + length)) Fail(9217);
        run.key.assign(reinterpret_cast<const char*>(run.buffer.data() + run.pos + 6), length);
        run.pos += 6 + length;
        return true;
    }

    void Start() {
        started_ = true;
        if (runs_.empty()) {
            SortMemory();
            return;
        }
        if (!items_.empty()) Spill();
        for (size_t i = 0; i < runs_.size(); ++i)
            if (Advance(runs_[i])) heap_.push(i);
    }

    struct TAfter {
        const std::vector<TRun>* runs;
        bool operator()(size_t a, size_t b) const {
            const TRun& x = (*runs)[a];
            const TRun& y = (*runs)[b];
            const int c = x.key.compare(y.key);
            return c != 0 ? c > 0 : x.value > y.value;
        }
    };

    TStoreEnv& env_;
    std::string tempPath_;
    std::string arena_;
    std::vector<TItem> items_;
    size_t memoryPos_ = 0;
    bool started_ = false;
    bool spilled_ = false;
    std::unique_ptr<TStoreFile> file_;
    uint64_t fileEnd_ = 0;
    std::vector<TRun> runs_;
    std::priority_queue<size_t, std::vector<size_t>, TAfter> heap_{TAfter{&runs_}};
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    return path.substr(FolderOf(path).size());
}

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
        KeepBackup();
        CutPartialRecord();
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
        if (size_ < CreatedSize(fieldDefs)) {
            Log("Table description incomplete (its creation stopped half-way); written from the "
                "table's field definitions");
            fields_ = StoredFieldsOf(fieldDefs);
            header_ = TDataHeader();
            header_.fieldCount = static_cast<uint16_t>(fields_.size());
            header_.recordLength = static_cast<uint16_t>(LayOutFields(fields_));
            rewriteDescriptions_ = true;
        } else {
            fields_ = ReadStoredFields(*data_, header_);
        }
        recordLength_ = header_.recordLength;
        dataStart_ = kDataHeaderSize + uint64_t{header_.fieldCount} * kFieldDescSize;
        const uint64_t body = size_ > dataStart_ ? size_ - dataStart_ : 0;
        physical_ =
            static_cast<uint32_t>(std::min<uint64_t>(body / recordLength_, kMaxIdentity - 1));
    }

    void KeepBackup() {
        const std::string backup = paths_.data + ".bak";
        const int error = env_.CopyFile(paths_.data, backup);
        if (error != 0) Fail(9218);
        Log("The data file as found is kept as " + FileNameOf(backup));
    }

    void CutPartialRecord() {
        const uint64_t body = size_ > dataStart_ ? size_ - dataStart_ : 0;
        if (body == uint64_t{physical_} * recordLength_) return;
        Log("Data file length is not a whole number of records; the partial record is cut off");
        if (data_->Truncate(dataStart_ + uint64_t{physical_} * recordLength_) != 0) Fail(9218);
    }

    void SyncData() {
        if (data_->Sync() != 0) Fail(9218);
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
        if (data_->WriteAt(0, bytes.data(), bytes.size()) != 0) Fail(9218);
    }

    void MarkDirty() {
        ++header_.changeCounter;
        if (rewriteDescriptions_) {
            std::vector<uint8_t> descs(fields_.size() * kFieldDescSize);
            for (size_t i = 0; i < fields_.size(); ++i)
                WriteFieldDesc(descs.data() + i * kFieldDescSize, static_cast<int>(i + 1),
                               fields_[i]);
            if (data_->WriteAt(kDataHeaderSize, descs.data(), descs.size()) != 0) Fail(9218);
        }
        WriteHeader();
        SyncData();
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
        TKeySorter identities(env_, paths_.index + ".sort");
        std::string identityKey(4, '\0');
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
            Put32(reinterpret_cast<uint8_t*>(identityKey.data()),
                  static_cast<uint32_t>(RecordIdentity(record)));
            identities.Add(identityKey, n);
            live_[n] = true;
            ++liveCount_;
            if (changed) Log("Record " + std::to_string(n) + " corrected");
            return changed;
        });
        // In identity order: the first of equal identities keeps it.
        std::vector<uint32_t> needIdentity;
        int32_t maxIdentity = 0;
        std::string key, previous;
        uint32_t n = 0;
        while (identities.Next(key, n)) {
            const auto identity =
                static_cast<int32_t>(Get32(reinterpret_cast<const uint8_t*>(key.data())));
            if (identity <= 0 || key == previous)
                needIdentity.push_back(n);
            else
                maxIdentity = std::max(maxIdentity, identity);
            previous = key;
        }
        std::sort(needIdentity.begin(), needIdentity.end());
        if (!rewriteDescriptions_) maxIdentity = std::max(maxIdentity, header_.lastIdentity);
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

    // The live records' keys of index `i`, packed as the tree keeps them
    // (a fraction of their length, in the same order), sorted by key, then
    // physical number.
    std::unique_ptr<TKeySorter> SortedKeys(size_t i) {
        auto sorter = std::make_unique<TKeySorter>(env_, paths_.index + ".sort");
        const TIndexDesc& index = index_.indexes[i];
        ForEachRecord([&](uint32_t n, uint8_t* record) {
            if (live_[n]) sorter->Add(PackedKeyOf(MakeKey(fields_, index, record)), n);
            return false;
        });
        return sorter;
    }

    void DropDuplicates() {
        for (size_t i = 0; i < index_.indexes.size(); ++i) {
            if (!index_.indexes[i].unique || index_.indexes[i].fields.empty()) continue;
            const auto keys = SortedKeys(i);
            std::string key, previous;
            uint32_t n = 0;
            for (bool first = true; keys->Next(key, n); first = false, previous.swap(key)) {
                if (first || key != previous) continue;
                // The earlier record stays.
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
                const auto keys = SortedKeys(i);
                std::string previous;
                TIndexTree(cache, index_, static_cast<int>(i))
                    .BulkLoad([&](std::string& key, uint32_t& value) {
                        if (!keys->Next(key, value)) return false;
                        // Equal keys can only come from a unique index without
                        // fields (none) or damage the drop above missed.
                        if (key == previous) Fail(8965);
                        previous = key;
                        return true;
                    });
            }
            cache.Flush();
        }
        header_.changeCounter += 1;
        index_.syncCounter = header_.changeCounter;
        ++index_.changeCounter;
        uint8_t page[kPageSize];
        WriteIndexHeader(page, index_);
        if (file->WriteAt(0, page, kPageSize) != 0 || file->Truncate(index_.nextPageOffset) != 0 ||
            file->Sync() != 0)
            Fail(9218);
        file.reset();
        if (env_.Rename(temp, paths_.index) != 0 || env_.SyncFolder(FolderOf(paths_.index)) != 0)
            Fail(9218);
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
        SyncData();     // the records and their free chain before the header
        WriteHeader();  // its counter equals the new index file's
        SyncData();
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

uint64_t CreatedSize(const TFieldDefs& fieldDefs) {
    return kDataHeaderSize + uint64_t{fieldDefs.size()} * kFieldDescSize;
}

void RepairTableFiles(TStoreEnv& env, const TTablePaths& paths, const TFieldDefs& fieldDefs,
                      const TIndexDefs& indexDefs, const TLog& log,
                      const std::function<void(int)>& progress) {
    TRepair(env, paths, log, progress).Run(fieldDefs, indexDefs);
}

}  // namespace corvane::store
