#include "tablestore/IndexTree.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace corvane::store {

namespace {

constexpr int kEntriesOffset = 24;
constexpr uint8_t kLeaf = 1;
constexpr uint8_t kInner = 2;
constexpr uint8_t kFree = 3;

uint64_t PageChecksum(const uint8_t* data) {
    return Checksum(data, 16) ^ (Checksum(data + 24, kPageSize - 24) * 0x9E3779B97F4A7C15ull);
}

int Count(const TPage& page) {
    return Get16(page.data + 2);
}
void SetCount(TPage& page, int count) {
    Put16(page.data + 2, static_cast<uint16_t>(count));
}
uint32_t RightOf(const TPage& page) {
    return Get32(page.data + 4);
}
uint32_t LeftOf(const TPage& page) {
    return Get32(page.data + 8);
}

}  // namespace

// ------------------------------------------------------------ page cache

namespace {
std::atomic<size_t> gCachedPages{0};  // pages held by every cache of the process
std::atomic<uint64_t> gUseStamp{0};   // orders page uses across the caches
std::mutex gCachesMutex;              // guards gCaches
std::vector<TPageCache*> gCaches;     // every cache of the process
constexpr size_t kMinimumPages = 64;  // a cache never shrinks below this
}  // namespace

TPageCache::TPageCache(TStoreFile& file, size_t limitBytes) : file_(file) {
    {
        std::lock_guard<std::mutex> lock(gCachesMutex);
        gCaches.push_back(this);
    }
    SetLimit(limitBytes);
}

TPageCache::~TPageCache() {
    std::lock_guard<std::mutex> lock(gCachesMutex);
    gCaches.erase(std::find(gCaches.begin(), gCaches.end(), this));
    gCachedPages -= map_.size();
}

void TPageCache::SetLimit(size_t bytes) {
    limitPages_ = std::max<size_t>(bytes / kPageSize, kMinimumPages);
    EvictIfNeeded();
}

TPageRef TPageCache::Read(uint32_t no) {
    if (last_ && last_->no == no) return last_;
    auto found = map_.find(no);
    if (found != map_.end()) {
        Touch(no);
        last_ = found->second.page;
        return last_;
    }
    auto page = std::make_shared<TPage>();
    page->no = no;
    size_t done = 0;
    if (file_.ReadAt(static_cast<uint64_t>(no) * kPageSize, page->data, kPageSize, done) != 0)
        Fail(9217);
    if (done != static_cast<size_t>(kPageSize) ||
        Get64(page->data + 16) != PageChecksum(page->data))
        Fail(8965);
    Insert(page);
    last_ = page;
    return page;
}

TPageRef TPageCache::Fresh(uint32_t no) {
    auto found = map_.find(no);
    TPageRef page;
    if (found != map_.end()) {
        page = found->second.page;
        Touch(no);
    } else {
        page = std::make_shared<TPage>();
        page->no = no;
        Insert(page);
    }
    std::memset(page->data, 0, kPageSize);
    page->dirty = true;
    return page;
}

void TPageCache::Insert(const TPageRef& page) {
    lru_.push_front(page->no);
    map_[page->no] = TSlot{page, lru_.begin(), ++gUseStamp};
    ++gCachedPages;
    EvictIfNeeded();
}

void TPageCache::Touch(uint32_t no) {
    auto& slot = map_[no];
    slot.used = ++gUseStamp;
    lru_.splice(lru_.begin(), lru_, slot.lruPos);
}

bool TPageCache::OldestEvictable(uint64_t& used) const {
    if (map_.size() <= kMinimumPages) return false;
    for (auto it = lru_.rbegin(); it != lru_.rend(); ++it) {
        const TSlot& slot = map_.find(*it)->second;
        // Held by an operation (last_ alone does not count).
        if (slot.page.use_count() > (slot.page == last_ ? 2 : 1)) continue;
        used = slot.used;
        return true;
    }
    return false;
}

bool TPageCache::EvictOldest() {
    for (auto it = lru_.end(); it != lru_.begin();) {
        --it;
        auto found = map_.find(*it);
        if (found->second.page == last_) last_.reset();
        if (found->second.page.use_count() > 1) continue;  // held by an operation
        if (found->second.page->dirty) WritePage(*found->second.page);
        map_.erase(found);
        --gCachedPages;
        lru_.erase(it);
        return true;
    }
    return false;
}

