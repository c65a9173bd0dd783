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
constexpr size_t kSparePages = 8;     // dropped pages kept for reuse
constexpr size_t kMaxDirectSlots = 1u << 16;
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
    size_t slots = 64;
    while (slots < limitPages_ * 2 && slots < kMaxDirectSlots) slots *= 2;
    direct_.assign(slots, nullptr);
}

TPageCache::TSlot* TPageCache::Find(uint32_t no) {
    TSlot*& direct = direct_[no & (direct_.size() - 1)];
    if (direct && direct->page->no == no) return direct;
    const auto found = map_.find(no);
    if (found == map_.end()) return nullptr;
    direct = &found->second;
    return direct;
}

TPageRef TPageCache::Read(uint32_t no, TPageUse use) {
    if (last_ && last_->no == no) return last_;
    if (TSlot* slot = Find(no)) {
        if (use == TPageUse::Again) Touch(*slot);
        last_ = slot->page;
        return last_;
    }
    TPageRef page = NewPage(no);
    size_t done = 0;
    if (file_.ReadAt(static_cast<uint64_t>(no) * kPageSize, page->data, kPageSize, done) != 0)
        Fail(9217);
    if (done != static_cast<size_t>(kPageSize) ||
        Get64(page->data + 16) != PageChecksum(page->data))
        Fail(8965);
    Insert(page, use);
    last_ = page;
    return page;
}

TPageRef TPageCache::Fresh(uint32_t no) {
    TPageRef page;
    if (TSlot* slot = Find(no)) {
        page = slot->page;
        Touch(*slot);
    } else {
        page = NewPage(no);
        Insert(page, TPageUse::Again);
    }
    std::memset(page->data, 0, kPageSize);
    page->dirty = true;
    return page;
}

TPageRef TPageCache::NewPage(uint32_t no) {
    TPageRef page;
    if (spare_.empty()) {
        page = std::make_shared<TPage>();
    } else {
        page = std::move(spare_.back());
        spare_.pop_back();
    }
    page->no = no;
    page->dirty = false;
    return page;
}

void TPageCache::Insert(const TPageRef& page, TPageUse use) {
    TSlot& slot = map_[page->no];
    if (use == TPageUse::Passing) {  // the first to go, in this cache and the process
        lru_.push_back(page->no);
        slot = TSlot{page, std::prev(lru_.end()), 0};
    } else {
        lru_.push_front(page->no);
        slot = TSlot{page, lru_.begin(), ++gUseStamp};
    }
    direct_[page->no & (direct_.size() - 1)] = &slot;
    ++gCachedPages;
    EvictIfNeeded();
}

void TPageCache::Touch(TSlot& slot) {
    // A page used lately keeps its place: moving it costs more than the
    // order would gain.
    if (slot.used != 0 && gUseStamp - slot.used < limitPages_ / 8) return;
    slot.used = ++gUseStamp;
    lru_.splice(lru_.begin(), lru_, slot.lruPos);
}

bool TPageCache::OldestEvictable(uint64_t& used) const {
    if (map_.size() <= kMinimumPages) return false;
    for (auto it = lru_.rbegin(); it != lru_.rend(); ++it) {
        const TSlot& slot = map_.find(*it)->second;
        // Held by an operation, or the page a walk stands on.
        if (slot.page.use_count() > 1 || slot.page == last_) continue;
        used = slot.used;
        return true;
    }
    return false;
}

bool TPageCache::EvictOldest() {
    for (auto it = lru_.end(); it != lru_.begin();) {
        --it;
        auto found = map_.find(*it);
        // Held by an operation, or the page a walk stands on (which a walk
        // reads in passing: the first to drop but for this).
        if (found->second.page.use_count() > 1 || found->second.page == last_) continue;
        if (found->second.page->dirty) WritePage(*found->second.page);
        // A full cache drops a page for every page it reads or makes.
        TSlot*& direct = direct_[found->first & (direct_.size() - 1)];
        if (direct == &found->second) direct = nullptr;
        if (spare_.size() < kSparePages) spare_.push_back(std::move(found->second.page));
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
    CheckWrite(file_.WriteAt(static_cast<uint64_t>(page.no) * kPageSize, page.data, kPageSize));
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
    std::fill(direct_.begin(), direct_.end(), nullptr);
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
            // A tree page's entry area lies after its offsets (pages of the
            // earlier fixed-width form have no area start and fail here).
            const bool treePage = page[0] == kLeaf || page[0] == kInner;
            if (treePage && (Get16(page + 14) > kPageSize ||
                             Get16(page + 14) < kEntriesOffset + 2 * Get16(page + 2)))
                Fail(8965);
        }
    }
}

