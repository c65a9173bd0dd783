// The open files of one table: data file, index file, their headers, the
// page cache and the record operations that keep records and indexes in
// step. Private to the store; failures are TStoreFault.
//
// Crash safety. Before the first change after an open (or a checkpoint) the
// data header is rewritten with its change counter raised and synced, so it
// no longer equals the index header's SyncCounter: the table is "dirty".
// Records are written through at once; index pages and both headers may stay
// in memory. A checkpoint (Close, EmptyTable, the end of a repair) writes every
// changed page and the data header, syncs both files, and only then writes and
// syncs the index header carrying the data header's counter: a clean index
// header on disk always vouches for data and pages that are on disk too. A
// process or machine that stops in between leaves the counters apart, the next
// open fails with 8965 and the repair rebuilds the indexes from the records.
//
// A table may name a vouching field (the signature table's date). Its flag
// byte is set on disk only after the rest of the record was synced, and
// cleared (and synced) before other bytes of the record change; a group of
// records shares these syncs. After a power cut a record that shows a value
// in that field is therefore whole; one whose write was cut shows null there
// (possibly with stray value bytes, which the repair clears) and is known to
// be unfinished. A process that dies loses no record, but a changed record
// may keep its earlier bytes with the field null.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tablestore/IndexTree.h"
#include "tablestore/Layout.h"
#include "tablestore/StoreEnv.h"

namespace corvane::store {

struct TTablePaths {
    std::string data;     // full path of the ".DAT" file
    std::string index;    // full path of the ".IDX" file
    std::string display;  // the table's file name for messages
};

// Errno of a failed open mapped to the store's code (11010, 11013, 11012, 11047).
int OpenErrorCode(int error);

// Reads and checks a data file's header and field descriptions (12035 for
// another format version, 8961 when they cannot be read; 9217).
std::vector<TStoredField> ReadStoredFields(TStoreFile& data, TDataHeader& header);

// Field definitions checked and laid out (10038, 10000, 9492, 9477).
std::vector<TStoredField> StoredFieldsOf(const TFieldDefs& defs);
// Index definitions checked against the fields (9487, 10022, 10023, 10026,
// 10027); the primary is put first. `noPrimary` tells whether one was given.
std::vector<TIndexDesc> IndexDescsOf(const std::vector<TStoredField>& fields,
                                     const TIndexDefs& defs, bool& noPrimary);

class TTableFiles {
  public:
    // Writes a new table (13060 when the data file exists).
    static void Create(TStoreEnv& env, const TTablePaths& paths,
                       const std::vector<TStoredField>& fields,
                       const std::vector<TIndexDesc>& indexes, bool noPrimary);
    // Opens and checks both files (the whole open error list).
    static std::unique_ptr<TTableFiles> Open(TStoreEnv& env, const TTablePaths& paths,
                                             bool exclusive, bool readOnly, size_t cacheLimit);
    ~TTableFiles();  // releases the files without writing

    void Close();  // checkpoint, then release
    void Checkpoint();
    // Index damage met while running: the table is left dirty for good, so the
    // next open fails and the start-up repairs it. Errors are ignored.
    void MarkForRepair();
    // Field `field` (0-based, -1 for none) becomes the vouching field.
    void SetVouchingField(int field) { vouchField_ = field; }

    const std::vector<TStoredField>& Fields() const { return fields_; }
    const TIndexHeader& IndexHeader() const { return index_; }
    int IndexCount() const { return static_cast<int>(index_.indexes.size()); }
    const TIndexDesc& Index(int i) const { return index_.indexes[static_cast<size_t>(i)]; }
    int RecordLength() const { return header_.recordLength; }
    uint32_t LiveRecords() const { return index_.liveRecords; }
    bool Exclusive() const { return exclusive_; }
    // Raised by every change of any tree, so cursor positions know to re-seek.
    uint64_t TreeVersion() const { return treeVersion_; }
    void SetCacheLimit(size_t bytes) { cache_->SetLimit(bytes); }