void TPageCache::EvictIfNeeded() {
    while (map_.size() > limitPages_ && EvictOldest()) {
    }
    constexpr size_t kProcessPages = kProcessCacheLimit / kPageSize;
    if (gCachedPages <= kProcessPages) return;
    std::lock_guard<std::mutex> lock(gCachesMutex);
    while (gCachedPages > kProcessPages) {
        TPageCache* victim = nullptr;
        uint64_t oldest = UINT64_MAX, used = 0;
        for (TPageCache* cache : gCaches)
            if (cache->OldestEvictable(used) && used < oldest) {
                oldest = used;
                victim = cache;
            }
        if (victim == nullptr || !victim->EvictOldest()) return;
    }
}

void TPageCache::WritePage(TPage& page) {
    Put64(page.data + 16, PageChecksum(page.data));
    if (file_.WriteAt(static_cast<uint64_t>(page.no) * kPageSize, page.data, kPageSize) != 0)
        Fail(9218);
    page.dirty = false;
}

void TPageCache::Flush() {
    std::vector<TPage*> dirty;
    for (auto& [no, slot] : map_)
        if (slot.page->dirty) dirty.push_back(slot.page.get());
    std::sort(dirty.begin(), dirty.end(), [](TPage* a, TPage* b) { return a->no < b->no; });
    for (TPage* page : dirty) WritePage(*page);
}

void TPageCache::Drop() {
    last_.reset();
    gCachedPages -= map_.size();
    map_.clear();
    lru_.clear();
}

void VerifyIndexPages(TStoreFile& file, uint32_t pageCount) {
    constexpr uint32_t kChunkPages = 256;
    std::vector<uint8_t> chunk(size_t{kChunkPages} * kPageSize);
    for (uint32_t first = 1; first < pageCount; first += kChunkPages) {
        const uint32_t count = std::min(kChunkPages, pageCount - first);
        size_t done = 0;
        if (file.ReadAt(uint64_t{first} * kPageSize, chunk.data(), size_t{count} * kPageSize,
                        done) != 0)
            Fail(9217);
        if (done != size_t{count} * kPageSize) Fail(8965);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* page = chunk.data() + size_t{i} * kPageSize;
            if (Get64(page + 16) != PageChecksum(page)) Fail(8965);
        }
    }
}

// ------------------------------------------------------------------ tree

TIndexTree::TIndexTree(TPageCache& cache, TIndexHeader& header, int index)
    : cache_(cache), header_(header), index_(index), keyLength_(Desc().keyLength) {}

const uint8_t* TIndexTree::Key(const TPage& page, int i) const {
    return page.data + kEntriesOffset + i * EntrySize();
}

uint32_t TIndexTree::Value(const TPage& page, int i) const {
    return Get32(Key(page, i) + keyLength_);
}

TPageRef TIndexTree::ReadNode(uint32_t no, int level) {
    if (no == 0 || no >= header_.nextPageOffset / kPageSize) Fail(8965);
    TPageRef page = cache_.Read(no);
    const uint8_t kind = level == 0 ? kLeaf : kInner;
    const int count = Count(*page);
    if (page->data[0] != kind || page->data[1] != index_ || Get16(page->data + 12) != level ||
        count < 1 || count > Capacity())
        Fail(8965);
    return page;
}

TPageRef TIndexTree::Allocate(int level, uint8_t kind) {
    uint32_t no = header_.freePage;
    if (no != 0) {
        TPageRef page = cache_.Read(no);
        if (page->data[0] != kFree) Fail(8965);
        const uint32_t next = RightOf(*page);
        if (next >= header_.nextPageOffset / kPageSize || next == no) Fail(8965);
        header_.freePage = next;
    } else {
        if (static_cast<uint64_t>(header_.nextPageOffset) + kPageSize > kMaxPageOffset) Fail(9479);
        no = header_.nextPageOffset / kPageSize;
        header_.nextPageOffset += kPageSize;
    }
    TPageRef page = cache_.Fresh(no);
    page->data[0] = kind;
    page->data[1] = static_cast<uint8_t>(index_);
    Put16(page->data + 12, static_cast<uint16_t>(level));
    return page;
}

