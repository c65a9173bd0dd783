// Index pages: a bounded page cache over the index file and one balanced tree
// (B+tree) per index. Private to the store.
//
// Page layout (4096 bytes):
//   0  u8  kind: 1 leaf, 2 inner, 3 free
//   1  u8  index slot the page belongs to (0 primary, 1..30 secondaries)
//   2  u16 entry count
//   4  u32 leaf: right sibling page (0 none); free: next free page
//   8  u32 leaf: left sibling page (0 none)
//   12 u16 level: 0 for leaves, parent = child + 1; the root has height - 1
//   14 u16 start of the entry area (4096 when empty)
//   16 u64 checksum of bytes [0,16) and [24,4096)
//   24 u16 offset of each entry, in key order; entries fill the page from
//      its end: u16 n, n bytes of packed key, u32 value.
//      leaf value: physical record number; inner value: child page number.
// A packed key is the key with every run of zero bytes (the padding of text
// fields, most of a key) written as 0, 255 - run length (runs of up to 255):
// packed keys compare as unsigned bytes in the order of the keys, so pages
// are searched without unpacking.
// Invariants: every key of an index is distinct (non-unique indexes end in
// the record identity); keys in a page ascend as unsigned bytes; in an inner
// page entry i's child holds keys >= key i and < key i+1 (key 0 acts as
// minus infinity); every node holds at least one entry; all leaves are at
// level 0 and linked left to right in key order. Any page read that breaks
// an invariant raises 8965, so damage never loops or overruns.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tablestore/Layout.h"
#include "tablestore/StoreEnv.h"

namespace corvane::store {

struct TPage {
    uint32_t no = 0;
    bool dirty = false;
    uint8_t data[kPageSize];
};
using TPageRef = std::shared_ptr<TPage>;

// Pages of one index file, at most `limit` bytes of them in memory, and all
// caches of the process together at most kProcessCacheLimit; the least
// recently used page that no operation holds is written back (when changed)
// and dropped first, across all caches when the process total is over: a
// table that is being filled gets the pages that another one no longer uses.
// Like the tables, the caches are used by one thread at a time.
constexpr size_t kProcessCacheLimit = 60u << 20;

// How a read page is likely to be used: again (a descent's pages), or once
// in passing (the leaves a walk steps through), which a cache keeps as the
// first to drop so that a long walk does not push out every other page.
enum class TPageUse { Again, Passing };

class TPageCache {
  public:
    TPageCache(TStoreFile& file, size_t limitBytes);
    ~TPageCache();
    // Checksum verified: 8965; read failure: 9217. A page in the cache read
    // in passing keeps its place.
    TPageRef Read(uint32_t no, TPageUse use = TPageUse::Again);
    TPageRef Fresh(uint32_t no);  // a zeroed page, marked changed
    void Flush();                 // writes every changed page: 9218
    void Drop();                  // forgets every page without writing
    void SetLimit(size_t bytes);
    size_t CachedPages() const { return map_.size(); }

  private:
    TPageRef NewPage(uint32_t no);  // a dropped page again, or a new one
    void Insert(const TPageRef& page, TPageUse use);
    void EvictIfNeeded();
    // Use stamp of the least recently used page no operation holds; none
    // when every page is held or the cache is at its minimum.
    bool OldestEvictable(uint64_t& used) const;
    bool EvictOldest();
    void WritePage(TPage& page);

    struct TSlot {
        TPageRef page;
        std::list<uint32_t>::iterator lruPos;
        uint64_t used;  // process-wide use stamp
    };
    void Touch(TSlot& slot);
    TSlot* Find(uint32_t no);  // nullptr when the page is not cached
    TStoreFile& file_;
    size_t limitPages_;
    std::list<uint32_t> lru_;  // front: most recently used
    std::unordered_map<uint32_t, TSlot> map_;
    TPageRef last_;                // the page of the latest Read, found without a lookup
    std::vector<TPageRef> spare_;  // dropped pages, their memory reused
    // Page number modulo its size -> the slot last found there, checked by
    // its page number: most lookups without hashing.
    std::vector<TSlot*> direct_;
};

// Reads pages 1..pageCount-1 of an index file and checks their checksums
// (8965 on the first bad one) without keeping them: damage is found at open.
void VerifyIndexPages(TStoreFile& file, uint32_t pageCount);

// The packed form of a key (see above).
std::string PackedKeyOf(const std::string& key);

// A position in a tree: a leaf page and an entry in it.
struct TTreePos {
    uint32_t page = 0;
    int slot = 0;
    bool Valid() const { return page != 0; }
};

// One index's tree. Root and height live in `desc`; pages are allocated from
// the header's free chain or at its next page offset.
class TIndexTree {
  public:
    TIndexTree(TPageCache& cache, TIndexHeader& header, int index);

    TTreePos LowerBound(const std::string& key);  // first entry >= key
    TTreePos First();
    TTreePos Last();
    bool Next(TTreePos& pos);  // false (pos unchanged) at the end
    bool Prev(TTreePos& pos);
    std::string KeyAt(const TTreePos& pos);
    void EntryAt(const TTreePos& pos, std::string& key, uint32_t& value);
    uint32_t ValueAt(const TTreePos& pos);
    bool Contains(const std::string& key);
    // The value of the entry whose key is `key`; false when there is none.
    bool Find(const std::string& key, uint32_t& value);

    bool Insert(const std::string& key, uint32_t value);  // false when present
    bool Erase(const std::string& key);                   // false when absent
    // Builds the tree of an empty index from ascending distinct keys, which
    // `next` hands out packed (PackedKeyOf) one at a time (false at the end). Only one open page
    // per level is held, so memory does not grow with the number of keys.
    void BulkLoad(const std::function<bool(std::string& key, uint32_t& value)>& next);

  private:
    using TPath = std::vector<std::pair<TPageRef, int>>;
    using TEntries = std::vector<std::pair<std::string, uint32_t>>;  // packed key, value
    TIndexDesc& Desc() { return header_.indexes[static_cast<size_t>(index_)]; }
    TPageRef ReadNode(uint32_t no, int level, TPageUse use = TPageUse::Again);
    TPageRef Allocate(int level, uint8_t kind);
    void Free(const TPageRef& page);
    std::string Pack(const std::string& key) const;  // checks the key's length: 8965
    std::string Unpack(const TPage& page, int i) const;
    void Unpack(const TPage& page, int i, std::string& key) const;
    // Packed key of entry i: 8965 when it lies outside the page.
    const uint8_t* PackedKey(const TPage& page, int i, int& length) const;
    uint32_t Value(const TPage& page, int i) const;
    int Compare(const TPage& page, int i, const std::string& packed) const;
    // The last key of Left is below the first of Right.
    bool Ascending(const TPage& left, const TPage& right) const;
    int LowerIndex(const TPage& page, const std::string& packed) const;  // first >= key
    int ChildIndex(const TPage& page, const std::string& packed) const;
    TPageRef Descend(const std::string& packed, TPath* path);
    void InsertAt(TPath& path, TPageRef node, int pos, const std::string& packed, uint32_t value);
    void RemoveAt(TPage& page, int pos);
    // Rewrites the page's entries, which must fit.
    void Fill(TPage& page, const TEntries& entries, size_t begin, size_t end);
    TEntries EntriesOf(const TPage& page) const;
    void RemoveFromParents(TPath& path);
    void CollapseRoot();

    TPageCache& cache_;
    TIndexHeader& header_;
    int index_;
    int keyLength_;
};

}  // namespace corvane::store
