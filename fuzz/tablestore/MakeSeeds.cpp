// Writes the seed corpus of the table-files fuzzer: small signature tables
// (empty; a few records; records with deletions) in the fuzzer's input form.
// Usage: tablestore_make_seeds OUTPUT_FOLDER
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tablestore/SignatureTables.h"

using namespace corvane;

namespace {

std::vector<char> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void MakeSeed(const std::string& out, int records, int deleteEvery) {
    const std::string folder = "/tmp/corvane-seeds-" + std::to_string(getpid()) + "/";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        TSignaturesTableObjects sigs;
        TMatchTableObjects matches;
        OpenProgramTables(sigs.SignaturesTable, matches.MatchTable, folder);
        for (int i = 0; i < records; ++i) {
            sigs.SignaturesTable.Append();
            sigs.SignaturesTableFileName.SetAsString("p" + std::to_string(i) + ".jpg");
            sigs.SignaturesTableFilePath.SetAsString(i % 2 ? "/a/" : "/B/");
            sigs.SignaturesTableFileDate.SetAsDateTime(40000 + i);
            sigs.SignaturesTableSignature.SetAsString(std::string(40, ' ') + std::to_string(i % 5));
            sigs.SignaturesTable.Post();
        }
        if (deleteEvery > 0) {
            int n = 0;
            for (sigs.SignaturesTable.First(); !sigs.SignaturesTable.AtEnd();)
                if (++n % deleteEvery == 0)
                    sigs.SignaturesTable.Delete();
                else
                    sigs.SignaturesTable.Next();
        }
    }
    const auto dat = Read(folder + "Signatures.DAT");
    const auto idx = Read(folder + "Signatures.IDX");
    std::ofstream seed(out, std::ios::binary);
    const uint32_t length = static_cast<uint32_t>(dat.size());
    seed.write(reinterpret_cast<const char*>(&length), 4);
    seed.write(dat.data(), static_cast<std::streamsize>(dat.size()));
    seed.write(idx.data(), static_cast<std::streamsize>(idx.size()));
    std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string out = std::string(argv[1]) + "/";
    std::filesystem::create_directories(out);
    MakeSeed(out + "empty", 0, 0);
    MakeSeed(out + "three", 3, 0);
    MakeSeed(out + "deleted", 12, 3);
    MakeSeed(out + "two-levels", 60, 7);
    return 0;
}
