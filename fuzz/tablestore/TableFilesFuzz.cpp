// Damaged table files: the input is [u32 length of the data file][data file]
// [index file]. The files are opened as the start-up does (open, on failure
// repair and open again) and, when open, walked in both orders, searched,
// changed and closed. Every failure must be a store error; nothing may crash,
// hang or leak.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "tablestore/SignatureTables.h"

using namespace corvane;

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/corvane-ts-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern)) + "/";
    }();
    return folder;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Exercise(TSignaturesTableObjects& sigs) {
    TStoreTable& t = sigs.SignaturesTable;
    int walked = 0;
    for (t.First(); !t.AtEnd() && walked < 100000; t.Next()) {
        ++walked;
        (void)sigs.SignaturesTableFileName.AsString();
        (void)sigs.SignaturesTableFileDate.AsDateTime();
    }
    for (t.Prior(); !t.AtStart() && walked > 0; t.Prior()) --walked;
    t.BeginKey();
    sigs.SignaturesTableFileName.SetAsString("a.jpg");
    sigs.SignaturesTableFilePath.SetAsString("/p/");
    t.SeekKey();
    t.Append();
    sigs.SignaturesTableFileName.SetAsString("fuzz.jpg");
    sigs.SignaturesTableSignature.SetAsString("   1   2");
    t.Post();
    t.SetIndexName("BySignature");
    t.First();
    if (!t.AtEnd()) t.Delete();
    for (t.First(); !t.AtEnd() && walked < 200000; t.Next()) ++walked;
    t.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t dataLength;
    std::memcpy(&dataLength, data, 4);
    data += 4;
    size -= 4;
    dataLength = static_cast<uint32_t>(std::min<size_t>(dataLength, size));
    WriteFile(Folder() + "Signatures.DAT", data, dataLength);
    WriteFile(Folder() + "Signatures.IDX", data + dataLength, size - dataLength);
    TSignaturesTableObjects sigs;
    sigs.SignaturesTable.SetDatabaseName(Folder());
    try {
        try {
            sigs.SignaturesTable.Open();
        } catch (const EDatabaseError&) {
            sigs.SignaturesTable.RepairTable();
            sigs.SignaturesTable.Open();
        }
        Exercise(sigs);
    } catch (const EDatabaseError&) {
        // A store error is the expected end for damaged files.
    }
    return 0;
}