    TIndexTree Tree(int i) { return TIndexTree(*cache_, index_, i); }
    std::string KeyOf(int i, const uint8_t* record) const {
        return MakeKey(fields_, Index(i), record);
    }

    // A live record (8962 when it is not live, not canonical or out of range).
    void ReadRecord(uint32_t recNo, std::vector<uint8_t>& record);
    // The same, but false (instead of 8962) when the record is free or its
    // number lies outside the file.
    bool TryReadRecord(uint32_t recNo, std::vector<uint8_t>& record);
    // The unique index in which `record` repeats another record's key, or -1.
    int FindDuplicate(const uint8_t* record, uint32_t ignoreRecNo);
    // Stores a new record (identity, place) and enters its keys; returns its
    // physical number. The caller has checked FindDuplicate.
    uint32_t Insert(std::vector<uint8_t>& record);
    void Update(uint32_t recNo, const std::vector<uint8_t>& before, std::vector<uint8_t>& after);
    void Remove(uint32_t recNo, const std::vector<uint8_t>& record);
    void Empty();

  private:
    TTableFiles() = default;
    void BeginChange();
    void Sync(TStoreFile& file);
    void SyncData();
    enum class TPlace { Appended, Reused, Changed };
    // Writes a record of a table with a vouching field: a new one at once with
    // that field null, a changed one only as far as nulling the field's flag;
    // the whole record is held and is what reads see until the flush.
    void WriteRecord(uint32_t recNo, const std::vector<uint8_t>& record, TPlace place);
    void FlushVouched();
    // Writes every held record whole, its vouching flag given by `flagOf`,
    // neighbours in one write. `flagsOnDisk`: the rest of each record is on
    // disk already, so a record without neighbours needs its flag alone.
    template <class F>
    void WriteHeldRuns(F flagOf, bool flagsOnDisk);
    uint64_t VouchFlagOffset(uint32_t recNo) const;
    void WriteVouchFlag(uint32_t recNo, uint8_t flag);
    void WriteDataHeaderNow();
    void WriteIndexHeaderNow();
    void WriteRecordBytes(uint32_t recNo, const uint8_t* data, size_t size);
    uint64_t RecordOffset(uint32_t recNo) const;
    uint32_t PhysicalRecords() const { return header_.nextRecNo - 1; }

    std::unique_ptr<TStoreFile> data_;
    std::unique_ptr<TStoreFile> indexFile_;
    std::unique_ptr<TPageCache> cache_;
    TDataHeader header_;
    TIndexHeader index_;
    std::vector<TStoredField> fields_;
    uint64_t dataStart_ = 0;
    bool exclusive_ = false;
    bool readOnly_ = false;
    bool dirty_ = false;
    bool broken_ = false;  // a change failed half-way: never mark clean again
    uint64_t treeVersion_ = 0;
    int vouchField_ = -1;
    struct THeld {
        std::vector<uint8_t> record;
        bool written;  // on disk but for the vouching field's value
    };
    std::map<uint32_t, THeld> vouched_;                // record number -> held record
    std::chrono::steady_clock::time_point heldSince_;  // of the oldest held record
    std::set<uint32_t> freedSinceSync_;                // freed places whose null is not yet on disk
    std::vector<uint8_t> unvouched_;                   // bytes on their way to disk
};

// The size of a new data file with these fields, without records. A data
// file shorter than that is a creation that stopped half-way: it holds no
// record, and the repair writes its descriptions from the definitions.
uint64_t CreatedSize(const TFieldDefs& fieldDefs);

// Rebuilds a table's index file from its records (see TStoreTable::RepairTable).
// `indexDefs` stand in for damaged or missing stored index definitions. The
// data file's header and field descriptions must be readable (12035, 8961)
// unless the file is shorter than CreatedSize(fieldDefs): nothing is written
// otherwise. Before the first write the data file is copied to "<data>.bak".
void RepairTableFiles(TStoreEnv& env, const TTablePaths& paths, const TFieldDefs& fieldDefs,
                      const TIndexDefs& indexDefs,
                      const std::function<void(const std::string&)>& log,
                      const std::function<void(int)>& progress);

}  // namespace corvane::store
