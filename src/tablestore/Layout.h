// Byte layout of the table files and the codecs over it. Private to the store.
//
// Data file (".DAT"), invariants kept by the store:
//   [0,127)            header (TDataHeader): version 4, record length and field
//                      count agree with the descriptions, next record number =
//                      physical records + 1 once the header is clean.
//   [127, 127+768*F)   one 768-byte description per field; field numbers are
//                      positions, null-flag offsets run from 9 adding width+1.
//   then records       record n (1-based) at DataStart + (n-1)*RecordLength;
//                      status 0 live (link = own number) or 1 free (link = next
//                      free record, 0 ends the chain); identity; fields.
//   A live record's fields are canonical: a null field has flag 0 and zero
//   data; a string is its text followed by zero bytes.
// Index file (".IDX"): page 0 is the header (TIndexHeader), pages of 4096
// bytes follow; their layout is in IndexTree.h. The header's SyncCounter equals
// the data header's change counter only when every index page and both headers
// were written after the last change of the data file ("clean"); any other
// value means the indexes may be stale and the open fails (8965).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tablestore/StoreTable.h"

namespace corvane::store {

// A failure below the table object; the table turns it into EStoreEngineError
// with its own names filled in. `args` fill the placeholders before the table.
struct TStoreFault {
    int code;
    std::vector<std::string> args;
    int osError = 0;  // errno of a failed write, for the user's message
};
[[noreturn]] void Fail(int code, std::vector<std::string> args = {});
// Error 9218 for a write that failed with `osError`.
[[noreturn]] void FailWrite(int osError);
// The result of a write, truncation or rename: FailWrite unless it is 0.
inline void CheckWrite(int osError) {
    if (osError != 0) FailWrite(osError);
}

// The message text of a store error code ("%s" placeholders).
const char* StoreErrorText(int code);

constexpr int kDataHeaderSize = 127;
constexpr int kFieldDescSize = 768;
constexpr int kPageSize = 4096;
constexpr int kIndexDescSize = 120;
constexpr int kMaxSecondary = 30;
constexpr int kMaxFields = 1024;
constexpr int kMaxIndexFields = 16;
constexpr int kMaxKeyLength = 524;
constexpr int kMaxNameLength = 30;
constexpr int kMaxStringSize = 250;
constexpr int kRecordPrefix = 9;  // status, link, identity
constexpr int32_t kMaxIdentity = 2147483647;
constexpr uint64_t kMaxPageOffset = 2000000000ull;
constexpr double kDateDelta = 693594.0;
constexpr double kMSecsPerDay = 86400000.0;

// ---- little-endian helpers
inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) {
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline double GetDouble(const uint8_t* p) {
    const uint64_t bits = Get64(p);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}
inline void PutDouble(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    Put64(p, bits);
}

// Whether the `size` bytes at `p` are all zero (text fields are mostly
// zero padding; libc's memcmp scans it far faster than a byte loop).
inline bool AllZero(const uint8_t* p, size_t size) {
    return size == 0 || (p[0] == 0 && std::memcmp(p, p + 1, size - 1) == 0);
}

// The number of zero bytes that `p` starts with, at most `size`.
inline size_t LeadingZeros(const uint8_t* p, size_t size) {
    size_t n = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; n + 8 <= size; n += 8) {
            uint64_t word;
            std::memcpy(&word, p + n, 8);
            if (word != 0) return n + static_cast<size_t>(std::countr_zero(word)) / 8;
        }
    }
    while (n < size && p[n] == 0) ++n;
    return n;
}

// A 64-bit checksum over a byte range (damage detection, not cryptography).
uint64_t Checksum(const uint8_t* data, size_t size);

// ASCII-only upper-casing of keys: a..z -> A..Z, every other byte kept.
inline uint8_t FoldByte(uint8_t c) {
    return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c;
}
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

// Date-times as stored: (days + 693594) * 86400000 + milliseconds of the day.
double EncodeStoredDateTime(TDateTime value);
TDateTime DecodeStoredDateTime(double stored);