void TIndexTree::Free(const TPageRef& page) {
    std::memset(page->data, 0, kPageSize);
    page->data[0] = kFree;
    Put32(page->data + 4, header_.freePage);
    page->dirty = true;
    header_.freePage = page->no;
}

int TIndexTree::LowerIndex(const TPage& page, const std::string& key) const {
    int lo = 0, hi = Count(page);
    const auto* k = reinterpret_cast<const uint8_t*>(key.data());
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (std::memcmp(Key(page, mid), k, static_cast<size_t>(keyLength_)) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TIndexTree::ChildIndex(const TPage& page, const std::string& key) const {
    // The last entry whose key is <= key; entry 0 stands for minus infinity.
    int lo = 1, hi = Count(page);
    const auto* k = reinterpret_cast<const uint8_t*>(key.data());
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (std::memcmp(Key(page, mid), k, static_cast<size_t>(keyLength_)) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo - 1;
}

TPageRef TIndexTree::Descend(const std::string& key, TPath* path) {
    if (key.size() != static_cast<size_t>(keyLength_)) Fail(8965);
    int level = Desc().height - 1;
    TPageRef node = ReadNode(Desc().root, level);
    while (level > 0) {
        const int child = ChildIndex(*node, key);
        if (path) path->emplace_back(node, child);
        node = ReadNode(Value(*node, child), --level);
    }
    return node;
}

TTreePos TIndexTree::LowerBound(const std::string& key) {
    if (Desc().root == 0) return {};
    TPageRef leaf = Descend(key, nullptr);
    TTreePos pos{leaf->no, LowerIndex(*leaf, key)};
    if (pos.slot < Count(*leaf)) return pos;
    pos.slot = Count(*leaf) - 1;
    return Next(pos) ? pos : TTreePos{};
}

bool TIndexTree::Contains(const std::string& key) {
    TTreePos pos = LowerBound(key);
    return pos.Valid() && KeyAt(pos) == key;
}

TTreePos TIndexTree::First() {
    if (Desc().root == 0) return {};
    int level = Desc().height - 1;
    TPageRef node = ReadNode(Desc().root, level);
    while (level > 0) node = ReadNode(Value(*node, 0), --level);
    return {node->no, 0};
}

TTreePos TIndexTree::Last() {
    if (Desc().root == 0) return {};
    int level = Desc().height - 1;
    TPageRef node = ReadNode(Desc().root, level);
    while (level > 0) node = ReadNode(Value(*node, Count(*node) - 1), --level);
    return {node->no, Count(*node) - 1};
}

bool TIndexTree::Next(TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot + 1 < Count(*leaf)) {
        ++pos.slot;
        return true;
    }
    const uint32_t right = RightOf(*leaf);
    if (right == 0) return false;
    TPageRef next = ReadNode(right, 0);
    // Keys strictly ascend along the chain, so a damaged link cannot loop.
    const bool ordered = std::memcmp(Key(*leaf, Count(*leaf) - 1), Key(*next, 0),
                                     static_cast<size_t>(keyLength_)) < 0;
    if (LeftOf(*next) != leaf->no || !ordered) Fail(8965);
    pos = {right, 0};
    return true;
}

bool TIndexTree::Prev(TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot > 0) {
        pos.slot = std::min(pos.slot, Count(*leaf)) - 1;
        return true;
    }
    const uint32_t left = LeftOf(*leaf);
    if (left == 0) return false;
    TPageRef prev = ReadNode(left, 0);
    const bool ordered = std::memcmp(Key(*prev, Count(*prev) - 1), Key(*leaf, 0),
                                     static_cast<size_t>(keyLength_)) < 0;
    if (RightOf(*prev) != leaf->no || !ordered) Fail(8965);
    pos = {left, Count(*prev) - 1};
    return true;
}

std::string TIndexTree::KeyAt(const TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot < 0 || pos.slot >= Count(*leaf)) Fail(8965);
    return std::string(reinterpret_cast<const char*>(Key(*leaf, pos.slot)),
                       static_cast<size_t>(keyLength_));
}

