#include "tablestore/Layout.h"

#include <cmath>
#include <ctime>

namespace corvane::store {

void Fail(int code, std::vector<std::string> args) {
    throw TStoreFault{code, std::move(args)};
}

void FailWrite(int osError) {
    throw TStoreFault{9218, {}, osError};
}

const char* StoreErrorText(int code) {
    switch (code) {
        case 8961:
            return "Header information corrupt in table '%s'";
        case 8962:
            return "Data record buffers corrupt in table '%s'";
        case 8965:
            return "Index page buffers corrupt in table '%s'";
        case 9217:
            return "Error reading from table '%s'";
        case 9218:
            return "Error writing to table '%s'";
        case 9477:
            return "Record size too big for table '%s'";
        case 9479:
            return "The table '%s' is full and cannot contain any more data";
        case 9487:
            return "Maximum or minimum limits on number of indexes or fields in an index exceeded "
                   "in table '%s'";
        case 9492:
            return "Maximum or minimum limits on number of fields, auto-increment field value, or "
                   "field size exceeded in table '%s'";
        case 9729:
            return "Duplicate key found in index '%s' of table '%s'";
        case 10000:
            return "Invalid field definition specified for the field '%s' in table '%s'";
        case 10022:
            return "Invalid secondary index name '%s' specified for table '%s'";
        case 10023:
            return "Invalid field number '%s' specified in index '%s' for table '%s'";
        case 10026:
            return "Invalid key size specified in index '%s' for table '%s'";
        case 10027:
            return "The secondary index '%s' already exists for table '%s'";
        case 10038:
            return "Invalid or duplicate field name '%s' specified for table '%s'";
        case 10253:
            return "table '%s' must be opened exclusively";
        case 11010:
            return "Invalid path or file name for table '%s'";
        case 11012:
            return "Too many files open while attempting to open table '%s'";
        case 11013:
            return "Access denied to table '%s'";
        case 11047:
            return "An unknown operating system error occurred with table '%s'";
        case 12035:
            return "table '%s' is not the correct version";
        case 13060:
            return "The table '%s' already exists";
        default:
            return "An unknown operating system error occurred with table '%s'";
    }
}

uint64_t Checksum(const uint8_t* data, size_t size) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        h = (h ^ Get64(data + i)) * 0xff51afd7ed558ccdull;
        h ^= h >> 31;
    }
    for (; i < size; ++i) {
        h = (h ^ data[i]) * 0xc4ceb9fe1a85ec53ull;
        h ^= h >> 29;
    }
    return h;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldByte(static_cast<uint8_t>(a[i])) != FoldByte(static_cast<uint8_t>(b[i])))
            return false;
    }
    return true;
}

// The day and the millisecond of the day are kept apart, as the format does;
// the time of day of a negative value counts forward from its whole day.
double EncodeStoredDateTime(TDateTime value) {
    double day = std::trunc(value);
    double ms = std::round(std::fabs(value - day) * kMSecsPerDay);
    if (ms >= kMSecsPerDay) {
        ms -= kMSecsPerDay;
        day += value < 0 ? -1 : 1;
    }
    return (day + kDateDelta) * kMSecsPerDay + ms;
}

TDateTime DecodeStoredDateTime(double stored) {
    if (!std::isfinite(stored) || std::fabs(stored) > 9.0e18) return 0;
    const auto total = static_cast<int64_t>(stored);
    const auto msPerDay = static_cast<int64_t>(kMSecsPerDay);
    const double date = static_cast<double>(total / msPerDay) - kDateDelta;
    const double time = static_cast<double>(total % msPerDay) / kMSecsPerDay;
    return date < 0 ? date - time : date + time;
}

int TypeCodeOf(TFieldType type) {
    switch (type) {
        case ftString:
            return 1;
        case ftInteger:
            return 6;
        case ftDateTime:
            return 11;
        default:
            return 0;
    }
}

TFieldType TypeOfCode(int code) {
    switch (code) {
        case 1:
            return ftString;
        case 6:
            return ftInteger;
        case 11:
            return ftDateTime;
        default:
            return ftUnknown;
    }
}

int DataWidthOf(TFieldType type, int size) {
    switch (type) {
        case ftString:
            return size + 1;
        case ftInteger:
            return 4;
        case ftDateTime:
            return 8;
        default:
            return 0;
    }
}