// ---- data file
struct TDataHeader {
    uint32_t changeCounter = 0;
    uint32_t firstFree = 0;
    uint32_t nextRecNo = 1;
    int32_t lastIdentity = 0;
    uint16_t recordLength = 0;
    uint16_t fieldCount = 0;
    uint8_t version = 4;
};

struct TStoredField {
    std::string name;
    TFieldType type = ftUnknown;
    int size = 0;    // declared size (strings), else 0
    int width = 0;   // data width in the record
    int offset = 0;  // offset of the null flag byte in the record
};

int TypeCodeOf(TFieldType type);  // 1, 6, 11; 0 for others
TFieldType TypeOfCode(int code);  // ftUnknown for codes this store does not keep
int DataWidthOf(TFieldType type, int size);

void WriteDataHeader(uint8_t* out, const TDataHeader& header, double now);
// Reads the header; version mismatch: 12035; other damage: 8961.
TDataHeader ReadDataHeader(const uint8_t* in, size_t size);
void WriteFieldDesc(uint8_t* out, int number, const TStoredField& field);
// Checks one description (number, name, type, size, running offset): 8961.
TStoredField ReadFieldDesc(const uint8_t* in, int number, int expectedOffset);
// Lays out fields: widths and offsets from 9; returns the record length.
int LayOutFields(std::vector<TStoredField>& fields);

// ---- index file
struct TIndexDesc {
    std::string name;   // empty for the primary
    int keyLength = 0;  // bytes, including the identity when not unique
    bool caseInsensitive = false;
    bool unique = false;
    std::vector<int> fields;  // 0-based stored field numbers, key order
    uint32_t root = 0;        // root page number, 0 for an empty tree
    uint16_t height = 0;      // levels, 0 for an empty tree
};

struct TIndexHeader {
    uint32_t changeCounter = 0;
    uint32_t nextPageOffset = kPageSize;
    uint32_t liveRecords = 0;
    bool noPrimary = false;
    uint32_t syncCounter = 0;  // data header change counter when last clean
    uint32_t freePage = 0;     // head of the chain of free pages
    // indexes[0] is the primary (or, with noPrimary, an internal order by
    // identity with no fields); secondaries follow in definition order.
    std::vector<TIndexDesc> indexes;
};

// Whether the index's keys end in the record identity: non-unique indexes,
// and the internal order of a table without a primary index (no fields).
inline bool HasIdentitySuffix(const TIndexDesc& index) {
    return !index.unique || index.fields.empty();
}
// Key length of an index over `fields` (each width + 1, plus 4 for the identity).
int KeyLengthOf(const std::vector<TStoredField>& fields, const TIndexDesc& index);
void WriteIndexHeader(uint8_t* page, const TIndexHeader& header);
// Checks the page checksum, version, counts and each description against the
// stored fields: 8961 on any failure.
TIndexHeader ReadIndexHeader(const uint8_t* page, const std::vector<TStoredField>& fields);

// ---- records and keys
// The key of `record` in `index`: per field its flag byte and encoded value
// (strings folded when case-insensitive), then the identity when not unique.
std::string MakeKey(const std::vector<TStoredField>& fields, const TIndexDesc& index,
                    const uint8_t* record);
// The search-key prefix (no identity) of `record` in `index`.
std::string MakeKeyPrefix(const std::vector<TStoredField>& fields, const TIndexDesc& index,
                          const uint8_t* record);
void EncodeIdentity(std::string& key, int32_t identity);

inline int32_t RecordIdentity(const uint8_t* record) {
    return static_cast<int32_t>(Get32(record + 5));
}
// Brings a record's fields to canonical form (see the invariants above);
// returns true when something changed.
bool CanonicalizeRecord(const std::vector<TStoredField>& fields, uint8_t* record);
bool IsCanonicalRecord(const std::vector<TStoredField>& fields, const uint8_t* record);

}  // namespace corvane::store