void TIndexTree::EntryAt(const TTreePos& pos, std::string& key, uint32_t& value) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot < 0 || pos.slot >= Count(*leaf)) Fail(8965);
    key.assign(reinterpret_cast<const char*>(Key(*leaf, pos.slot)),
               static_cast<size_t>(keyLength_));
    value = Value(*leaf, pos.slot);
}

uint32_t TIndexTree::ValueAt(const TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot < 0 || pos.slot >= Count(*leaf)) Fail(8965);
    return Value(*leaf, pos.slot);
}

bool TIndexTree::Insert(const std::string& key, uint32_t value) {
    if (key.size() != static_cast<size_t>(keyLength_)) Fail(8965);
    if (Desc().root == 0) {
        TPageRef leaf = Allocate(0, kLeaf);
        Desc().root = leaf->no;
        Desc().height = 1;
        TPath none;
        InsertAt(none, leaf, 0, key, value);
        return true;
    }
    TPath path;
    TPageRef leaf = Descend(key, &path);
    const int pos = LowerIndex(*leaf, key);
    if (pos < Count(*leaf) &&
        std::memcmp(Key(*leaf, pos), key.data(), static_cast<size_t>(keyLength_)) == 0)
        return false;
    InsertAt(path, leaf, pos, key, value);
    return true;
}

// Puts an entry into `node` at `pos`; a full node splits in two and the new
// right half is entered in the parent (a new root when `node` was the root).
void TIndexTree::InsertAt(TPath& path, TPageRef node, int pos, const std::string& key,
                          uint32_t value) {
    const int size = EntrySize();
    const int count = Count(*node);
    node->dirty = true;
    if (count < Capacity()) {
        uint8_t* at = node->data + kEntriesOffset + pos * size;
        std::memmove(at + size, at, static_cast<size_t>((count - pos) * size));
        std::memcpy(at, key.data(), static_cast<size_t>(keyLength_));
        Put32(at + keyLength_, value);
        SetCount(*node, count + 1);
        return;
    }
    // Split: gather count + 1 entries, keep the lower half here.
    std::vector<uint8_t> all(static_cast<size_t>((count + 1) * size));
    uint8_t* base = node->data + kEntriesOffset;
    std::memcpy(all.data(), base, static_cast<size_t>(pos * size));
    std::memcpy(all.data() + pos * size, key.data(), static_cast<size_t>(keyLength_));
    Put32(all.data() + pos * size + keyLength_, value);
    std::memcpy(all.data() + (pos + 1) * size, base + pos * size,
                static_cast<size_t>((count - pos) * size));
    const int level = Get16(node->data + 12);
    const int leftCount = (count + 1) / 2;
    const int rightCount = count + 1 - leftCount;
    TPageRef right = Allocate(level, node->data[0]);
    std::memcpy(base, all.data(), static_cast<size_t>(leftCount * size));
    std::memset(base + leftCount * size, 0,
                static_cast<size_t>(kPageSize - kEntriesOffset - leftCount * size));
    SetCount(*node, leftCount);
    std::memcpy(right->data + kEntriesOffset, all.data() + leftCount * size,
                static_cast<size_t>(rightCount * size));
    SetCount(*right, rightCount);
    if (level == 0) {
        const uint32_t oldRight = RightOf(*node);
        Put32(right->data + 4, oldRight);
        Put32(right->data + 8, node->no);
        Put32(node->data + 4, right->no);
        if (oldRight != 0) {
            TPageRef after = ReadNode(oldRight, 0);
            Put32(after->data + 8, right->no);
            after->dirty = true;
        }
    }
    const std::string separator(reinterpret_cast<const char*>(Key(*right, 0)),
                                static_cast<size_t>(keyLength_));
    if (path.empty()) {
        TPageRef root = Allocate(level + 1, kInner);
        const std::string first(reinterpret_cast<const char*>(Key(*node, 0)),
                                static_cast<size_t>(keyLength_));
        TPath none;
        InsertAt(none, root, 0, first, node->no);
        InsertAt(none, root, 1, separator, right->no);
        Desc().root = root->no;
        Desc().height = static_cast<uint16_t>(Desc().height + 1);
        return;
    }
    auto [parent, child] = path.back();
    path.pop_back();
    InsertAt(path, parent, child + 1, separator, right->no);
}