// ------------------------------------------------------------------ tree

namespace {

constexpr int kDataStartOffset = 14;
constexpr int kEntryOverhead = 2 + 2 + 4;  // offset, length, value

int DataStart(const TPage& page) {
    return Get16(page.data + kDataStartOffset);
}
void SetDataStart(TPage& page, int start) {
    Put16(page.data + kDataStartOffset, static_cast<uint16_t>(start));
}
int FreeSpace(const TPage& page) {
    return DataStart(page) - kEntriesOffset - 2 * Count(page);
}

void PackKey(const uint8_t* key, size_t length, std::string& out) {
    out.resize(2 * length);  // a lone zero byte packs to two
    auto* packed = reinterpret_cast<uint8_t*>(out.data());
    size_t size = 0;
    for (size_t i = 0; i < length;) {
        const auto* zero = static_cast<const uint8_t*>(std::memchr(key + i, 0, length - i));
        const size_t text = (zero ? static_cast<size_t>(zero - key) : length) - i;
        std::memcpy(packed + size, key + i, text);
        size += text;
        i += text;
        for (size_t run = LeadingZeros(key + i, length - i); run > 0;) {
            const size_t piece = std::min<size_t>(run, 255);
            packed[size++] = 0;
            packed[size++] = static_cast<uint8_t>(255 - piece);
            run -= piece;
            i += piece;
        }
    }
    out.resize(size);
}

int ComparePacked(const uint8_t* a, int aLength, const uint8_t* b, int bLength) {
    const int common = std::memcmp(a, b, static_cast<size_t>(std::min(aLength, bLength)));
    if (common != 0) return common;
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

int EntryBytes(const std::string& packed) {
    return static_cast<int>(packed.size()) + kEntryOverhead;
}

// Writes the entry just below the page's entry area, which it then starts;
// returns its offset. The caller makes sure it fits.
int PutEntry(TPage& page, const uint8_t* packed, int length, uint32_t value) {
    const int start = DataStart(page) - (length + kEntryOverhead - 2);
    Put16(page.data + start, static_cast<uint16_t>(length));
    std::memcpy(page.data + start + 2, packed, static_cast<size_t>(length));
    Put32(page.data + start + 2 + length, value);
    SetDataStart(page, start);
    return start;
}

int PutEntry(TPage& page, const std::string& packed, uint32_t value) {
    return PutEntry(page, reinterpret_cast<const uint8_t*>(packed.data()),
                    static_cast<int>(packed.size()), value);
}

}  // namespace

std::string PackedKeyOf(const std::string& key) {
    std::string packed;
    PackKey(reinterpret_cast<const uint8_t*>(key.data()), key.size(), packed);
    return packed;
}

TIndexTree::TIndexTree(TPageCache& cache, TIndexHeader& header, int index)
    : cache_(cache), header_(header), index_(index), keyLength_(Desc().keyLength) {}

std::string TIndexTree::Pack(const std::string& key) const {
    if (key.size() != static_cast<size_t>(keyLength_)) Fail(8965);
    return PackedKeyOf(key);
}

const uint8_t* TIndexTree::PackedKey(const TPage& page, int i, int& length) const {
    const int offset = Get16(page.data + kEntriesOffset + 2 * i);
    if (offset < DataStart(page) || offset + 2 > kPageSize) Fail(8965);
    length = Get16(page.data + offset);
    if (offset + 2 + length + 4 > kPageSize) Fail(8965);
    return page.data + offset + 2;
}

uint32_t TIndexTree::Value(const TPage& page, int i) const {
    int length = 0;
    return Get32(PackedKey(page, i, length) + length);
}

std::string TIndexTree::Unpack(const TPage& page, int i) const {
    std::string key;
    Unpack(page, i, key);
    return key;
}

void TIndexTree::Unpack(const TPage& page, int i, std::string& key) const {
    int length = 0;
    const uint8_t* packed = PackedKey(page, i, length);
    const auto keyLength = static_cast<size_t>(keyLength_);
    key.assign(keyLength, '\0');
    auto* out = reinterpret_cast<uint8_t*>(key.data());
    size_t size = 0;
    for (int k = 0; k < length;) {
        const auto* zero = static_cast<const uint8_t*>(
            std::memchr(packed + k, 0, static_cast<size_t>(length - k)));
        const int text = (zero ? static_cast<int>(zero - packed) : length) - k;
        if (size + static_cast<size_t>(text) > keyLength) Fail(8965);
        std::memcpy(out + size, packed + k, static_cast<size_t>(text));
        size += static_cast<size_t>(text);
        k += text;
        if (k == length) break;
        if (k + 1 == length) Fail(8965);
        size += static_cast<size_t>(255 - packed[k + 1]);  // already zero
        if (size > keyLength) Fail(8965);
        k += 2;
    }
    if (size != keyLength) Fail(8965);
}

int TIndexTree::Compare(const TPage& page, int i, const std::string& packed) const {
    int length = 0;
    const uint8_t* key = PackedKey(page, i, length);
    return ComparePacked(key, length, reinterpret_cast<const uint8_t*>(packed.data()),
                         static_cast<int>(packed.size()));
}

TPageRef TIndexTree::ReadNode(uint32_t no, int level, TPageUse use) {
    if (no == 0 || no >= header_.nextPageOffset / kPageSize) Fail(8965);
    TPageRef page = cache_.Read(no, use);
    const uint8_t kind = level == 0 ? kLeaf : kInner;
    const int count = Count(*page);
    if (page->data[0] != kind || page->data[1] != index_ || Get16(page->data + 12) != level ||
        count < 1 || DataStart(*page) > kPageSize || FreeSpace(*page) < 0)
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
    SetDataStart(*page, kPageSize);
    return page;
}

void TIndexTree::Free(const TPageRef& page) {
    std::memset(page->data, 0, kPageSize);
    page->data[0] = kFree;
    Put32(page->data + 4, header_.freePage);
    page->dirty = true;
    header_.freePage = page->no;
}

int TIndexTree::LowerIndex(const TPage& page, const std::string& packed) const {
    int lo = 0, hi = Count(page);
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (Compare(page, mid, packed) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TIndexTree::ChildIndex(const TPage& page, const std::string& packed) const {
    // The last entry whose key is <= key; entry 0 stands for minus infinity.
    int lo = 1, hi = Count(page);
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (Compare(page, mid, packed) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo - 1;
}

TPageRef TIndexTree::Descend(const std::string& packed, TPath* path) {
    int level = Desc().height - 1;
    TPageRef node = ReadNode(Desc().root, level);
    while (level > 0) {
        const int child = ChildIndex(*node, packed);
        if (path) path->emplace_back(node, child);
        node = ReadNode(Value(*node, child), --level);
    }
    return node;
}

TTreePos TIndexTree::LowerBound(const std::string& key) {
    const std::string packed = Pack(key);
    if (Desc().root == 0) return {};
    TPageRef leaf = Descend(packed, nullptr);
    TTreePos pos{leaf->no, LowerIndex(*leaf, packed)};
    if (pos.slot < Count(*leaf)) return pos;
    pos.slot = Count(*leaf) - 1;
    return Next(pos) ? pos : TTreePos{};
}

bool TIndexTree::Contains(const std::string& key) {
    uint32_t value = 0;
    return Find(key, value);
}

bool TIndexTree::Find(const std::string& key, uint32_t& value) {
    const std::string packed = Pack(key);
    if (Desc().root == 0) return false;
    TPageRef leaf = Descend(packed, nullptr);
    const int pos = LowerIndex(*leaf, packed);
    if (pos >= Count(*leaf) || Compare(*leaf, pos, packed) != 0) return false;
    value = Value(*leaf, pos);
    return true;
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
    TPageRef leaf = ReadNode(pos.page, 0, TPageUse::Passing);
    if (pos.slot + 1 < Count(*leaf)) {
        ++pos.slot;
        return true;
    }
    const uint32_t right = RightOf(*leaf);
    if (right == 0) return false;
    TPageRef next = ReadNode(right, 0, TPageUse::Passing);
    // Keys strictly ascend along the chain, so a damaged link cannot loop.
    if (LeftOf(*next) != leaf->no || !Ascending(*leaf, *next)) Fail(8965);
    pos = {right, 0};
    return true;
}

bool TIndexTree::Prev(TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0, TPageUse::Passing);
    if (pos.slot > 0) {
        pos.slot = std::min(pos.slot, Count(*leaf)) - 1;
        return true;
    }
    const uint32_t left = LeftOf(*leaf);
    if (left == 0) return false;
    TPageRef prev = ReadNode(left, 0, TPageUse::Passing);
    if (RightOf(*prev) != leaf->no || !Ascending(*prev, *leaf)) Fail(8965);
    pos = {left, Count(*prev) - 1};
    return true;
}

bool TIndexTree::Ascending(const TPage& left, const TPage& right) const {
    int lastLength = 0, firstLength = 0;
    const uint8_t* last = PackedKey(left, Count(left) - 1, lastLength);
    const uint8_t* first = PackedKey(right, 0, firstLength);
    return ComparePacked(last, lastLength, first, firstLength) < 0;
}

std::string TIndexTree::KeyAt(const TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot < 0 || pos.slot >= Count(*leaf)) Fail(8965);
    return Unpack(*leaf, pos.slot);
}

void TIndexTree::EntryAt(const TTreePos& pos, std::string& key, uint32_t& value) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot < 0 || pos.slot >= Count(*leaf)) Fail(8965);
    Unpack(*leaf, pos.slot, key);
    value = Value(*leaf, pos.slot);
}