void WriteDataHeader(uint8_t* out, const TDataHeader& header, double now) {
    std::memset(out, 0, kDataHeaderSize);
    Put32(out + 0, header.changeCounter);
    Put32(out + 4, 512);
    out[8] = 4;
    Put32(out + 9, header.firstFree);
    Put32(out + 13, header.nextRecNo);
    Put32(out + 17, static_cast<uint32_t>(header.lastIdentity));
    Put16(out + 21, header.recordLength);
    Put16(out + 23, header.fieldCount);
    Put16(out + 25, 0);
    PutDouble(out + 27, now - kDateDelta);
    Put16(out + 107, 1);
    Put64(out + 116, 20800);
}

TDataHeader ReadDataHeader(const uint8_t* in, size_t size) {
    if (size < static_cast<size_t>(kDataHeaderSize)) Fail(8961);
    TDataHeader header;
    header.version = in[8];
    if (header.version != 4) Fail(12035);
    header.changeCounter = Get32(in + 0);
    header.firstFree = Get32(in + 9);
    header.nextRecNo = Get32(in + 13);
    header.lastIdentity = static_cast<int32_t>(Get32(in + 17));
    header.recordLength = Get16(in + 21);
    header.fieldCount = Get16(in + 23);
    const bool blobsOrLanguage = Get16(in + 25) != 0 || Get16(in + 103) != 0;
    if (blobsOrLanguage || header.fieldCount == 0 || header.fieldCount > kMaxFields ||
        header.nextRecNo == 0 || header.lastIdentity < 0)
        Fail(8961);
    return header;
}

void WriteFieldDesc(uint8_t* out, int number, const TStoredField& field) {
    std::memset(out, 0, kFieldDescSize);
    Put16(out + 0, static_cast<uint16_t>(number));
    out[2] = static_cast<uint8_t>(field.name.size());
    std::memcpy(out + 3, field.name.data(), field.name.size());
    out[84] = static_cast<uint8_t>(TypeCodeOf(field.type));
    out[86] = static_cast<uint8_t>(field.type == ftString ? field.size : 0);
    out[88] = static_cast<uint8_t>(field.width);
    Put16(out + 90, static_cast<uint16_t>(field.offset));
}

TStoredField ReadFieldDesc(const uint8_t* in, int number, int expectedOffset) {
    TStoredField field;
    const int nameLength = in[2];
    if (Get16(in) != number || nameLength == 0 || nameLength > kMaxNameLength) Fail(8961);
    field.name.assign(reinterpret_cast<const char*>(in + 3), static_cast<size_t>(nameLength));
    if (field.name.find('\0') != std::string::npos) Fail(8961);
    field.type = TypeOfCode(in[84]);
    field.size = in[86];
    if (field.type == ftUnknown || in[85] != 0) Fail(8961);
    const bool sizeOk =
        field.type == ftString ? field.size >= 1 && field.size <= kMaxStringSize : field.size == 0;
    field.width = DataWidthOf(field.type, field.size);
    field.offset = Get16(in + 90);
    if (!sizeOk || in[88] != field.width || field.offset != expectedOffset) Fail(8961);
    return field;
}

int LayOutFields(std::vector<TStoredField>& fields) {
    int offset = kRecordPrefix;
    for (auto& field : fields) {
        field.width = DataWidthOf(field.type, field.size);
        field.offset = offset;
        offset += field.width + 1;
    }
    return offset;
}

int KeyLengthOf(const std::vector<TStoredField>& fields, const TIndexDesc& index) {
    int length = 0;
    for (int f : index.fields) length += fields[static_cast<size_t>(f)].width + 1;
    return length + (HasIdentitySuffix(index) ? 4 : 0);
}