bool TIndexTree::Erase(const std::string& key) {
    if (Desc().root == 0) return false;
    TPath path;
    TPageRef leaf = Descend(key, &path);
    const int pos = LowerIndex(*leaf, key);
    const int count = Count(*leaf);
    const int size = EntrySize();
    if (pos >= count ||
        std::memcmp(Key(*leaf, pos), key.data(), static_cast<size_t>(keyLength_)) != 0)
        return false;
    uint8_t* at = leaf->data + kEntriesOffset + pos * size;
    std::memmove(at, at + size, static_cast<size_t>((count - pos - 1) * size));
    SetCount(*leaf, count - 1);
    leaf->dirty = true;
    if (count - 1 > 0) return true;
    // An empty leaf leaves the chain and its parent.
    const uint32_t left = LeftOf(*leaf), right = RightOf(*leaf);
    if (left != 0) {
        TPageRef page = ReadNode(left, 0);
        Put32(page->data + 4, right);
        page->dirty = true;
    }
    if (right != 0) {
        TPageRef page = ReadNode(right, 0);
        Put32(page->data + 8, left);
        page->dirty = true;
    }
    Free(leaf);
    RemoveFromParents(path);
    return true;
}

void TIndexTree::RemoveFromParents(TPath& path) {
    while (!path.empty()) {
        auto [node, child] = path.back();
        path.pop_back();
        const int count = Count(*node);
        const int size = EntrySize();
        uint8_t* at = node->data + kEntriesOffset + child * size;
        std::memmove(at, at + size, static_cast<size_t>((count - child - 1) * size));
        SetCount(*node, count - 1);
        node->dirty = true;
        if (count - 1 > 0) {
            CollapseRoot();
            return;
        }
        Free(node);
    }
    Desc().root = 0;  // the root itself emptied
    Desc().height = 0;
}

void TIndexTree::CollapseRoot() {
    while (Desc().height > 1) {
        TPageRef root = ReadNode(Desc().root, Desc().height - 1);
        if (Count(*root) != 1) return;
        Desc().root = Value(*root, 0);
        Desc().height = static_cast<uint16_t>(Desc().height - 1);
        Free(root);
    }
}

void TIndexTree::BulkLoad(const std::vector<std::pair<std::string, uint32_t>>& entries) {
    if (entries.empty()) return;
    const int fill = std::max(1, Capacity() * 9 / 10);
    std::vector<std::pair<std::string, uint32_t>> level;
    TPageRef previous;
    for (size_t i = 0; i < entries.size(); i += static_cast<size_t>(fill)) {
        TPageRef leaf = Allocate(0, kLeaf);
        const size_t end = std::min(entries.size(), i + static_cast<size_t>(fill));
        for (size_t j = i; j < end; ++j) {
            uint8_t* at = leaf->data + kEntriesOffset + (j - i) * static_cast<size_t>(EntrySize());
            std::memcpy(at, entries[j].first.data(), static_cast<size_t>(keyLength_));
            Put32(at + keyLength_, entries[j].second);
        }
        SetCount(*leaf, static_cast<int>(end - i));
        if (previous) {
            Put32(previous->data + 4, leaf->no);
            Put32(leaf->data + 8, previous->no);
        }
        previous = leaf;
        level.emplace_back(entries[i].first, leaf->no);
    }
    int height = 1;
    while (level.size() > 1) {
        std::vector<std::pair<std::string, uint32_t>> upper;
        for (size_t i = 0; i < level.size(); i += static_cast<size_t>(fill)) {
            TPageRef node = Allocate(height, kInner);
            const size_t end = std::min(level.size(), i + static_cast<size_t>(fill));
            for (size_t j = i; j < end; ++j) {
                uint8_t* at =
                    node->data + kEntriesOffset + (j - i) * static_cast<size_t>(EntrySize());
                std::memcpy(at, level[j].first.data(), static_cast<size_t>(keyLength_));
                Put32(at + keyLength_, level[j].second);
            }
            SetCount(*node, static_cast<int>(end - i));
            upper.emplace_back(level[i].first, node->no);
        }
        level = std::move(upper);
        ++height;
    }
    Desc().root = level[0].second;
    Desc().height = static_cast<uint16_t>(height);
}

}  // namespace corvane::store