uint32_t TIndexTree::ValueAt(const TTreePos& pos) {
    TPageRef leaf = ReadNode(pos.page, 0);
    if (pos.slot < 0 || pos.slot >= Count(*leaf)) Fail(8965);
    return Value(*leaf, pos.slot);
}

bool TIndexTree::Insert(const std::string& key, uint32_t value) {
    const std::string packed = Pack(key);
    if (Desc().root == 0) {
        TPageRef leaf = Allocate(0, kLeaf);
        Desc().root = leaf->no;
        Desc().height = 1;
        TPath none;
        InsertAt(none, leaf, 0, packed, value);
        return true;
    }
    TPath path;
    TPageRef leaf = Descend(packed, &path);
    const int pos = LowerIndex(*leaf, packed);
    if (pos < Count(*leaf) && Compare(*leaf, pos, packed) == 0) return false;
    InsertAt(path, leaf, pos, packed, value);
    return true;
}

TIndexTree::TEntries TIndexTree::EntriesOf(const TPage& page) const {
    TEntries entries;
    entries.reserve(static_cast<size_t>(Count(page)) + 1);
    for (int i = 0; i < Count(page); ++i) {
        int length = 0;
        const uint8_t* key = PackedKey(page, i, length);
        entries.emplace_back(
            std::string(reinterpret_cast<const char*>(key), static_cast<size_t>(length)),
            Get32(key + length));
    }
    return entries;
}