namespace {

constexpr int kDescOffset = 10;
constexpr int kSysDeletedSlot = 31;
constexpr int kLiveOffset = 3970;
constexpr int kNoPrimaryOffset = 3974;
constexpr int kSyncOffset = 3975;
constexpr int kFreePageOffset = 3979;
constexpr int kHeaderChecksumOffset = kPageSize - 8;

void WriteIndexDesc(uint8_t* out, const TIndexDesc& index) {
    out[0] = static_cast<uint8_t>(index.name.size());
    std::memcpy(out + 1, index.name.data(), index.name.size());
    Put16(out + 31, static_cast<uint16_t>(index.keyLength));
    out[34] = index.caseInsensitive ? 1 : 0;
    out[35] = index.unique ? 1 : 0;
    out[37] = static_cast<uint8_t>(index.fields.size());
    for (size_t i = 0; i < index.fields.size(); ++i)
        Put16(out + 54 + 2 * i, static_cast<uint16_t>(index.fields[i] + 1));
    Put32(out + 86, index.root);
    Put16(out + 90, index.height);
}

TIndexDesc ReadIndexDesc(const uint8_t* in, const std::vector<TStoredField>& fields,
                         uint32_t pageCount, bool allowNoFields) {
    TIndexDesc index;
    const int nameLength = in[0];
    if (nameLength > kMaxNameLength) Fail(8961);
    index.name.assign(reinterpret_cast<const char*>(in + 1), static_cast<size_t>(nameLength));
    index.keyLength = Get16(in + 31);
    if (in[33] > 1 || in[34] > 1 || in[35] > 1) Fail(8961);
    index.caseInsensitive = in[34] == 1;
    index.unique = in[35] == 1;
    const int count = in[37];
    if (count > kMaxIndexFields || (count == 0 && !allowNoFields)) Fail(8961);
    for (int i = 0; i < count; ++i) {
        const int number = Get16(in + 54 + 2 * i);
        if (number < 1 || static_cast<size_t>(number) > fields.size()) Fail(8961);
        index.fields.push_back(number - 1);
    }
    index.root = Get32(in + 86);
    index.height = Get16(in + 90);
    const int prefix = KeyLengthOf(fields, index) - (HasIdentitySuffix(index) ? 4 : 0);
    const bool rootOk =
        (index.root == 0) == (index.height == 0) && index.root < pageCount && index.height <= 32;
    if (index.keyLength != KeyLengthOf(fields, index) || prefix > kMaxKeyLength || !rootOk)
        Fail(8961);
    return index;
}

}  // namespace

void WriteIndexHeader(uint8_t* page, const TIndexHeader& header) {
    std::memset(page, 0, kPageSize);
    Put32(page + 0, header.changeCounter);
    page[4] = 4;
    Put32(page + 5, header.nextPageOffset);
    page[9] = static_cast<uint8_t>(header.indexes.size() - 1);
    for (size_t i = 0; i < header.indexes.size(); ++i)
        WriteIndexDesc(page + kDescOffset + i * kIndexDescSize, header.indexes[i]);
    TIndexDesc sysDeleted;
    sysDeleted.name = "Sys Deleted";
    sysDeleted.keyLength = 5;
    sysDeleted.unique = true;
    WriteIndexDesc(page + kDescOffset + kSysDeletedSlot * kIndexDescSize, sysDeleted);
    Put32(page + kLiveOffset, header.liveRecords);
    page[kNoPrimaryOffset] = header.noPrimary ? 1 : 0;
    Put32(page + kSyncOffset, header.syncCounter);
    Put32(page + kFreePageOffset, header.freePage);
    Put64(page + kHeaderChecksumOffset, Checksum(page, kHeaderChecksumOffset));
}

TIndexHeader ReadIndexHeader(const uint8_t* page, const std::vector<TStoredField>& fields) {
    if (Get64(page + kHeaderChecksumOffset) != Checksum(page, kHeaderChecksumOffset)) Fail(8961);
    TIndexHeader header;
    header.changeCounter = Get32(page + 0);
    header.nextPageOffset = Get32(page + 5);
    const int secondaries = page[9];
    header.liveRecords = Get32(page + kLiveOffset);
    header.syncCounter = Get32(page + kSyncOffset);
    header.freePage = Get32(page + kFreePageOffset);
    if (page[4] != 4 || header.nextPageOffset % kPageSize != 0 ||
        header.nextPageOffset < static_cast<uint32_t>(kPageSize) || secondaries > kMaxSecondary ||
        page[kNoPrimaryOffset] > 1 || header.liveRecords > static_cast<uint32_t>(kMaxIdentity))
        Fail(8961);
    header.noPrimary = page[kNoPrimaryOffset] == 1;
    const uint32_t pageCount = header.nextPageOffset / kPageSize;
    if (header.freePage >= pageCount) Fail(8961);
    for (int i = 0; i <= secondaries; ++i) {
        const bool internalOrder = i == 0 && header.noPrimary;
        auto index = ReadIndexDesc(page + kDescOffset + i * kIndexDescSize, fields, pageCount,
                                   internalOrder);
        const bool nameOk = i == 0 ? index.name.empty() && index.unique : !index.name.empty();
        if (!nameOk || internalOrder != index.fields.empty()) Fail(8961);
        for (const auto& other : header.indexes)
            if (i > 0 && SameTextIgnoringCase(other.name, index.name)) Fail(8961);
        header.indexes.push_back(std::move(index));
    }
    return header;
}

void EncodeIdentity(std::string& key, int32_t identity) {
    const uint32_t v = static_cast<uint32_t>(identity) ^ 0x80000000u;
    for (int shift = 24; shift >= 0; shift -= 8) key.push_back(static_cast<char>(v >> shift));
}