void TIndexTree::Fill(TPage& page, const TEntries& entries, size_t begin, size_t end) {
    // The header stays; offsets and entries are written anew.
    std::memset(page.data + kEntriesOffset, 0, kPageSize - kEntriesOffset);
    SetDataStart(page, kPageSize);
    for (size_t i = begin; i < end; ++i) {
        const int start = PutEntry(page, entries[i].first, entries[i].second);
        Put16(page.data + kEntriesOffset + 2 * (i - begin), static_cast<uint16_t>(start));
    }
    SetCount(page, static_cast<int>(end - begin));
    page.dirty = true;
}

// Puts an entry into `node` at `pos`; a full node splits in two by bytes and
// the new right half is entered in the parent (a new root when `node` was
// the root).
void TIndexTree::InsertAt(TPath& path, TPageRef node, int pos, const std::string& packed,
                          uint32_t value) {
    const int count = Count(*node);
    node->dirty = true;
    if (FreeSpace(*node) >= EntryBytes(packed)) {
        const int start = PutEntry(*node, packed, value);
        uint8_t* slot = node->data + kEntriesOffset + 2 * pos;
        std::memmove(slot + 2, slot, static_cast<size_t>(2 * (count - pos)));
        Put16(slot, static_cast<uint16_t>(start));
        SetCount(*node, count + 1);
        return;
    }
    // Split: the lower half of the bytes stays here, each side at least one entry.
    TEntries all = EntriesOf(*node);
    all.insert(all.begin() + pos, {packed, value});
    int total = 0;
    for (const auto& entry : all) total += EntryBytes(entry.first);
    size_t leftCount = 0;
    for (int bytes = 0; leftCount + 1 < all.size() && bytes < total / 2; ++leftCount)
        bytes += EntryBytes(all[leftCount].first);
    leftCount = std::max<size_t>(leftCount, 1);
    const int level = Get16(node->data + 12);
    TPageRef right = Allocate(level, node->data[0]);
    Fill(*node, all, 0, leftCount);
    Fill(*right, all, leftCount, all.size());
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
    const std::string& separator = all[leftCount].first;
    if (path.empty()) {
        TPageRef root = Allocate(level + 1, kInner);
        TPath none;
        InsertAt(none, root, 0, all[0].first, node->no);
        InsertAt(none, root, 1, separator, right->no);
        Desc().root = root->no;
        Desc().height = static_cast<uint16_t>(Desc().height + 1);
        return;
    }
    auto [parent, child] = path.back();
    path.pop_back();
    InsertAt(path, parent, child + 1, separator, right->no);
}