namespace {

// Writes one field's key part (flag byte + width bytes) at `out`.
void WriteFieldKey(uint8_t* out, const TStoredField& field, bool fold, const uint8_t* record) {
    const uint8_t* p = record + field.offset;
    const size_t width = static_cast<size_t>(field.width);
    if (p[0] != 1) {
        std::memset(out, 0, width + 1);
        return;
    }
    out[0] = 1;
    if (field.type == ftString) {
        std::memcpy(out + 1, p + 1, width);
        if (fold) {
            // Only the text needs folding when the padding is zero, as it is
            // in a canonical record.
            const size_t text = strnlen(reinterpret_cast<const char*>(p + 1), width);
            const size_t end = AllZero(p + 1 + text, width - text) ? text : width;
            for (size_t i = 1; i <= end; ++i) out[i] = FoldByte(p[i]);
        }
    } else if (field.type == ftInteger) {
        const uint32_t v = Get32(p + 1) ^ 0x80000000u;
        for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    } else {
        uint64_t bits = Get64(p + 1);
        bits = (bits >> 63) ? ~bits : bits | (1ull << 63);
        for (int i = 0; i < 8; ++i) out[1 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    }
}

}  // namespace

std::string MakeKeyPrefix(const std::vector<TStoredField>& fields, const TIndexDesc& index,
                          const uint8_t* record) {
    size_t length = 0;
    for (int f : index.fields)
        length += static_cast<size_t>(fields[static_cast<size_t>(f)].width) + 1;
    std::string key(length, '\0');
    auto* out = reinterpret_cast<uint8_t*>(key.data());
    for (int f : index.fields) {
        const TStoredField& field = fields[static_cast<size_t>(f)];
        WriteFieldKey(out, field, index.caseInsensitive, record);
        out += field.width + 1;
    }
    return key;
}

std::string MakeKey(const std::vector<TStoredField>& fields, const TIndexDesc& index,
                    const uint8_t* record) {
    std::string key = MakeKeyPrefix(fields, index, record);
    if (HasIdentitySuffix(index)) EncodeIdentity(key, RecordIdentity(record));
    return key;
}

namespace {

// Characters of a string field's text: up to its first zero byte, at most
// the declared size.
size_t TextLength(const TStoredField& field, const uint8_t* p) {
    return strnlen(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(field.size));
}

bool CanonicalizeField(const TStoredField& field, uint8_t* p) {
    uint8_t old[kMaxStringSize + 2];
    std::memcpy(old, p, static_cast<size_t>(field.width) + 1);
    if (p[0] > 1) p[0] = 1;
    if (p[0] == 1 && field.type == ftString) {
        size_t length = TextLength(field, p);
        while (length > 0 && p[length] == ' ') --length;
        std::memset(p + 1 + length, 0, static_cast<size_t>(field.width) - length);
        if (length == 0) p[0] = 0;
    } else if (p[0] == 1 && field.type == ftDateTime) {
        const double value = GetDouble(p + 1);
        if (!std::isfinite(value))
            p[0] = 0;
        else if (value == 0)
            PutDouble(p + 1, 0.0);
    }
    if (p[0] == 0) std::memset(p + 1, 0, static_cast<size_t>(field.width));
    return std::memcmp(old, p, static_cast<size_t>(field.width) + 1) != 0;
}

// The test of CanonicalizeField without a copy: every record read passes it.
bool IsCanonicalField(const TStoredField& field, const uint8_t* p) {
    const auto width = static_cast<size_t>(field.width);
    if (p[0] == 0) return AllZero(p + 1, width);
    if (p[0] != 1) return false;
    if (field.type == ftString) {
        const size_t length = TextLength(field, p);
        return length > 0 && p[length] != ' ' && AllZero(p + 1 + length, width - length);
    }
    if (field.type == ftDateTime) {
        const double value = GetDouble(p + 1);
        return std::isfinite(value) && !(value == 0 && std::signbit(value));
    }
    return true;
}

}  // namespace

bool CanonicalizeRecord(const std::vector<TStoredField>& fields, uint8_t* record) {
    bool changed = false;
    for (const auto& field : fields) changed |= CanonicalizeField(field, record + field.offset);
    return changed;
}

bool IsCanonicalRecord(const std::vector<TStoredField>& fields, const uint8_t* record) {
    for (const auto& field : fields)
        if (!IsCanonicalField(field, record + field.offset)) return false;
    return true;
}

}  // namespace corvane::store