void TIndexTree::RemoveAt(TPage& page, int pos) {
    // The page is written anew without the entry, as Fill lays it out.
    const TPage before = page;
    const int count = Count(before);
    std::memset(page.data + kEntriesOffset, 0, kPageSize - kEntriesOffset);
    SetDataStart(page, kPageSize);
    int slot = 0;
    for (int i = 0; i < count; ++i) {
        if (i == pos) continue;
        int length = 0;
        const uint8_t* key = PackedKey(before, i, length);
        const int start = PutEntry(page, key, length, Get32(key + length));
        Put16(page.data + kEntriesOffset + 2 * slot++, static_cast<uint16_t>(start));
    }
    SetCount(page, count - 1);
    page.dirty = true;
}

bool TIndexTree::Erase(const std::string& key) {
    const std::string packed = Pack(key);
    if (Desc().root == 0) return false;
    TPath path;
    TPageRef leaf = Descend(packed, &path);
    const int pos = LowerIndex(*leaf, packed);
    const int count = Count(*leaf);
    if (pos >= count || Compare(*leaf, pos, packed) != 0) return false;
    RemoveAt(*leaf, pos);
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
        RemoveAt(*node, child);
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

void TIndexTree::BulkLoad(const std::function<bool(std::string&, uint32_t&)>& next) {
    // Pages filled to 90%, leaving room for later inserts.
    constexpr int kFill = (kPageSize - kEntriesOffset) * 9 / 10;
    struct TLevel {
        TEntries open;  // entries of the page being filled
        int bytes = 0;
        uint32_t pages = 0;  // pages written at this level
    };
    std::vector<TLevel> levels;
    TPageRef previousLeaf;
    // Writes level `height`'s open page and enters it one level up.
    std::function<void(size_t)> close;
    auto add = [&](size_t height, std::string packed, uint32_t value) {
        if (levels.size() <= height) levels.resize(height + 1);
        TLevel& level = levels[height];
        const int bytes = EntryBytes(packed);
        if (!level.open.empty() && level.bytes + bytes > kFill) close(height);
        levels[height].open.emplace_back(std::move(packed), value);
        levels[height].bytes += bytes;
    };
    close = [&](size_t height) {
        TLevel& level = levels[height];
        TPageRef node = Allocate(static_cast<int>(height), height == 0 ? kLeaf : kInner);
        Fill(*node, level.open, 0, level.open.size());
        if (height == 0) {
            if (previousLeaf) {
                Put32(previousLeaf->data + 4, node->no);
                Put32(node->data + 8, previousLeaf->no);
            }
            previousLeaf = node;
        }
        std::string first = std::move(level.open.front().first);
        level.open.clear();
        level.bytes = 0;
        ++level.pages;
        add(height + 1, std::move(first), node->no);
    };
    std::string key;
    uint32_t value = 0;
    while (next(key, value)) add(0, key, value);
    if (levels.empty()) return;
    // Close every level below the one whose single open page is the root.
    size_t height = 0;
    while (levels[height].pages > 0 || height + 1 < levels.size()) {
        if (!levels[height].open.empty()) close(height);
        ++height;
    }
    const TEntries& top = levels[height].open;
    if (height > 0 && top.size() == 1) {  // a lone entry: its child is the root
        Desc().root = top[0].second;
        Desc().height = static_cast<uint16_t>(height);
        return;
    }
    TPageRef root = Allocate(static_cast<int>(height), height == 0 ? kLeaf : kInner);
    Fill(*root, top, 0, top.size());
    Desc().root = root->no;
    Desc().height = static_cast<uint16_t>(height + 1);
}

}  // namespace corvane::store
